#include "backup/zip_archiver.h"

#include <string_view>

#include "archive/zip_writer.h"

namespace backup {
namespace {

// The writer reads "*", "?", "<", ">" and "|" in a name as wildcards, and a Linux file name
// may hold any of them. Such a name is given as a pattern in which each of them is "?", which
// finds the file itself (and perhaps neighbours: what?.txt also finds whatX.txt); the
// OnStartZip filter then lets only the file itself through.
constexpr char kWildcardCharacters[] = "*?<>|";

std::string WriterName(const std::string& sourcePath) {
  const std::size_t namePos = sourcePath.rfind('/') + 1;
  if (sourcePath.find_first_of(kWildcardCharacters, namePos) == std::string::npos) {
    return sourcePath;
  }
  std::string pattern = sourcePath;
  for (std::size_t k = namePos; k < pattern.size(); ++k) {
    if (std::string_view(kWildcardCharacters).find(pattern[k]) != std::string_view::npos) {
      pattern[k] = '?';
    }
  }
  return pattern;
}

class OwnWriterArchiver : public Archiver {
 public:
  int StoreOne(const std::string& zipName, const std::string& sourcePath, int level) override {
    return archiver_.StoreOne(zipName, sourcePath, level);
  }

 private:
  archive::TZipWriter writer_;
  ZipWriterArchiver archiver_{writer_};
};

}  // namespace

std::unique_ptr<Archiver> MakeOwnWriterArchiver() { return std::make_unique<OwnWriterArchiver>(); }

int ZipWriterArchiver::StoreOne(const std::string& zipName, const std::string& sourcePath,
                                int level) {
  // The file is named by its full path and no directory is stored, so the entry gets the
  // bare file name without the run changing the current directory.
  writer_.SetStorePaths(false);
  writer_.ZipAction = archive::TZipAction::zaReplace;
  writer_.SetZipName(zipName);
  writer_.FilesList.assign(1, WriterName(sourcePath));
  writer_.PackLevel = level;
  writer_.OnStartZip = [&sourcePath](archive::TZipWriter&, const std::string& fileName,
                                     archive::TZipHeaderInfo&,
                                     bool& skip) { skip = fileName != sourcePath; };
  const int count = writer_.Zip();
  writer_.OnStartZip = nullptr;
  return count;
}

}  // namespace backup
