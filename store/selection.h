// File selection: which files of a source folder a backup stores, and so which files a
// verify expects to find in the store. A file is selected when it is not unchanged (its
// archive carries its last-write time to the minute) and its name passes the folder's
// masks. The backup's walk (backup/walk.h) applies it to every file it meets.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "platform/directory.h"
#include "platform/file_time.h"

namespace store {

// True when the name matches the mask. Both are expected upper-cased already. "*" skips to
// the first occurrence of the character after it and never tries a later one, so "*.TXT"
// is decided by the name's first "."; "?" stands for exactly one character; any other
// character stands for itself. Characters are Unicode code points of the UTF-8 texts. An
// empty mask matches nothing.
bool MatchMask(std::string_view name, std::string_view mask);

// True when both file times fall in the same UTC minute (seconds and below ignored).
bool SameFileMinute(platform::FileTime a, platform::FileTime b);

// A folder's stored mask text (catalogue/masks.h), upper-cased and split once. Empty masks
// are kept but match nothing.
class MaskList {
 public:
  explicit MaskList(std::string_view maskText);
  // True when the already upper-cased name matches at least one mask.
  bool AnyMatches(std::string_view upperName) const;
  const std::vector<std::string>& Masks() const { return masks_; }

 private:
  std::vector<std::string> masks_;
};

// The selection of one file named name in sourceDir whose archive lies in targetDir:
// false when the archive exists and SameFileMinute holds for the file's and the archive's
// last-write times; otherwise true exactly when "the name matches a mask" equals include.
// An archive that cannot be read counts as missing.
bool IsFileSelected(platform::FileTime fileLastWrite, const std::string& targetDir,
                    const std::string& name, const MaskList& masks, bool include);
// The same with the target directory held open, as the walk does.
bool IsFileSelected(platform::FileTime fileLastWrite, const platform::OpenDirectory& target,
                    const std::string& name, const MaskList& masks, bool include);
// The first half of the rule: the archive of name exists in target and SameFileMinute holds
// for the file's and the archive's last-write times.
bool IsUnchanged(platform::FileTime fileLastWrite, const platform::OpenDirectory& target,
                 const std::string& name);
// The same for an archive already looked up: the lookup's error and the status it gave.
bool IsUnchanged(platform::FileTime fileLastWrite, std::error_code archiveError,
                 const platform::FileInfo& archive);
// The same, reading the file's time from sourceDir; a file whose time cannot be read is
// selected when its name passes the masks (its store then reports what happened).
bool IsFileSelected(const std::string& sourceDir, const std::string& targetDir,
                    const std::string& name, const std::string& masks, bool include);

// A directory as the file system knows it: device and inode, whatever path led to it.
struct DirectoryId {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  bool operator==(const DirectoryId&) const = default;
};
// The id of the directory path (links followed); false when it is none or cannot be read.
bool GetDirectoryId(const std::string& path, DirectoryId& out);

}  // namespace store
