#include "platform/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/file_info_at.h"
#include "platform/posix.h"

namespace platform {

using detail::LastError;

namespace {
std::error_code NotOpen() { return std::make_error_code(std::errc::bad_file_descriptor); }
}  // namespace

File::~File() {
  if (fd_ >= 0) ::close(fd_);
}

File::File(File&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      path_(std::move(other.path_)),
      openedInfo_(other.openedInfo_) {}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
    path_ = std::move(other.path_);
    openedInfo_ = other.openedInfo_;
  }
  return *this;
}

std::error_code File::Open(const std::string& path, Mode mode) {
  return OpenAt(AT_FDCWD, path, path, mode, 0666);
}

std::error_code File::OpenAt(int dirFd, const std::string& name, const std::string& path,
                             Mode mode, unsigned permissions) {
  if (fd_ >= 0) Close();
  int flags = O_CLOEXEC;
  switch (mode) {
    case Mode::Read:
      flags |= O_RDONLY;
      break;
    case Mode::ReadWrite:
      flags |= O_RDWR;
      break;
    case Mode::OpenOrCreate:
      flags |= O_RDWR | O_CREAT;
      break;
    case Mode::Create:
      flags |= O_RDWR | O_CREAT | O_TRUNC;
      break;
    case Mode::CreateNew:
      flags |= O_RDWR | O_CREAT | O_EXCL;
      break;
  }
  int fd;
  do {
    fd = ::openat(dirFd, name.c_str(), flags, static_cast<mode_t>(permissions));
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return LastError();
  openedInfo_ = FileInfo{};
  // Opening a directory for writing fails by itself (EISDIR); only a read-only open can
  // succeed on one.
  if (mode == Mode::Read) {
    const std::size_t slash = path.find_last_of('/');
    const char* bare = slash == std::string::npos ? path.c_str() : path.c_str() + slash + 1;
    if (const std::error_code error = detail::StatFd(fd, bare, openedInfo_)) {
      ::close(fd);
      return error;
    }
    if (openedInfo_.isDirectory) {
      ::close(fd);
      openedInfo_ = FileInfo{};
      return std::make_error_code(std::errc::is_a_directory);
    }
  }
  fd_ = fd;
  path_ = path;
  return {};
}

std::error_code File::Close() {
  if (fd_ < 0) return NotOpen();
  const int result = ::close(std::exchange(fd_, -1));
  if (result != 0 && errno != EINTR) return LastError();
  return {};
}

std::error_code File::Read(void* buffer, std::size_t size, std::size_t& bytesRead) {
  bytesRead = 0;
  if (fd_ < 0) return NotOpen();
  auto* out = static_cast<char*>(buffer);
  while (bytesRead < size) {
    const ssize_t n = ::read(fd_, out + bytesRead, size - bytesRead);
    if (n < 0) {
      if (errno == EINTR) continue;
      return LastError();
    }
    if (n == 0) break;
    bytesRead += static_cast<std::size_t>(n);
  }
  return {};
}

std::error_code File::ReadSome(void* buffer, std::size_t size, std::size_t& bytesRead) {
  bytesRead = 0;
  if (fd_ < 0) return NotOpen();
  ssize_t n;
  do {
    n = ::read(fd_, buffer, size);
  } while (n < 0 && errno == EINTR);
  if (n < 0) return LastError();
  bytesRead = static_cast<std::size_t>(n);
  return {};
}

std::error_code File::Write(const void* buffer, std::size_t size) {
  if (fd_ < 0) return NotOpen();
  const auto* in = static_cast<const char*>(buffer);
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(fd_, in + done, size - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return LastError();
    }
    done += static_cast<std::size_t>(n);
  }
  return {};
}

std::error_code File::Seek(std::int64_t offset, Origin origin, std::uint64_t& newPosition) {
  if (fd_ < 0) return NotOpen();
  const int whence = origin == Origin::Begin ? SEEK_SET : origin == Origin::Current ? SEEK_CUR : SEEK_END;
  const off_t result = ::lseek(fd_, static_cast<off_t>(offset), whence);
  if (result < 0) return LastError();
  newPosition = static_cast<std::uint64_t>(result);
  return {};
}

std::error_code File::Position(std::uint64_t& position) {
  return Seek(0, Origin::Current, position);
}

std::error_code File::Size(std::uint64_t& size) {
  if (fd_ < 0) return NotOpen();
  struct stat st {};
  if (::fstat(fd_, &st) != 0) return LastError();
  size = static_cast<std::uint64_t>(st.st_size);
  return {};
}

std::error_code File::Truncate(std::uint64_t size) {
  if (fd_ < 0) return NotOpen();
  if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) return LastError();
  return {};
}

std::error_code File::Sync() {
  if (fd_ < 0) return NotOpen();
  if (::fsync(fd_) != 0) return LastError();
  return {};
}

std::error_code File::SetMode(std::uint32_t mode) {
  if (fd_ < 0) return NotOpen();
  if (::fchmod(fd_, static_cast<mode_t>(mode & 0777)) != 0) return LastError();
  return {};
}

std::error_code File::SetLastWriteTime(FileTime lastWrite) {
  if (fd_ < 0) return NotOpen();
  struct timespec times[2] {};
  times[0].tv_nsec = UTIME_OMIT;
  times[1] = detail::ToTimespec(lastWrite);
  if (::futimens(fd_, times) != 0) return LastError();
  return {};
}

std::error_code File::SetTimes(FileTime lastAccess, FileTime lastWrite) {
  if (fd_ < 0) return NotOpen();
  const struct timespec times[2] = {detail::ToTimespec(lastAccess), detail::ToTimespec(lastWrite)};
  if (::futimens(fd_, times) != 0) return LastError();
  return {};
}

}  // namespace platform
