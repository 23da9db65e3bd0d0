#include "backup/zip_archiver.h"

#include <utility>

#include "archive/zip_errors.h"
#include "archive/zip_writer.h"
#include "platform/file_system.h"

namespace backup {
namespace {

class OwnWriterArchiver : public Archiver {
 public:
  int StoreOne(platform::File&& archive, platform::File&& source, int level) override {
    return archiver_.StoreOne(std::move(archive), std::move(source), level);
  }

 private:
  archive::TZipWriter writer_;
  ZipWriterArchiver archiver_{writer_};
};

}  // namespace

std::unique_ptr<Archiver> MakeOwnWriterArchiver() { return std::make_unique<OwnWriterArchiver>(); }

int ZipWriterArchiver::StoreOne(platform::File&& archive, platform::File&& source, int level) {
  // No directory is stored: the entry gets the bare file name.
  writer_.SetStorePaths(false);
  writer_.PackLevel = level;
  return writer_.ZipOpenedFile(std::move(archive), std::move(source));
}

int StoreNamed(Archiver& archiver, const std::string& zipName, const std::string& sourcePath,
               int level) {
  platform::File source;
  if (source.Open(sourcePath, platform::File::Mode::Read)) return 0;
  platform::File archive;
  if (std::error_code error = archive.Open(zipName, platform::File::Mode::CreateNew)) {
    throw archive::EFOpenError("Cannot create file \"" + zipName + "\". " + error.message(),
                               error);
  }
  try {
    return archiver.StoreOne(std::move(archive), std::move(source), level);
  } catch (...) {
    platform::DeleteFile(zipName);  // created above, so ours
    throw;
  }
}

}  // namespace backup
