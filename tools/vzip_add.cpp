// "vzip a ARCHIVE [-0..-9] NAMES...": adds files to an archive with the archive writer,
// creating the archive when it does not exist. Entries of the same name are replaced, as
// Info-ZIP zip does; names keep their directory part (without a leading "/"). A name may be
// a wildcard entry of the writer ("dir/*.txt", ">dir/*" for subdirectories too).
#include <ostream>

#include "archive/zip_errors.h"
#include "archive/zip_writer.h"
#include "tools/vzip.h"

namespace vzip {

int Add(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  int level = 6;
  std::string archive;
  std::vector<std::string> names;
  for (const std::string& arg : args) {
    if (arg.size() == 2 && arg[0] == '-' && arg[1] >= '0' && arg[1] <= '9') {
      level = arg[1] - '0';
    } else if (archive.empty()) {
      archive = arg;
    } else {
      names.push_back(arg);
    }
  }
  if (archive.empty() || names.empty()) {
    err << "usage: vzip a ARCHIVE [-0..-9] NAMES...\n";
    return 2;
  }
  archive::TZipWriter writer;
  writer.DoProcessMessages = false;
  writer.SetStorePaths(true);
  writer.ZipAction = archive::TZipAction::zaReplace;
  writer.PackLevel = level;
  writer.OnNoSuchFile = [&err](archive::TZipWriter&, const std::string& name) {
    err << "vzip: " << name << ": no such file\n";
  };
  writer.OnSkippingFile = [&err](archive::TZipReader&, int reason, const std::string& name, int) {
    err << "vzip: " << name << ": skipped ("
        << (reason == archive::kSkipDuplicateName ? "an entry of that name was just added"
                                                  : "cannot be opened")
        << ")\n";
  };
  try {
    writer.SetZipName(archive);
    writer.FilesList = names;
    const int added = writer.Zip();
    out << "added " << added << " file" << (added == 1 ? "" : "s") << " to " << archive << "\n";
    return added == static_cast<int>(names.size()) ? 0 : 1;
  } catch (const archive::EZipError& e) {
    err << "vzip: " << archive << ": " << e.what() << "\n";
    return 1;
  }
}

}  // namespace vzip
