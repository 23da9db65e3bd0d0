// TDirSearch: the files below a start directory that match a name pattern, one at a time.
//
// The walk is depth first in name order (the listing order of the platform layer): each
// subdirectory's files come as soon as the subdirectory is met in its parent. It keeps one
// listing per level in 21 slots, the start directory and 20 levels below it; deeper levels
// are skipped. Directories whose names begin with "." are neither returned nor entered, and
// directories reached through a symbolic link are not entered (a link to a parent would
// otherwise repeat the tree down to the depth limit). Only regular files are returned. Files
// are matched with MatchPattern; a name without a dot also matches when it matches with a "."
// appended, so "*.*" matches it too.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/file_info.h"

namespace archive {

class TDirSearch {
 public:
  static constexpr int kMaxLevels = 21;

  TDirSearch(const std::string& startDirectory, bool recurse, const std::string& mask);

  // The next matching file as a full path (start directory + relative path), with its
  // status in info; an empty path when the walk is over.
  std::string NextFile(platform::FileInfo& info);

 private:
  struct TSearchData {
    std::string directory;  // with a trailing "/"
    std::vector<platform::DirEntry> entries;
    std::size_t next = 0;
  };
  void Push(const std::string& directory);

  bool recurse_;
  std::string mask_;
  std::vector<TSearchData> stack_;
};

}  // namespace archive
