// Attributes, file status and directory listing.
//
// Attributes keep the Windows bit values the archive format and the engines use:
// read-only when the owner may not write, hidden when the name begins with ".",
// directory for directories, archive for regular files.
#pragma once

#include <cstdint>
#include <string>
#include <system_error>
#include <vector>

#include "platform/file_time.h"

namespace platform {

enum FileAttribute : std::uint32_t {
  faReadOnly = 0x01,
  faHidden = 0x02,
  faSysFile = 0x04,
  faVolumeID = 0x08,
  faDirectory = 0x10,
  faArchive = 0x20,
  faAnyFile = 0x3F,
};

struct FileInfo {
  bool isDirectory = false;
  bool isRegular = false;
  bool isSymlink = false;  // the name itself is a symbolic link (other fields describe its target)
  std::uint32_t attributes = 0;  // FileAttribute bits
  std::uint32_t unixMode = 0;    // st_mode & 07777
  std::uint64_t size = 0;
  FileTimes times;
  // The last-write time to the nanosecond (since 1970), finer than times.lastWrite: what
  // tells a file rewritten within the same 100 ns from one left alone.
  std::int64_t lastWriteNs = 0;
  // Which file this is: equal device and inode mean the same file or directory, whatever
  // path (symbolic links included) led to it.
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
};

// True when both infos describe the same file system object (device and inode).
inline bool SameObject(const FileInfo& a, const FileInfo& b) {
  return a.device == b.device && a.inode == b.inode;
}

// Status of path, following symbolic links (isSymlink tells whether path itself is one).
// A dangling link fails with the target's error.
std::error_code GetFileInfo(const std::string& path, FileInfo& out);
bool FileExists(const std::string& path);       // a non-directory exists at path
bool DirectoryExists(const std::string& path);  // a directory exists at path

// Changes only what the attributes can say on Linux: faReadOnly clears or sets the
// owner's write bit; the other bits are ignored.
std::error_code SetFileAttributes(const std::string& path, std::uint32_t attributes);
// Sets the permission bits (mode & 0777) of path.
std::error_code SetUnixMode(const std::string& path, std::uint32_t mode);

struct DirEntry {
  std::string name;  // bare name, never "." or ".."
  FileInfo info;
};

// Lists dir (without "." and ".."), sorted by name bytes so walks are repeatable.
// Entries whose status cannot be read (dangling links, races) are left out. When
// statusError is given it receives the first reason an entry was left out for, other than
// an entry that vanished or a link that dangles or loops: a directory that may be read but
// not entered gives names without status (EACCES), and the caller can say so.
std::error_code ListDirectory(const std::string& dir, std::vector<DirEntry>& out,
                              std::error_code* statusError = nullptr);
// What a listing alone tells of an entry, without looking at it. Unknown: a link, a special
// file, or a file system that does not say.
enum class ListedKind : unsigned char { Regular, Directory, Unknown };
struct ListedName {
  std::string name;  // bare name, never "." or ".."
  ListedKind kind;
};
// Lists dir like ListDirectory (sorted by name bytes) but reads no entry's status: for a
// walk that looks at an entry only when it must.
std::error_code ListKinds(const std::string& dir, std::vector<ListedName>& out);
// The bare names in dir (without "." and ".."), unsorted and without their status: the
// cheap listing for finding names by their form.
std::error_code ListNames(const std::string& dir, std::vector<std::string>& out);

}  // namespace platform
