// Helpers shared by the catalogue tests: an open catalogue, raw file access that goes around
// the catalogue, so the tests check what is really on disk, and record bytes put by hand.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
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

// A catalogue open on three new files in a scratch folder, with a clock the test sets.
class OpenCatalogueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    catalogue_ = std::make_unique<catalogue::TCatalogue>([this] { return clock_; });
    ASSERT_TRUE(Open());
  }
  bool Open() { return catalogue_->OpenCatalogue(ProjectPath(), FolderPath(), LogPath()); }
  std::string ProjectPath() const { return dir_.File("Rpoject.vrn"); }
  std::string FolderPath() const { return dir_.File("Folder.vrn"); }
  std::string LogPath() const { return dir_.File("Log.vrn"); }

  TempDir dir_;
  double clock_ = 45000.5;
  std::unique_ptr<catalogue::TCatalogue> catalogue_;
};

}  // namespace catalogue_test
