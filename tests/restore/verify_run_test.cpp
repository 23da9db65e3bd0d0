// Protects the verify run: a backup made by the backup run is judged sound; each way an
// archive goes bad (flipped data, cut in half, no ZIP at all, an entry under another name)
// is found and named; the files the next backup would store are exactly the new and the
// changed ones (not those changed within the archive's minute, not those the masks leave
// out, not what lies in dot-directories or in a store inside the tree); nothing is written
// anywhere. Expected counts and log texts are written out by hand.
#include "restore/verify_run.h"

#include <filesystem>

#include "archive/zip_reader.h"
#include "restore/zip_reader_unpacker.h"
#include "restore_fixture.h"

namespace fs = std::filesystem;

namespace restore_test {
namespace {

using testsupport::RandomBytes;

class RecordingVerifyObserver : public restore::VerifyObserver {
 public:
  void FolderStarted(const std::string& path) override { folders.push_back(path); }
  void ArchiveDamaged(const std::string& archivePath, const std::string&) override {
    damaged.push_back(archivePath);
  }
  std::vector<std::string> folders;
  std::vector<std::string> damaged;
};

class VerifyTest : public RestoreTest {
 protected:
  void SetUp() override {
    RestoreTest::SetUp();
    restore::ConfigureReaderForRestore(reader_);
  }
  restore::VerifyResult Verify(const std::string& project = "P") {
    restore::ZipReaderTester tester(reader_);
    restore::TVerifyRun run(catalogue_, tester, observer_);
    return run.Run(project);
  }
  std::vector<std::string> Everything() {
    std::vector<std::string> all = TreeListing(Path(""));
    // The catalogue's own files change with every log entry.
    std::erase_if(all, [](const std::string& e) { return e.find(".vrn") != std::string::npos; });
    return all;
  }

