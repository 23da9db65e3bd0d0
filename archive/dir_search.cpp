#include "archive/dir_search.h"

#include "archive/zip_pattern.h"

namespace archive {

TDirSearch::TDirSearch(const std::string& startDirectory, bool recurse, const std::string& mask)
    : recurse_(recurse), mask_(mask) {
  std::string start = startDirectory;
  if (start.empty() || start.back() != '/') start += '/';
  Push(start);
}

void TDirSearch::Push(const std::string& directory) {
  TSearchData data;
  data.directory = directory;
  // A directory that cannot be listed contributes nothing.
  if (platform::ListDirectory(directory, data.entries)) data.entries.clear();
  stack_.push_back(std::move(data));
}

std::string TDirSearch::NextFile(platform::FileInfo& info) {
  while (!stack_.empty()) {
    TSearchData& level = stack_.back();
    if (level.next >= level.entries.size()) {
      stack_.pop_back();
      continue;
    }
    const platform::DirEntry& entry = level.entries[level.next++];
    if (entry.info.isDirectory) {
      if (recurse_ && entry.name[0] != '.' && !entry.info.isSymlink &&
          static_cast<int>(stack_.size()) < kMaxLevels) {
        Push(level.directory + entry.name + "/");  // invalidates level
      }
      continue;
    }
    const bool hasDot = entry.name.find('.') != std::string::npos;
    // Only regular files: a FIFO or device would block or never end.
    if (!entry.info.isRegular) continue;
    if (!MatchPattern(mask_, entry.name) && (hasDot || !MatchPattern(mask_, entry.name + ".")))
      continue;
    info = entry.info;
    return level.directory + entry.name;
  }
  return {};
}

}  // namespace archive
