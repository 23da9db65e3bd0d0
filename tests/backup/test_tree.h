// Shared helpers of the backup tests: a temporary directory and small file utilities that
// go through the C library and std::filesystem, not through our platform layer.
#pragma once

#include <string>

#include "tests/support/unprivileged.h"

namespace backup_test {

class TempDir {
 public:
  explicit TempDir(const char* tag = "vrn-backup");
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string operator/(const std::string& rel) const { return path_ + "/" + rel; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

void WriteFile(const std::string& path, const std::string& content = "x");
std::string ReadFile(const std::string& path);
// Sets last access and last write to the given Unix time (seconds, nanoseconds).
void SetMtime(const std::string& path, long long unixSeconds, long nanoseconds = 0);
// The last-write time in nanoseconds since the Unix epoch (stat, following links).
long long MtimeNs(const std::string& path);

// Now in tests/support; the short name stays for the backup tests.
using testsupport::RunUnprivileged;

}  // namespace backup_test
