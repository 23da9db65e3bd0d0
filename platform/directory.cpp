#include "platform/directory.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <random>

#include "platform/file_info_at.h"
#include "platform/file_system.h"
#include "platform/posix.h"

namespace platform {

using detail::LastError;

namespace detail {

// Six name characters from a process-wide sequence: a random start, then a mix of a counter,
// so that names stay unpredictable without a system call for each.
std::string TempSuffix() {
  static const std::uint64_t seed = [] {
    std::random_device device;
    return (static_cast<std::uint64_t>(device()) << 32) ^ device();
  }();
  static std::atomic<std::uint64_t> counter{0};
  std::uint64_t x = seed + 0x9E3779B97F4A7C15ull * ++counter;  // splitmix64
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  x ^= x >> 31;
  static constexpr char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::string suffix(6, ' ');
  for (char& c : suffix) {
    c = kChars[x % 62];
    x /= 62;
  }
  return suffix;
}

int DescriptorOf(const OpenDirectory& dir) { return dir.fd_; }

}  // namespace detail

OpenDirectory::OpenDirectory(const std::string& path)
    : path_(path), fd_(open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC)) {}

OpenDirectory::~OpenDirectory() {
  if (fd_ >= 0) close(fd_);
}

std::string OpenDirectory::Join(const std::string& name) const { return JoinPath(path_, name); }

int OpenDirectory::Fd() const { return fd_ >= 0 ? fd_ : AT_FDCWD; }

std::string OpenDirectory::At(const std::string& name) const {
  return fd_ >= 0 ? name : Join(name);
}

std::error_code OpenDirectory::GetFileInfo(const std::string& name, FileInfo& out) const {
  const std::string at = At(name);
  const std::size_t slash = name.find_last_of('/');
  const char* bare = slash == std::string::npos ? name.c_str() : name.c_str() + slash + 1;
  return detail::StatAt(Fd(), at.c_str(), bare, out);
}

std::error_code OpenDirectory::OpenFile(const std::string& name, File::Mode mode,
                                        File& file) const {
  return file.OpenAt(Fd(), At(name), Join(name), mode, 0666);
}

std::error_code OpenDirectory::CreateTempFile(const std::string& prefix, File& file,
                                              std::string& name, unsigned permissions) const {
  constexpr int kAttempts = 100;
  std::error_code error;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    const std::string candidate = prefix + detail::TempSuffix();
    error = file.OpenAt(Fd(), At(candidate), Join(candidate), File::Mode::CreateNew, permissions);
    if (!error) {
      name = candidate;
      return {};
    }
    if (error != std::errc::file_exists) return error;
  }
  return error;
}

std::error_code OpenDirectory::CreateTempSymlink(const std::string& target,
                                                 const std::string& prefix,
                                                 std::string& name) const {
  constexpr int kAttempts = 100;
  std::error_code error;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    const std::string candidate = prefix + detail::TempSuffix();
    if (symlinkat(target.c_str(), Fd(), At(candidate).c_str()) == 0) {
      name = candidate;
      return {};
    }
    error = LastError();
    if (error != std::errc::file_exists) return error;
  }
  return error;
}

std::error_code OpenDirectory::Rename(const std::string& from, const std::string& to) const {
  if (renameat(Fd(), At(from).c_str(), Fd(), At(to).c_str()) != 0) return LastError();
  return {};
}

std::error_code OpenDirectory::DeleteFile(const std::string& name) const {
  if (unlinkat(Fd(), At(name).c_str(), 0) != 0) return LastError();
  return {};
}

std::error_code OpenDirectory::WriteFileTimes(const std::string& name, FileTime lastAccess,
                                              FileTime lastWrite) const {
  const struct timespec times[2] = {detail::ToTimespec(lastAccess), detail::ToTimespec(lastWrite)};
  if (utimensat(Fd(), At(name).c_str(), times, 0) != 0) return LastError();
  return {};
}

}  // namespace platform