  archive::TZipReader reader_;
  RecordingVerifyObserver observer_;
};

TEST_F(VerifyTest, AFreshBackupIsSoundAndNothingIsWritten) {
  const std::string docs = Path("src/Docs");
  MakeTree(docs, {
                     {"a.txt", "a", UtcTime(2021, 1, 1, 1, 1, 1)},
                     {"sub/b.bin", RandomBytes(50000, 1), UtcTime(2021, 1, 1, 1, 1, 2)},
                     {"empty", "", UtcTime(2021, 1, 1, 1, 1, 3)},
                 });
  BackUp(docs);
  ASSERT_TRUE(catalogue_.AddFolder("P", docs, "*; ", true, 6));
  const auto before = Everything();

  const restore::VerifyResult result = Verify();

  EXPECT_EQ(Everything(), before);
  ASSERT_TRUE(result.projectFound);
  ASSERT_EQ(result.folders.size(), 1u);
  EXPECT_TRUE(result.folders[0].backupFound);
  EXPECT_EQ(result.ArchivesTested(), 3);
  EXPECT_EQ(result.Damaged(), 0);
  EXPECT_EQ(result.NotBackedUp(), 0);
  EXPECT_TRUE(result.Sound());
  EXPECT_EQ(observer_.folders, std::vector<std::string>{docs});
  EXPECT_EQ(
      LogTexts(),
      (std::vector<std::string>{
          "Verifying project \"P\"...",
          ("3 archives tested, 0 damaged, 0 files not backed up: \"" + docs + "\"").substr(0, 100),
          "Verifying complete: 3 archives tested, 0 damaged, 0 files not backed up.", ""}));
}

TEST_F(VerifyTest, EveryKindOfDamageIsFoundAndNamed) {
  const std::string docs = Path("src/Docs");
  MakeTree(docs, {
                     {"flipped.bin", RandomBytes(40000, 2), UtcTime(2021, 1, 1, 1, 1, 1)},
                     {"cut.bin", RandomBytes(40000, 3), UtcTime(2021, 1, 1, 1, 1, 2)},
                     {"good.txt", "good", UtcTime(2021, 1, 1, 1, 1, 3)},
                     {"other.txt", "other", UtcTime(2021, 1, 1, 1, 1, 4)},
                 });
  BackUp(docs);
  ASSERT_TRUE(catalogue_.AddFolder("P", docs, "*; ", true, 6));
  const std::string dir = store_ + docs;
  std::string flipped = ReadBytes(dir + "/flipped.bin.ZIP");
  for (std::size_t k = 20000; k < 20010; ++k) flipped[k] = static_cast<char>(~flipped[k]);
  WriteText(dir + "/flipped.bin.ZIP", flipped);
  const std::string cut = ReadBytes(dir + "/cut.bin.ZIP");
  WriteText(dir + "/cut.bin.ZIP", cut.substr(0, cut.size() / 2));
  WriteText(dir + "/nozip.txt.ZIP", "not an archive at all");
  WriteText(docs + "/nozip.txt", "x");
  SetTimes(docs + "/nozip.txt", TimesOf(dir + "/nozip.txt.ZIP").lastAccess,
           TimesOf(dir + "/nozip.txt.ZIP").lastWrite);
  // other.txt's archive under the name of a file it does not hold.
  fs::rename(dir + "/other.txt.ZIP", dir + "/renamed.txt.ZIP");
  fs::remove(docs + "/other.txt");

  const restore::VerifyResult result = Verify();

  ASSERT_EQ(result.folders.size(), 1u);
  EXPECT_EQ(result.ArchivesTested(), 5);
  std::vector<std::string> names;
  for (const auto& d : result.folders[0].damaged) names.push_back(fs::path(d.path).filename());
  EXPECT_EQ(names, (std::vector<std::string>{"cut.bin.ZIP", "flipped.bin.ZIP", "nozip.txt.ZIP",
                                             "renamed.txt.ZIP"}));
  EXPECT_EQ(result.folders[0].damaged[2].reason, "Incomplete Zip File");
  EXPECT_EQ(result.folders[0].damaged[3].reason,
            "its entry is named \"other.txt\", not \"renamed.txt\"");
  EXPECT_EQ(result.folders[0].damaged[1].reason,
            "its data does not match the stored CRC-32 and size");
  EXPECT_EQ(observer_.damaged.size(), 4u);
  EXPECT_FALSE(result.Sound());
  const auto log = LogTexts();
  EXPECT_EQ(std::vector<std::string>(log.begin() + 2, log.begin() + 6),
            (std::vector<std::string>{
                "Damaged archive \"cut.bin.ZIP\"!", "Damaged archive \"flipped.bin.ZIP\"!",
                "Damaged archive \"nozip.txt.ZIP\"!", "Damaged archive \"renamed.txt.ZIP\"!"}));
  // The report lists them with their reasons, and cuts a long list.
  const std::string report = restore::VerifyReport("P", result, 1, 0);
  EXPECT_NE(report.find("  damaged: " + dir + "/cut.bin.ZIP ("), std::string::npos) << report;
  EXPECT_NE(report.find("  ... and 3 more\n"), std::string::npos) << report;
  EXPECT_EQ(report.find("flipped"), std::string::npos) << report;
}

TEST_F(VerifyTest, CountsExactlyTheFilesTheNextBackupWouldStore) {
  const std::string docs = Path("src/Docs");
  MakeTree(docs, {
                     {"same.txt", "same", UtcTime(2021, 1, 1, 10, 5, 0)},
                     {"touched.txt", "touched", UtcTime(2021, 1, 1, 10, 5, 0)},
                     {"changed.txt", "changed", UtcTime(2021, 1, 1, 10, 5, 0)},
                     {"skip.tmp", "excluded", UtcTime(2021, 1, 1, 10, 5, 0)},
                 });
  BackUp(docs);
  ASSERT_TRUE(catalogue_.AddFolder("P", docs, "*.tmp; ", false, 6));
  // Within the archive's minute: the next run skips it. In the next minute: stored.
  SetTimes(docs + "/touched.txt", UtcTime(2021, 1, 1, 10, 5, 59), UtcTime(2021, 1, 1, 10, 5, 59));
  SetTimes(docs + "/changed.txt", UtcTime(2021, 1, 1, 10, 6, 0), UtcTime(2021, 1, 1, 10, 6, 0));
  WriteText(docs + "/new/fresh.txt", "new");
  WriteText(docs + "/new.tmp", "excluded and new");
  WriteText(docs + "/.git/config", "dot-directories are not walked");
  fs::remove(docs + "/same.txt");  // gone from the source: nothing to store

  const restore::VerifyResult result = Verify();

  ASSERT_EQ(result.folders.size(), 1u);
  EXPECT_EQ(result.folders[0].notBackedUpFiles,
            (std::vector<std::string>{docs + "/changed.txt", docs + "/new/fresh.txt"}));
  EXPECT_EQ(result.Damaged(), 0);
  EXPECT_TRUE(result.Sound());  // nothing damaged: files waiting for a backup are no fault
  EXPECT_FALSE(fs::exists(store_ + docs + "/new"));  // the walk created nothing
}

TEST_F(VerifyTest, AStoreInsideTheTreeIsNotCounted) {
  const std::string root = Path("home");
  ASSERT_TRUE(catalogue_.UpdateProject("P", "P", root + "/backup", false));
  MakeTree(root, {{"a.txt", "a", UtcTime(2021, 1, 1, 1, 1, 1)}});
  ASSERT_TRUE(catalogue_.AddFolder("P", root, "*; ", true, 6));
  // An archive in the store below the tree, from another minute than its file: a walk that
  // entered the store would count the archive itself as a file to back up.
  WriteText(root + "/backup" + root + "/a.txt.ZIP", "stands for an archive");
  const restore::VerifyResult result = Verify();
  ASSERT_EQ(result.folders.size(), 1u);
  EXPECT_EQ(result.folders[0].notBackedUpFiles, std::vector<std::string>{root + "/a.txt"});

  // The same store named through a link to the tree: still known, by device and inode.
  fs::create_directory_symlink(root, Path("link"));
  ASSERT_TRUE(catalogue_.UpdateProject("P", "P", Path("link") + "/backup", false));
  WriteText(Path("link") + "/backup" + root + "/a.txt.ZIP", "stands for an archive");
  const restore::VerifyResult linked = Verify();
  ASSERT_EQ(linked.folders.size(), 1u);
  EXPECT_EQ(linked.folders[0].notBackedUpFiles, std::vector<std::string>{root + "/a.txt"});
}

TEST_F(VerifyTest, MissingBackupsAndUnknownProjectsAreNotSound) {
  ASSERT_TRUE(catalogue_.AddFolder("P", Path("src/Never"), "*; ", true, 6));
  WriteText(Path("src/Never/a.txt"), "a");

  const restore::VerifyResult result = Verify();
  ASSERT_EQ(result.folders.size(), 1u);
  EXPECT_FALSE(result.folders[0].backupFound);
  EXPECT_EQ(result.folders[0].notBackedUpFiles.size(), 1u);
  EXPECT_FALSE(result.Sound());
  EXPECT_EQ(LogTexts()[1], "No backup of folder \"" + Path("src/Never") + "\" found!");

  const restore::VerifyResult unknown = Verify("Nobody");
  EXPECT_FALSE(unknown.projectFound);
  EXPECT_FALSE(unknown.Sound());
  EXPECT_EQ(restore::VerifyReport("Nobody", unknown, 5, 5), "Can't find project \"Nobody\"!\n");

  // A store folder that is the root would have the user's own "*.zip" files tested.
  WriteText(Path("src/Never/mine.zip"), "the user's own file");
  ASSERT_TRUE(catalogue_.UpdateProject("P", "P", "/", false));
  catalogue_.ClearLog();
  const restore::VerifyResult root = Verify();
  EXPECT_FALSE(root.refusal.empty());
  EXPECT_TRUE(root.folders.empty());
  EXPECT_FALSE(root.Sound());
  EXPECT_EQ(LogTexts(), (std::vector<std::string>{"Verifying project \"P\"...", root.refusal, ""}));
}

}  // namespace
}  // namespace restore_test
