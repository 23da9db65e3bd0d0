// Scratch folders and whole-file access for the tests. They go through the C library and
// std::filesystem, never through our platform layer, so that a test sees what is really on
// disk and a fault in the platform code cannot hide itself.
#pragma once

#include <string>

#include "tests/support/bytes.h"

namespace testsupport {

// A new empty directory, removed with everything in it on destruction (rights a test took
// away are given back first).
class TempDir {
 public:
  enum class Medium {
    kTemp,       // TMPDIR, else /tmp
    kMemory,     // /dev/shm when the machine has it: for tests that write thousands of files
    kLargeDisk,  // TMPDIR, else /var/tmp: for files of gigabytes (/tmp may be memory)
  };
  explicit TempDir(Medium medium = Medium::kTemp);
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& Path() const { return path_; }
  std::string File(const std::string& relative) const { return path_ + "/" + relative; }
  std::string operator/(const std::string& relative) const { return File(relative); }

 private:
  std::string path_;
};

// Whole-file reads (empty when the file cannot be read) and writes. The writes create the
// missing parent folders and throw when the file cannot be written.
Bytes ReadAll(const std::string& path);
std::string ReadText(const std::string& path);
void WriteAll(const std::string& path, const Bytes& bytes);
void WriteText(const std::string& path, const std::string& text);

// Sets last access and last write to the given Unix time (seconds, nanoseconds); throws
// when it cannot.
void SetMtime(const std::string& path, long long unixSeconds, long nanoseconds = 0);
// The last-write time in nanoseconds since the Unix epoch (stat, following links), -1 when
// the file is missing.
long long MtimeNs(const std::string& path);

}  // namespace testsupport
