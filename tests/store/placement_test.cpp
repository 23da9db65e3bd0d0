// Protects the placement rule: where every archive lies. The restore and verify runs find
// archives by the same functions, so a change here silently orphans every existing backup.
// And the check that refuses a store folder which is the root, however it is spelled.
#include "store/placement.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/files.h"

namespace fs = std::filesystem;

namespace {

TEST(Placement, BackupFolderJoinsStoreAndSourceAsTheyStand) {
  EXPECT_EQ(store::BackupFolder("/srv/backup", "/home/ann/Docs"), "/srv/backup/home/ann/Docs");
  // A trailing separator on the store folder is kept: the doubled one is harmless.
  EXPECT_EQ(store::BackupFolder("/srv/backup/", "/home/ann"), "/srv/backup//home/ann");
  // The root folder's own files go straight into the store folder's top.
  EXPECT_EQ(store::BackupFolder("/srv/backup", "/"), "/srv/backup/");
}

TEST(Placement, SourceFolderIsFoldedAndMadeAbsolute) {
  EXPECT_EQ(store::BackupFolder("/b", "/home/ann/"), "/b/home/ann");
  EXPECT_EQ(store::BackupFolder("/b", "/home//ann/./x/.."), "/b/home/ann");
  char buffer[4096];
  ASSERT_NE(getcwd(buffer, sizeof buffer), nullptr);
  const std::string cwd = buffer;
  EXPECT_EQ(store::SourceFolderPath("rel/dir"), cwd + "/rel/dir");
  EXPECT_EQ(store::BackupFolder("/b", "rel/dir"), "/b" + cwd + "/rel/dir");
}

TEST(Placement, ArchiveAndSubdirectoryPaths) {
  EXPECT_EQ(store::ArchivePath("/b/data/Docs", "report.doc"), "/b/data/Docs/report.doc.ZIP");
  EXPECT_EQ(store::ArchivePath("/b/data/Docs/Old", "a.tar.gz"), "/b/data/Docs/Old/a.tar.gz.ZIP");
  EXPECT_EQ(store::ArchivePath("/b/data", ".profile"), "/b/data/.profile.ZIP");
  EXPECT_EQ(store::SubTargetDirectory("/b/data", "Sub"), "/b/data/Sub");
  EXPECT_EQ(store::ArchivePath("/b/", "x"), "/b/x.ZIP");
}

class CreatePathFoldersTest : public ::testing::Test {
 protected:
  testsupport::TempDir dir_;
  const std::string root_ = dir_.Path();
};

TEST_F(CreatePathFoldersTest, CreatesEveryIntermediateButNotTheLast) {
  store::CreatePathFolders(root_ + "/Backup/Data/Docs");
  EXPECT_TRUE(fs::is_directory(root_ + "/Backup"));
  EXPECT_TRUE(fs::is_directory(root_ + "/Backup/Data"));
  EXPECT_FALSE(fs::exists(root_ + "/Backup/Data/Docs"));
}

TEST_F(CreatePathFoldersTest, TrailingSeparatorCreatesTheLastToo) {
  store::CreatePathFolders(root_ + "/a/b/");
  EXPECT_TRUE(fs::is_directory(root_ + "/a/b"));
}

TEST_F(CreatePathFoldersTest, ExistingAndDoubledSeparatorsAreHarmless) {
  fs::create_directories(root_ + "/x");
  store::CreatePathFolders(root_ + "/x//y/z/last");
  EXPECT_TRUE(fs::is_directory(root_ + "/x/y/z"));
  EXPECT_FALSE(fs::exists(root_ + "/x/y/z/last"));
}

TEST_F(CreatePathFoldersTest, BlockedByAFileFailsSilently) {
  std::ofstream(root_ + "/file") << "x";
  store::CreatePathFolders(root_ + "/file/sub/last");  // must not throw
  EXPECT_TRUE(fs::is_regular_file(root_ + "/file"));
}

TEST(StoreFolderCheck, ComparesWithTheRootByDeviceAndInode) {
  testsupport::TempDir dir;
  fs::create_directories(dir / "store");
  fs::create_symlink(dir / "store", dir / "storelink");
  EXPECT_EQ(store::CheckStoreFolder(dir / "store"), store::StoreFolderProblem::None);
  EXPECT_EQ(store::CheckStoreFolder(dir / "storelink"), store::StoreFolderProblem::None);
  EXPECT_EQ(store::CheckStoreFolder(dir / "not/yet"), store::StoreFolderProblem::None);
  EXPECT_EQ(store::CheckStoreFolder("/tmp"), store::StoreFolderProblem::None);
  EXPECT_EQ(store::CheckStoreFolder("/../.."), store::StoreFolderProblem::Root);
  EXPECT_EQ(store::CheckStoreFolder(""), store::StoreFolderProblem::Empty);
}

}  // namespace
