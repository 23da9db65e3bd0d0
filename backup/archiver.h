// The one thing a backup run needs from the archive layer: write a new archive that holds
// one file under its bare name. Behind an interface so that tests can make stores fail in
// every way the writer can fail.
#pragma once

#include "platform/file.h"

namespace backup {

class Archiver {
 public:
  virtual ~Archiver() = default;
  // Writes into archive, a new file just created empty, an archive holding source, a file
  // open for reading, as one entry named by the source's bare name and dated by its status
  // when opened (File::OpenedInfo), deflated at level 1..9. Both are named by their Path()
  // in messages and events. Returns the number of files stored, as the writer's Zip does;
  // may throw on failure.
  virtual int StoreOne(platform::File&& archive, platform::File&& source, int level) = 0;
};

}  // namespace backup
