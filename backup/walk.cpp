#include "backup/walk.h"

#include <algorithm>

#include "backup/temporary.h"
#include "platform/directory.h"
#include "platform/file_info.h"
#include "platform/file_system.h"
#include "platform/text.h"
#include "store/placement.h"

namespace backup {

namespace {
// Below this many entries a second thread costs more than the lookups it takes over.
constexpr std::size_t kSplitLookupsFrom = 64;
}  // namespace

bool ProcessDirectory(const std::string& sourceDir, const std::string& targetDir,
                      const FolderWalk& walk) {
  // Exists already on every later run. One just made holds no archive and no leftover, so
  // nothing in it is looked up: the masks alone select.
  const bool made = !platform::CreateDirectory(targetDir);
  if (made && walk.madeDirectory) walk.madeDirectory(targetDir);
  if (!made) RemoveStaleTemporaries(targetDir);
  std::vector<platform::DirEntry> entries;
  std::error_code statusError;
  if (std::error_code error = platform::ListDirectory(sourceDir, entries, &statusError)) {
    if (walk.unreadable) walk.unreadable(sourceDir, error);
    return false;
  }
  if (statusError && walk.unreadable) walk.unreadable(sourceDir, statusError);
  const auto level = std::make_shared<const WalkLevel>(sourceDir, targetDir);
  // The selection of every file is made before the first store, as one lookup of its
  // archive each: these are most of the work of a run in which little changed, and in a
  // large directory two threads share them. A store writes only its own file's archive, so
  // no decision depends on the stores before it.
  std::vector<char> selected(entries.size(), 0);
  const auto select = [&](std::size_t from, std::size_t to) {
    for (std::size_t k = from; k < to; ++k) {
      const platform::DirEntry& entry = entries[k];
      if (!entry.info.isRegular) continue;
      selected[k] = made ? walk.masks.AnyMatches(platform::UpperCase(entry.name)) == walk.include
                         : store::IsFileSelected(entry.info.times.lastWrite, level->target,
                                                 entry.name, walk.masks, walk.include);
    }
  };
  if (!made && walk.runBoth && entries.size() >= kSplitLookupsFrom) {
    const std::size_t half = entries.size() / 2;
    walk.runBoth([&] { select(0, half); }, [&] { select(half, entries.size()); });
  } else {
    select(0, entries.size());
  }
  for (std::size_t k = 0; k < entries.size(); ++k) {
    const platform::DirEntry& entry = entries[k];
    if (entry.info.isRegular) {
      if (selected[k]) walk.store(level, entry.name);
    } else if (entry.info.isDirectory && !entry.info.isSymlink && entry.name[0] != '.') {
      const store::DirectoryId id{entry.info.device, entry.info.inode};
      if (std::find(walk.leftOut.begin(), walk.leftOut.end(), id) == walk.leftOut.end()) {
        ProcessDirectory(platform::JoinPath(sourceDir, entry.name),
                         store::SubTargetDirectory(targetDir, entry.name), walk);
      }
    }
    if (walk.afterEntry) walk.afterEntry();
  }
  return true;
}

}  // namespace backup
