// "vzip x ARCHIVE [DIR] [-P PASSWORD]": extracts every entry into DIR (default: the current
// directory), recreating the stored directories and replacing existing files. One line per
// file; the exit status is 0 when every file entry was extracted, 1 otherwise.
#include <ostream>

#include "archive/zip_errors.h"
#include "archive/zip_reader.h"
#include "tools/vzip.h"
#include "tools/vzip_extract_common.h"

namespace vzip {

int Extract(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  TExtractOptions options;
  if (!ParseExtractArguments(args, 2, options)) {
    err << "usage: vzip x ARCHIVE [DIR] [-P PASSWORD]\n";
    return 2;
  }
  archive::TZipReader reader;
  TConsoleInteraction interaction(err);
  reader.Interaction = &interaction;
  reader.DoAll = true;
  reader.RecreateDirs = true;
  reader.OverwriteMode = archive::TUZOverwriteMode::Always;
  reader.Password = options.password;
  int failed = 0;
  reader.OnEndUnZip = [&](archive::TZipReader&, int, const std::string& path) {
    out << "  extracted: " << path << "\n";
  };
  reader.OnBadCRC = [&](archive::TZipReader& sender, std::uint32_t calc, std::uint32_t stored,
                        int index) {
    char text[64];
    std::snprintf(text, sizeof text, "   bad CRC %08x  (should be %08x)", calc, stored);
    err << "  failed: " << sender.Entry(index).StoredName() << text << "\n";
    ++failed;
  };
  reader.OnSkippingFile = [&](archive::TZipReader& sender, int, const std::string& name, int) {
    err << "  skipped: " << name << " (" << sender.LastProblem() << ")\n";
    ++failed;
  };
  int files = 0;
  int extracted = 0;
  try {
    reader.SetZipName(options.archive);
    reader.SetDestDir(options.directory.empty() ? std::string(".") : options.directory);
    reader.ReadZip();
    for (int i = 0; i < reader.Count(); ++i) {
      if (!reader.Entry(i).FileName.empty()) ++files;
    }
    extracted = reader.UnZip();
  } catch (const std::exception& e) {
    err << "vzip: " << options.archive << ": " << e.what() << "\n";
    return 1;
  }
  if (failed == 0 && extracted >= files) return 0;
  err << "vzip: " << (files - extracted) << " of " << files << " files not extracted\n";
  return 1;
}

}  // namespace vzip
