// Until the archive reader can extract, Info-ZIP's unzip stands in for it, keeping the
// reader's contract: extraction goes to a temporary directory and replaces the target only
// when the entry's CRC matched; an archive unzip does not recognise raises.
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "restore_fixture.h"

namespace fs = std::filesystem;

namespace restore_test {
namespace {

std::string Quoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

class InfoZipUnpacker : public restore::ArchiveUnpacker {
 public:
  int Unpack(const std::string& archivePath, const std::string& destDir) override {
    const std::string temp = destDir + "/.unzip-tmp";
    fs::remove_all(temp);
    fs::create_directories(temp);
    const std::string command =
        "unzip -o -j -qq " + Quoted(archivePath) + " -d " + Quoted(temp) + " >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    const int exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    int extracted = 0;
    if (exitCode == 0) {
      for (const auto& entry : fs::directory_iterator(temp)) {
        fs::rename(entry.path(), fs::path(destDir) / entry.path().filename());
        ++extracted;
      }
    }
    fs::remove_all(temp);
    if (exitCode == 9) throw std::runtime_error("Not a valid zip file!");
    return extracted;
  }
};

}  // namespace

std::unique_ptr<restore::ArchiveUnpacker> MakeUnpacker() {
  return std::make_unique<InfoZipUnpacker>();
}

}  // namespace restore_test
