#include "platform/file_info.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/file_info_at.h"
#include "platform/posix.h"

namespace platform {

using detail::LastError;

namespace {

FileTime StatxTime(const struct statx_timestamp& ts) {
  return UnixToFileTime(ts.tv_sec, ts.tv_nsec);
}

const char* NameOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path.c_str() : path.c_str() + slash + 1;
}

}  // namespace

unsigned detail::StatxMask() { return STATX_BASIC_STATS | STATX_BTIME; }

void detail::FillInfo(const struct statx& sx, const char* name, FileInfo& info) {
  info = FileInfo{};
  const unsigned mode = sx.stx_mode;
  info.isDirectory = S_ISDIR(mode);
  info.isRegular = S_ISREG(mode);
  info.unixMode = mode & 07777;
  info.size = sx.stx_size;
  info.times.lastWrite = StatxTime(sx.stx_mtime);
  info.lastWriteNs = static_cast<std::int64_t>(sx.stx_mtime.tv_sec) * 1000000000 +
                     static_cast<std::int64_t>(sx.stx_mtime.tv_nsec);
  info.device = makedev(sx.stx_dev_major, sx.stx_dev_minor);
  info.inode = sx.stx_ino;
  info.times.lastAccess = StatxTime(sx.stx_atime);
  info.times.creation =
      (sx.stx_mask & STATX_BTIME) ? StatxTime(sx.stx_btime) : info.times.lastWrite;
  std::uint32_t attributes = 0;
  if ((mode & S_IWUSR) == 0) attributes |= faReadOnly;
  if (name[0] == '.') attributes |= faHidden;
  if (info.isDirectory) attributes |= faDirectory;
  if (info.isRegular) attributes |= faArchive;
  info.attributes = attributes;
}

std::error_code detail::StatAt(int dirFd, const char* path, const char* name, FileInfo& out) {
  const unsigned wanted = StatxMask();
  struct statx sx {};
  if (statx(dirFd, path, AT_SYMLINK_NOFOLLOW, wanted, &sx) != 0) return LastError();
  // Walks stat every name: only a link costs a second call, for its target.
  const bool isLink = S_ISLNK(sx.stx_mode);
  if (isLink && statx(dirFd, path, 0, wanted, &sx) != 0) return LastError();
  FillInfo(sx, name, out);
  out.isSymlink = isLink;
  return {};
}

std::error_code detail::StatFd(int fd, const char* name, FileInfo& out) {
  struct statx sx {};
  if (statx(fd, "", AT_EMPTY_PATH, StatxMask(), &sx) != 0) return LastError();
  FillInfo(sx, name, out);
  return {};
}

std::error_code GetFileInfo(const std::string& path, FileInfo& out) {
  return detail::StatAt(AT_FDCWD, path.c_str(), NameOf(path), out);
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::error_code SetFileAttributes(const std::string& path, std::uint32_t attributes) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return LastError();
  mode_t mode = st.st_mode & 07777;
  if (attributes & faReadOnly) {
    mode &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
  } else {
    mode |= S_IWUSR;
  }
  if (chmod(path.c_str(), mode) != 0) return LastError();
  return {};
}

std::error_code SetUnixMode(const std::string& path, std::uint32_t mode) {
  if (chmod(path.c_str(), static_cast<mode_t>(mode & 0777)) != 0) return LastError();
  return {};
}

namespace {

// Calls each(entry) for every entry of stream but "." and "..", closes the stream and
// returns the error that ended the reading, if any.
template <class Each>
std::error_code ReadEntries(DIR* stream, Each each) {
  errno = 0;
  while (struct dirent* entry = readdir(stream)) {
    const char* name = entry->d_name;
    if (!(name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))) each(*entry);
    errno = 0;
  }
  const std::error_code readError = errno != 0 ? LastError() : std::error_code{};
  closedir(stream);
  return readError;
}

}  // namespace

std::error_code ListDirectory(const std::string& dir, std::vector<DirEntry>& out,
                              std::error_code* statusError) {
  out.clear();
  if (statusError) statusError->clear();
  const int dirFd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd < 0) return LastError();
  DIR* stream = fdopendir(dirFd);
  if (stream == nullptr) {
    const std::error_code error = LastError();
    close(dirFd);
    return error;
  }
  const std::error_code readError = ReadEntries(stream, [&](const struct dirent& entry) {
    DirEntry item;
    item.name = entry.d_name;
    // Entries that vanish or dangle between readdir and statx are left out.
    const std::error_code statError = detail::StatAt(dirFd, entry.d_name, entry.d_name, item.info);
    if (!statError) {
      out.push_back(std::move(item));
    } else if (statusError && !*statusError && statError != std::errc::no_such_file_or_directory &&
               statError != std::errc::too_many_symbolic_link_levels) {
      *statusError = statError;
    }
  });
  if (readError) return readError;
  std::sort(out.begin(), out.end(),
            [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
  return {};
}

std::error_code ListKinds(const std::string& dir, std::vector<ListedName>& out) {
  out.clear();
  DIR* stream = opendir(dir.c_str());
  if (stream == nullptr) return LastError();
  const std::error_code readError = ReadEntries(stream, [&](const struct dirent& entry) {
    const ListedKind kind = entry.d_type == DT_REG   ? ListedKind::Regular
                            : entry.d_type == DT_DIR ? ListedKind::Directory
                                                     : ListedKind::Unknown;
    out.push_back({entry.d_name, kind});
  });
  if (readError) return readError;
  std::sort(out.begin(), out.end(),
            [](const ListedName& a, const ListedName& b) { return a.name < b.name; });
  return {};
}

std::error_code ListNames(const std::string& dir, std::vector<std::string>& out) {
  out.clear();
  DIR* stream = opendir(dir.c_str());
  if (stream == nullptr) return LastError();
  return ReadEntries(stream, [&](const struct dirent& entry) { out.emplace_back(entry.d_name); });
}

}  // namespace platform
