// Program entry. Without a display (neither DISPLAY nor WAYLAND_DISPLAY set, and no Qt
// platform chosen) the switches run without any window and without loading the toolkit,
// as a scheduler needs (console/unattended.h). With one, the window module is loaded and
// runs the window (app/window_main.cpp).

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "console/command_line_help.h"
#include "console/settings.h"
#include "console/unattended.h"
#include "platform/file_system.h"
#include "platform/ini_file.h"
#include "platform/module.h"

namespace {

bool HasDisplay(int argc, char** argv) {
  if (std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY") || std::getenv("QT_QPA_PLATFORM")) {
    return true;
  }
  for (int i = 1; i < argc; ++i) {
    if (std::string_view(argv[i]) == "-platform") return true;
  }
  return false;
}

// The window module: beside the executable (a build tree, a portable copy), else where
// the package puts it.
int RunWindow(int argc, char** argv) {
  using Entry = int (*)(int, char**);
  const std::string dir = platform::ParentPath(platform::ExecutablePath());
  std::string error;
  void* entry = nullptr;
  for (const char* relative : {"", VARNHOLT_WINDOW_MODULE_DIR}) {
    std::string path = platform::JoinPath(dir, std::string(relative) + VARNHOLT_WINDOW_MODULE);
    entry = platform::ModuleSymbol(path, "VarnholtWindowMain", error);
    if (entry) break;
  }
  if (!entry) {
    std::fprintf(stderr, "varnholt: the window cannot be started: %s\n", error.c_str());
    return 2;
  }
  return reinterpret_cast<Entry>(entry)(argc, argv);
}

}  // namespace

int main(int argc, char** argv) {
  // Answered before anything is opened: no toolkit, no catalogue, no settings file.
  switch (console::InfoRequestOf(argc, argv)) {
    case console::InfoRequest::Help:
      std::fputs(console::HelpText().c_str(), stdout);
      return std::fflush(stdout) == 0 ? 0 : 1;
    case console::InfoRequest::Version:
      std::fputs(console::VersionLine().c_str(), stdout);
      return std::fflush(stdout) == 0 ? 0 : 1;
    case console::InfoRequest::None:
      break;
  }
  // Without TZ the C library looks at /etc/localtime again on every conversion of a local
  // time, once per file stored or restored; naming that same file keeps the zone it read.
  setenv("TZ", ":/etc/localtime", 0);
  if (HasDisplay(argc, argv)) return RunWindow(argc, argv);
  if (argc < 2) {
    std::fputs(console::kNeedsDisplayText, stderr);
    return 2;
  }
  return console::RunUnattended(std::vector<std::string>(argv + 1, argv + argc),
                                platform::SettingsFilePath(console::kSettingsFileName),
                                platform::CurrentDirectory());
}
