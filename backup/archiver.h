// The one thing a backup run needs from the archive layer: write a new archive that holds
// one file under its bare name. Behind an interface so that tests can make stores fail in
// every way the writer can fail.
#pragma once

#include <string>

namespace backup {

class Archiver {
 public:
  virtual ~Archiver() = default;
  // Writes the new archive zipName (which does not exist) holding the file sourcePath as
  // one entry named by the file's bare name, deflated at level 1..9. Returns the number of
  // files stored, as the writer's Zip does; may throw on failure.
  virtual int StoreOne(const std::string& zipName, const std::string& sourcePath, int level) = 0;
};

}  // namespace backup
