#include "backup/zip_archiver.h"

#include "archive/zip_writer.h"

namespace backup {

int ZipWriterArchiver::StoreOne(const std::string& zipName, const std::string& sourcePath,
                                int level) {
  // The file is named by its full path and no directory is stored, so the entry gets the
  // bare file name without the run changing the current directory.
  writer_.SetStorePaths(false);
  writer_.ZipAction = zaReplace;
  writer_.SetZipName(zipName);
  writer_.FilesList.clear();
  writer_.FilesList.push_back(sourcePath);
  writer_.PackLevel = level;
  return writer_.Zip();
}

}  // namespace backup
