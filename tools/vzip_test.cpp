// "vzip t ARCHIVE [-P PASSWORD]": decodes every entry and checks its CRC-32 and size, like
// unzip -t, without writing anything. One line per entry, then a summary; the exit status is
// 0 when every file entry passed, 1 otherwise.
#include <ostream>

#include "archive/zip_errors.h"
#include "archive/zip_reader.h"
#include "tools/vzip.h"
#include "tools/vzip_extract_common.h"

namespace vzip {

int Test(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  TExtractOptions options;
  if (!ParseExtractArguments(args, 1, options)) {
    err << "usage: vzip t ARCHIVE [-P PASSWORD]\n";
    return 2;
  }
  archive::TZipReader reader;
  TConsoleInteraction interaction(err);
  reader.Interaction = &interaction;
  reader.DoAll = true;
  reader.RecreateDirs = true;
  reader.Password = options.password;
  int failed = 0;
  int files = 0;
  reader.OnEndUnZip = [&](archive::TZipReader& sender, int index, const std::string&) {
    out << "    testing: " << sender.Entry(index).StoredName() << "   OK\n";
  };
  reader.OnBadCRC = [&](archive::TZipReader& sender, std::uint32_t calc, std::uint32_t stored,
                        int index) {
    char text[64];
    std::snprintf(text, sizeof text, "   bad CRC %08x  (should be %08x)", calc, stored);
    out << "    testing: " << sender.Entry(index).StoredName() << text << "\n";
    ++failed;
  };
  reader.OnSkippingFile = [&](archive::TZipReader& sender, int, const std::string& name, int) {
    out << "    testing: " << name << "   " << sender.LastProblem() << "\n";
    ++failed;
  };
  int passed = 0;
  try {
    reader.SetZipName(options.archive);
    reader.ReadZip();
    for (int i = 0; i < reader.Count(); ++i) {
      if (!reader.Entry(i).FileName.empty()) ++files;
    }
    passed = reader.TestZip();
  } catch (const std::exception& e) {
    err << "vzip: " << options.archive << ": " << e.what() << "\n";
    return 1;
  }
  (void)passed;
  if (failed == 0) {
    out << "No errors detected in compressed data of " << options.archive << ".\n";
    return 0;
  }
  out << failed << " of " << files << " files failed in " << options.archive << ".\n";
  return 1;
}

}  // namespace vzip
