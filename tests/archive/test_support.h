// Helpers shared by the archive tests: a fresh temporary directory per test, whole-file
// reads and writes, running the peer tools (zip, unzip, python3, 7z).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

// A new empty directory under the system's temporary directory, removed on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::vector<std::uint8_t> ReadAll(const std::string& path);
void WriteAll(const std::string& path, const std::vector<std::uint8_t>& bytes);
void WriteText(const std::string& path, const std::string& text);

// Runs a shell command; returns its exit status and, in output, what it printed on stdout.
int Shell(const std::string& command, std::string* output = nullptr);
// True when the program is on PATH.
bool HaveTool(const std::string& program);
// The Python interpreter to run peer scripts with (the system's, skipping slow shims).
std::string Python();
// Single-quotes a text for the shell.
std::string Quote(const std::string& text);

}  // namespace testsupport
