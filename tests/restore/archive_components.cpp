// The restore tests use the program's own archive components: the backup run stores with
// the archive writer, and the restore run unpacks with the reader configured as the main
// window configures its ZipReader1.
#include "archive/zip_reader.h"
#include "archive/zip_writer.h"
#include "backup/zip_archiver.h"
#include "restore/zip_reader_unpacker.h"
#include "restore_fixture.h"

namespace restore_test {
namespace {

class OwningReaderUnpacker : public restore::ArchiveUnpacker {
 public:
  OwningReaderUnpacker() { restore::ConfigureReaderForRestore(reader_); }
  int Unpack(const std::string& archivePath, const std::string& destDir) override {
    return unpacker_.Unpack(archivePath, destDir);
  }
  restore::ArchiveResult Restore(const restore::ArchiveJob& job) override {
    return unpacker_.Restore(job);
  }

 private:
  archive::TZipReader reader_;
  restore::ZipReaderUnpacker unpacker_{reader_};
};

}  // namespace

std::unique_ptr<backup::Archiver> MakeArchiver() {
  return backup::MakeOwnWriterArchiver();
}

std::unique_ptr<restore::ArchiveUnpacker> MakeUnpacker() {
  return std::make_unique<OwningReaderUnpacker>();
}

}  // namespace restore_test
