// Helpers shared by the catalogue tests: a fresh temporary folder per test and raw file
// access that goes around the catalogue, so the tests check what is really on disk.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace catalogue_test {

class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vrn-cat-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

inline std::vector<std::uint8_t> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline void WriteAll(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

inline std::uintmax_t FileSize(const std::string& path) { return std::filesystem::file_size(path); }

// Puts bytes into a buffer at a literal offset, for writing records out by hand.
inline void Put(std::vector<std::uint8_t>& buffer, std::size_t offset,
                std::initializer_list<std::uint8_t> bytes) {
  std::size_t i = offset;
  for (std::uint8_t b : bytes) buffer.at(i++) = b;
}

inline void PutText(std::vector<std::uint8_t>& buffer, std::size_t offset, const std::string& s) {
  for (std::size_t i = 0; i < s.size(); ++i)
    buffer.at(offset + i) = static_cast<std::uint8_t>(s[i]);
}

}  // namespace catalogue_test
