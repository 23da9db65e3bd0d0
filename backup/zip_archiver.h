// The backup run's archiver over the archive layer's writer: one new archive per file,
// holding the file under its bare name.
#pragma once

#include <memory>
#include <string>

#include "backup/archiver.h"

namespace archive {
class TZipWriter;
}  // namespace archive

namespace backup {

class ZipWriterArchiver : public Archiver {
 public:
  // writer is configured anew for every store; it must outlive this object.
  explicit ZipWriterArchiver(archive::TZipWriter& writer) : writer_(writer) {}
  int StoreOne(platform::File&& archive, platform::File&& source, int level) override;

 private:
  archive::TZipWriter& writer_;
};

// StoreOne for a caller that holds names: creates zipName, which must not exist (raises
// archive::EFOpenError when it cannot be created), and stores sourcePath into it; when that
// raises, zipName goes again. Returns 0 and creates nothing when sourcePath cannot be opened
// for reading, as the writer's Zip skips such a file.
int StoreNamed(Archiver& archiver, const std::string& zipName, const std::string& sourcePath,
               int level);

// An archiver with a writer of its own, for a worker of a run that stores several files at
// once: the writer has no interaction (the run thread serves the window while it waits).
std::unique_ptr<Archiver> MakeOwnWriterArchiver();

}  // namespace backup
