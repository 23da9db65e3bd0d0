// File selection: which files of a source folder a backup run stores.
//
// The walk goes depth first through a source folder in the platform's listing order,
// mirrors every directory it enters into the store folder, and hands every selected file to
// the store action. A file is selected when it is not unchanged (its archive carries its
// last-write time to the minute) and its name passes the folder's masks.
//
// Paths are explicit throughout: the walk never changes the process's current directory.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "platform/directory.h"
#include "platform/file_time.h"

namespace backup {

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

// One walk of a source folder.
struct FolderWalk {
  MaskList masks{""};
  bool include = true;
  // Directories never entered: the store folder and the directory chain from it to the
  // backup folder. Compared by device and inode, so a store reached through a link into
  // the tree (or a tree named through a link) is recognised as well.
  std::vector<DirectoryId> leftOut;
  // Called for every selected file with its directory, bare name and target directory.
  std::function<void(const std::string& sourceDir, const std::string& name,
                     const std::string& targetDir)>
      store;
  // Called after every directory entry, so that the caller's window stays responsive.
  std::function<void()> afterEntry;
  // Called for a directory that could not be listed, or whose entries could not all be
  // examined (read but not enter rights), with the system's reason.
  std::function<void(const std::string& dir, std::error_code reason)> unreadable;
};

// Walks sourceDir (absolute) and everything below it. Creates targetDir first (an existing
// one is fine) and removes the leftovers of cut-off stores from it (backup/temporary.h). A
// directory that cannot be listed ends its own level, reported through walk.unreadable.
// Directories whose names begin with "." and symbolic links to directories are not entered;
// entries that are neither regular files nor directories (pipes, sockets, devices) are never
// stored. False when sourceDir itself could not be listed.
bool ProcessDirectory(const std::string& sourceDir, const std::string& targetDir,
                      const FolderWalk& walk);

}  // namespace backup
