#include "tests/support/files.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace testsupport {

namespace fs = std::filesystem;

namespace {

fs::path Base(TempDir::Medium medium) {
  std::error_code ec;
  switch (medium) {
    case TempDir::Medium::kMemory:
      if (fs::is_directory("/dev/shm", ec)) return "/dev/shm";
      break;
    case TempDir::Medium::kLargeDisk: {
      const char* tmp = getenv("TMPDIR");
      return tmp != nullptr && *tmp != '\0' ? fs::path(tmp) : fs::path("/var/tmp");
    }
    case TempDir::Medium::kTemp:
      break;
  }
  return fs::temp_directory_path();
}

void MakeParent(const std::string& path) {
  const fs::path parent = fs::path(path).parent_path();
  if (!parent.empty()) fs::create_directories(parent);
}

}  // namespace

TempDir::TempDir(Medium medium) {
  std::string pattern = (Base(medium) / "vrn-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
  for (auto it = fs::recursive_directory_iterator(path_, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (!it->is_symlink())
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::remove_all(path_, ec);
}

Bytes ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const std::string& path, const Bytes& bytes) {
  WriteText(path, std::string(bytes.begin(), bytes.end()));
}

void WriteText(const std::string& path, const std::string& text) {
  MakeParent(path);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  if (!out) throw std::runtime_error("cannot write " + path);
}

void SetMtime(const std::string& path, long long unixSeconds, long nanoseconds) {
  struct timespec times[2];
  times[0].tv_sec = unixSeconds;
  times[0].tv_nsec = nanoseconds;
  times[1] = times[0];
  if (utimensat(AT_FDCWD, path.c_str(), times, 0) != 0) {
    throw std::runtime_error("utimensat failed on " + path);
  }
}

long long MtimeNs(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return -1;
  return static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
}

}  // namespace testsupport
