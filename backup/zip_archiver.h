// The backup run's archiver over the archive layer's writer: one new archive per file,
// holding the file under its bare name.
#pragma once

#include <string>

#include "backup/archiver.h"

class TZipWriter;

namespace backup {

class ZipWriterArchiver : public Archiver {
 public:
  // writer is configured anew for every store; it must outlive this object.
  explicit ZipWriterArchiver(TZipWriter& writer) : writer_(writer) {}
  int StoreOne(const std::string& zipName, const std::string& sourcePath, int level) override;

 private:
  TZipWriter& writer_;
};

}  // namespace backup
