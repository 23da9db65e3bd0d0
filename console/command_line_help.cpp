#include "console/command_line_help.h"

namespace console {

InfoRequest InfoRequestOf(int argc, const char* const* argv) {
  bool version = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "--help" || argument == "-h") return InfoRequest::Help;
    if (argument == "--version") version = true;
  }
  return version ? InfoRequest::Version : InfoRequest::None;
}

std::string VersionLine() { return "varnholt " + std::string(kVersionText) + "\n"; }

std::string HelpText() {
  return R"(Usage: varnholt [switch]...
       varnholt --help | -h | --version

Varnholt backs up folders, every selected file into a ZIP archive of its own in a mirror of
the folder's tree under the project's store folder, and restores and verifies them.
Without switches it opens its window. Switches act left to right, in any letter case;
write a name with blanks in double quotes ("/P:My Docs").

  /L:<project>    show the project
  /P:<project>    show the project and back it up
  /ALL            back up every project
  /R:<project>    restore every folder of the project into its own path
                  ("All folders"); files that exist are kept unless /O: says otherwise
  /F:<folder>     limit the next /R: to this folder of the project
  /T:<directory>  restore the folder of /F: into this directory instead of its own
                  path (needs /F:; used by the next /R: only)
  /O:MISSED       "Append missed": restore only files the destination lacks (default)
  /O:REFRESH      "Refresh": also replace files whose time differs by the minute
  /O:REWRITE      "Rewrite all files": replace every file
                  (/O: holds for every following /R:)
  /V:<project>    verify the project's backup: test every archive (one entry, name,
                  CRC-32, size) and count the files the next backup would store;
                  writes nothing to the source folders
  /W:<n>          handle n files at once in the following backups and restores
                  (1 to 32; default one per processor; /W:1 one at a time)
  /EXIT           end the program once the other switches have acted
  -h, --help      print this help and end
  --version       print the version and end

Restores from the command line never ask before replacing a file. Without a display
(neither DISPLAY nor WAYLAND_DISPLAY set) no window is shown: messages go to standard
error and take their default answer.

Exit status:
  0  everything was stored, restored or verified
  1  a file could not be stored, an archive could not be unpacked or is damaged,
     a folder or project could not be processed, or a switch was refused
  2  the catalogue could not be opened or is damaged

Files:
  Rpoject.vrn, Folder.vrn, Log.vrn
          the catalogue (projects, folders, event log), looked for in the working
          directory: start varnholt in the folder that holds them (the menu entry
          and scripts/start.sh use ~/.local/share/varnholt)
  Vrnh.ini
          window settings: beside the program when that folder is writable, else
          in $XDG_CONFIG_HOME/varnholt (~/.config/varnholt)

Example (cron, every night at 02:30):
  30 2 * * * cd ~/.local/share/varnholt && varnholt "/P:Docs" /EXIT

More in the manual page: man varnholt
)";
}

}  // namespace console
