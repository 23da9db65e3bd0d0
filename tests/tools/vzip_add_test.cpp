// Protects "vzip a": the maintainers' way to make archives with our writer must produce
// archives Info-ZIP unzip accepts, at the level asked for, and report failures by status.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "tools/vzip.h"

namespace {

class VzipAdd : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "vza_XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string File(const std::string& name) const { return dir_ + "/" + name; }
  int Run(const std::vector<std::string>& args) {
    out_.str({});
    err_.str({});
    return vzip::Main(args, out_, err_);
  }
  static int Shell(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  std::string dir_;
  std::ostringstream out_;
  std::ostringstream err_;
};

TEST_F(VzipAdd, AddsFilesThatUnzipAcceptsAtTheLevelAsked) {
  {
    std::ofstream text(File("notes.txt"));
    for (int i = 0; i < 2000; ++i) text << "line " << i << " of some notes\n";
  }
  ASSERT_EQ(Run({"a", File("n.zip"), "-9", File("notes.txt")}), 0) << err_.str();
  EXPECT_EQ(out_.str(), "added 1 file to " + File("n.zip") + "\n");
  EXPECT_EQ(Shell("unzip -tqq '" + File("n.zip") + "' >/dev/null"), 0);
  // Level 9 shows as "maximum" (flag bit 1) in unzip's listing.
  EXPECT_EQ(Shell("unzip -Zv '" + File("n.zip") + "' | grep -q 'sub-type (deflation): *maximum'"), 0);
  // Adding to the existing archive keeps the first entry.
  { std::ofstream(File("more.txt")) << "more"; }
  ASSERT_EQ(Run({"a", File("n.zip"), "-0", File("more.txt")}), 0) << err_.str();
  std::string listing = File("list.txt");
  EXPECT_EQ(Shell("unzip -Z1 '" + File("n.zip") + "' > '" + listing + "'"), 0);
  std::ifstream names(listing);
  std::string all((std::istreambuf_iterator<char>(names)), {});
  EXPECT_NE(all.find("notes.txt"), std::string::npos);
  EXPECT_NE(all.find("more.txt"), std::string::npos);
}

TEST_F(VzipAdd, MissingFilesAndWrongUsageAreReportedByStatus) {
  EXPECT_EQ(Run({"a", File("x.zip"), File("missing.txt")}), 1);
  EXPECT_NE(err_.str().find("no such file"), std::string::npos);
  EXPECT_EQ(Run({"a", File("x.zip")}), 2);
}

}  // namespace
