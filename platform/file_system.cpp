#include "platform/file_system.h"

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <vector>

#include "platform/posix.h"

namespace platform {

using detail::LastError;

std::error_code CreateDirectory(const std::string& path) {
  if (::mkdir(path.c_str(), 0777) != 0) return LastError();
  return {};
}

std::error_code DeleteFile(const std::string& path) {
  if (::unlink(path.c_str()) != 0) return LastError();
  return {};
}

std::error_code RemoveDirectory(const std::string& path) {
  if (::rmdir(path.c_str()) != 0) return LastError();
  return {};
}

std::error_code RenameFile(const std::string& from, const std::string& to) {
  if (::rename(from.c_str(), to.c_str()) != 0) return LastError();
  return {};
}

std::string CurrentDirectory() {
  std::vector<char> buffer(PATH_MAX);
  while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE) return {};
    buffer.resize(buffer.size() * 2);
  }
  return buffer.data();
}

std::string AbsolutePath(const std::string& path) {
  const std::string full = (!path.empty() && path[0] == '/') ? path : CurrentDirectory() + "/" + path;
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= full.size()) {
    std::size_t end = full.find('/', start);
    if (end == std::string::npos) end = full.size();
    const std::string part = full.substr(start, end - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
  std::string result;
  for (const std::string& part : parts) result += "/" + part;
  return result.empty() ? "/" : result;
}

std::string JoinPath(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  // One allocation: paths are built for every file of a run.
  const bool slash = dir.back() != '/';
  std::string path;
  path.reserve(dir.size() + slash + name.size());
  path += dir;
  if (slash) path += '/';
  path += name;
  return path;
}

std::string ParentPath(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return {};
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string BaseName(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ExecutablePath() {
  std::vector<char> buffer(PATH_MAX);
  for (;;) {
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) return {};
    if (static_cast<std::size_t>(n) < buffer.size()) return std::string(buffer.data(), n);
    buffer.resize(buffer.size() * 2);
  }
}

std::string TempDirectory() {
  const char* dir = ::getenv("TMPDIR");
  if (dir != nullptr && dir[0] != 0) return dir;
  return "/tmp";
}

std::error_code CreateTempFile(const std::string& dir, const std::string& prefix,
                               std::string& outPath) {
  std::string pattern = JoinPath(dir.empty() ? "." : dir, prefix + "XXXXXX");
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back(0);
  const int fd = ::mkostemp(buffer.data(), O_CLOEXEC);
  if (fd < 0) return LastError();
  ::close(fd);
  outPath = buffer.data();
  return {};
}

}  // namespace platform
