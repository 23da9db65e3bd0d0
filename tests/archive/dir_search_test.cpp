// Protects the writer's directory walk: the order files come in, which directories are
// entered, and the 21-level limit, so that wildcard entries add the files a user expects and
// a deep or looping tree cannot run away.
#include "archive/dir_search.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/files.h"

namespace {

using testsupport::TempDir;
using testsupport::WriteText;

std::vector<std::string> Walk(const std::string& start, bool recurse, const std::string& mask) {
  archive::TDirSearch search(start, recurse, mask);
  std::vector<std::string> found;
  for (;;) {
    platform::FileInfo info;
    std::string path = search.NextFile(info);
    if (path.empty()) break;
    EXPECT_TRUE(info.isRegular);
    found.push_back(path.substr(start.size() + 1));
  }
  return found;
}

TEST(DirSearch, DepthFirstInNameOrderSkippingDotDirectories) {
  TempDir dir;
  std::filesystem::create_directories(dir.File("b/inner"));
  std::filesystem::create_directories(dir.File(".git"));
  WriteText(dir.File("a.txt"), "");
  WriteText(dir.File("b/inner/c.txt"), "");
  WriteText(dir.File("b/b.txt"), "");
  WriteText(dir.File("d.TXT"), "");
  WriteText(dir.File(".git/e.txt"), "");
  WriteText(dir.File(".hidden.txt"), "");  // a dot file is still a file
  WriteText(dir.File("README"), "");
  EXPECT_EQ(Walk(dir.Path(), true, "*.txt"),
            (std::vector<std::string>{".hidden.txt", "a.txt", "b/b.txt", "b/inner/c.txt",
                                      "d.TXT"}));
  EXPECT_EQ(Walk(dir.Path(), false, "*.txt"),
            (std::vector<std::string>{".hidden.txt", "a.txt", "d.TXT"}));
  // A name without a dot matches "*.*" too.
  EXPECT_EQ(Walk(dir.Path() + "/b/inner", false, "*.*"), (std::vector<std::string>{"c.txt"}));
  EXPECT_EQ(Walk(dir.Path(), false, "R*.*"), (std::vector<std::string>{"README"}));
  // ... and still matches a pattern written for the name itself.
  EXPECT_EQ(Walk(dir.Path(), false, "READM?"), (std::vector<std::string>{"README"}));
}

TEST(DirSearch, LevelsBelowTheTwentiethAreSkippedAndLinkedDirectoriesNotEntered) {
  TempDir dir;
  std::string path = dir.Path();
  std::vector<std::string> expected;
  std::string relative;
  for (int level = 0; level <= 22; ++level) {
    WriteText(path + "/f" + std::to_string(level), "");
    if (level <= 20) expected.push_back(relative + "f" + std::to_string(level));
    path += "/d";
    relative += "d/";
    std::filesystem::create_directory(path);
  }
  std::filesystem::create_directory_symlink(dir.Path(), dir.File("loop"));
  // "d" sorts before "f...": each level's subdirectory comes before its own file.
  std::reverse(expected.begin(), expected.end());
  EXPECT_EQ(Walk(dir.Path(), true, "f*"), expected);
}

}  // namespace
