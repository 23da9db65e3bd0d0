// The backup run of the restore tests stores with the archive writer, as the program does.
#include "archive/zip_writer.h"
#include "backup/zip_archiver.h"
#include "restore_fixture.h"

namespace restore_test {
namespace {

class OwningWriterArchiver : public backup::Archiver {
 public:
  int StoreOne(const std::string& zipName, const std::string& sourcePath, int level) override {
    return archiver_.StoreOne(zipName, sourcePath, level);
  }

 private:
  TZipWriter writer_;
  backup::ZipWriterArchiver archiver_{writer_};
};

}  // namespace

std::unique_ptr<backup::Archiver> MakeArchiver() {
  return std::make_unique<OwningWriterArchiver>();
}

}  // namespace restore_test
