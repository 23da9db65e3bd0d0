#include "backup/walk.h"

#include <algorithm>

#include "backup/temporary.h"
#include "platform/directory.h"
#include "platform/file_info.h"
#include "platform/file_system.h"
#include "store/placement.h"

namespace backup {

bool ProcessDirectory(const std::string& sourceDir, const std::string& targetDir,
                      const FolderWalk& walk) {
  platform::CreateDirectory(targetDir);  // exists already on every later run
  RemoveStaleTemporaries(targetDir);
  std::vector<platform::DirEntry> entries;
  std::error_code statusError;
  if (std::error_code error = platform::ListDirectory(sourceDir, entries, &statusError)) {
    if (walk.unreadable) walk.unreadable(sourceDir, error);
    return false;
  }
  if (statusError && walk.unreadable) walk.unreadable(sourceDir, statusError);
  const auto level = std::make_shared<const WalkLevel>(sourceDir, targetDir);
  for (const platform::DirEntry& entry : entries) {
    if (entry.info.isRegular) {
      if (store::IsFileSelected(entry.info.times.lastWrite, level->target, entry.name,
                                walk.masks, walk.include)) {
        walk.store(level, entry.name);
      }
    } else if (entry.info.isDirectory && !entry.info.isSymlink && entry.name[0] != '.') {
      const store::DirectoryId id{entry.info.device, entry.info.inode};
      if (std::find(walk.leftOut.begin(), walk.leftOut.end(), id) == walk.leftOut.end()) {
        if (walk.beforeSubdirectory) walk.beforeSubdirectory();
        ProcessDirectory(platform::JoinPath(sourceDir, entry.name),
                         store::SubTargetDirectory(targetDir, entry.name), walk);
      }
    }
    if (walk.afterEntry) walk.afterEntry();
  }
  return true;
}

}  // namespace backup
