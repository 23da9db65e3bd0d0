// Helpers shared by the catalogue tests: raw file access that goes around the catalogue, so
// the tests check what is really on disk, and record bytes put by hand.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/files.h"

namespace catalogue_test {

using testsupport::ReadAll;
using testsupport::TempDir;
using testsupport::WriteAll;

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
