// Protects what a restored file carries and where it lands while the run holds each
// directory open: the archive's permission bits and its last-access and last-write times to
// the 100 ns, whether the file was there before or not, with one worker and with several;
// a destination directory that the user removes or moves while the run goes on; and a link
// at the target, which the decision of "Append missed" counts by what it points to.
#include <sys/stat.h>

#include <filesystem>
#include <map>

#include "restore_fixture.h"
#include "store/placement.h"
#include "tests/support/files.h"
#include "tests/support/peers.h"

namespace fs = std::filesystem;

namespace restore_test {
namespace {

using restore::ReplaceAnswer;
using restore::RestoreOption;

std::uint32_t ModeOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(lstat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
}

class RestoredFiles : public RestoreTest, public ::testing::WithParamInterface<int> {
 protected:
  void SetUp() override {
    RestoreTest::SetUp();
    if (GetParam() > 1) run_->SetWorkers(GetParam(), MakeUnpacker);
  }
};

TEST_P(RestoredFiles, TakeTheArchivesModeAndExactTimesNewOrReplaced) {
  const std::string folder = Path("src/M");
  const auto files = MakeTree(
      folder, {
                  {"plain.txt", "plain", UtcTime(2021, 2, 3, 4, 5, 6, 1234567)},
                  {"script.sh", "#!/bin/sh\n", UtcTime(2019, 7, 8, 9, 10, 11, 9999999)},
                  {"private.key", testsupport::RandomBytes(5000, 5), UtcTime(2018, 1, 1, 0, 0, 1, 1)},
                  {"frozen.txt", "read only", UtcTime(2017, 12, 31, 23, 59, 59, 7654321)},
                  {"sub/deep.bin", testsupport::RandomBytes(70000, 6), UtcTime(2016, 6, 6, 6, 6, 6, 6)},
              });
  const std::map<std::string, std::uint32_t> modes = {{"plain.txt", 0644},
                                                      {"script.sh", 0751},
                                                      {"private.key", 0600},
                                                      {"frozen.txt", 0444},
                                                      {"sub/deep.bin", 0640}};
  for (const auto& [name, mode] : modes) {
    ASSERT_EQ(chmod((folder + "/" + name).c_str(), mode), 0) << name;
  }
  BackUp(folder);
  ASSERT_TRUE(catalogue_.AddFolder("P", folder, "*; ", true, 6));
  // Two files are there already, with other bytes, modes and times; the rest are missing.
  fs::remove_all(folder);
  WriteText(folder + "/plain.txt", "the user's newer plain");
  ASSERT_EQ(chmod((folder + "/plain.txt").c_str(), 0666), 0);
  WriteText(folder + "/sub/deep.bin", "short");
  ASSERT_EQ(chmod((folder + "/sub/deep.bin").c_str(), 0600), 0);
  SetTimes(folder + "/sub/deep.bin", UtcTime(2030, 1, 1, 0, 0, 0), UtcTime(2030, 1, 1, 0, 0, 0));

  Run({.prompt = false, .option = RestoreOption::RewriteAll});

  ExpectTree(folder, files);
  for (const auto& [name, mode] : modes) EXPECT_EQ(ModeOf(folder + "/" + name), mode) << name;
  EXPECT_EQ(run_->Totals().unpacked, 5);
  EXPECT_EQ(TreeListing(folder),
            (std::vector<std::string>{"d sub/", "f frozen.txt", "f plain.txt", "f private.key",
                                      "f script.sh", "f sub/deep.bin"}));
}

TEST_P(RestoredFiles, DestinationRemovedWhileTheRunAsksIsMadeAgain) {
  const std::string folder = Path("src/R");
  const auto files = MakeTree(folder, {
                                          {"d/a.txt", "first", UtcTime(2020, 1, 1, 1, 1, 1, 1)},
                                          {"d/b.txt", "second", UtcTime(2020, 1, 1, 1, 1, 2, 2)},
                                          {"d/c.txt", "third", UtcTime(2020, 1, 1, 1, 1, 3, 3)},
                                      });
  BackUp(folder);
  ASSERT_TRUE(catalogue_.AddFolder("P", folder, "*; ", true, 6));
  const std::string dest = Path("elsewhere");
  observer_.answers = {ReplaceAnswer::Yes, ReplaceAnswer::Yes, ReplaceAnswer::Yes};
  // Before b is unpacked the user removes the directory a went to.
  observer_.whileAsked = [&](int question) {
    if (question == 2) fs::remove_all(dest + "/d");
  };

  Run({.selectedFolderOnly = true,
       .selectedFolder = folder,
       .destination = dest,
       .prompt = true,
       .option = RestoreOption::RewriteAll});

  EXPECT_EQ(TreeListing(dest), (std::vector<std::string>{"d d/", "f d/b.txt", "f d/c.txt"}));
  ExpectTree(dest, {files[1], files[2]});
  EXPECT_EQ(run_->Totals().unpacked, 3);
  EXPECT_EQ(run_->Totals().failed, 0);
}

TEST_P(RestoredFiles, DestinationMovedWhileTheRunAsksKeepsReceivingItsFiles) {
  // The run holds the directory it restores into: the rest of its files follow it to where
  // the user moved it, none goes to a new directory at the old place.
  const std::string folder = Path("src/V");
  const auto files = MakeTree(folder, {
                                          {"d/a.txt", "first", UtcTime(2020, 1, 1, 1, 1, 1, 1)},
                                          {"d/b.txt", "second", UtcTime(2020, 1, 1, 1, 1, 2, 2)},
                                          {"e/c.txt", "third", UtcTime(2020, 1, 1, 1, 1, 3, 3)},
                                      });
  BackUp(folder);
  ASSERT_TRUE(catalogue_.AddFolder("P", folder, "*; ", true, 6));
  const std::string dest = Path("elsewhere");
  observer_.answers = {ReplaceAnswer::Yes, ReplaceAnswer::Yes, ReplaceAnswer::Yes};
  observer_.whileAsked = [&](int question) {
    if (question == 2) fs::rename(dest + "/d", dest + "/moved");
  };

  Run({.selectedFolderOnly = true,
       .selectedFolder = folder,
       .destination = dest,
       .prompt = true,
       .option = RestoreOption::RewriteAll});

  EXPECT_EQ(TreeListing(dest), (std::vector<std::string>{"d e/", "d moved/", "f e/c.txt",
                                                         "f moved/a.txt", "f moved/b.txt"}));
  ExpectTree(dest + "/moved", {{"a.txt", "first", files[0].lastWrite, files[0].lastAccess},
                               {"b.txt", "second", files[1].lastWrite, files[1].lastAccess}});
  EXPECT_EQ(run_->Totals().unpacked, 3);
}

TEST_P(RestoredFiles, AppendMissedCountsALinkAtTheTargetByWhatItPointsTo) {
  const std::string folder = Path("src/K");
  const auto files = MakeTree(folder, {
                                          {"linked.txt", "archived linked", UtcTime(2020, 2, 2, 2, 2, 2)},
                                          {"dangling.txt", "archived dangling", UtcTime(2020, 2, 2, 2, 2, 3)},
                                      });
  BackUp(folder);
  ASSERT_TRUE(catalogue_.AddFolder("P", folder, "*; ", true, 6));
  fs::remove_all(folder);
  fs::create_directories(folder);
  WriteText(Path("real.txt"), "the user's file");
  fs::create_symlink(Path("real.txt"), folder + "/linked.txt");
  fs::create_symlink(Path("nowhere.txt"), folder + "/dangling.txt");

  Run({.prompt = false, .option = RestoreOption::AppendMissed});

  // The link to a file is a file the destination holds; the dangling one is missing, and the
  // restored file takes its place.
  EXPECT_TRUE(fs::is_symlink(folder + "/linked.txt"));
  EXPECT_EQ(ReadBytes(Path("real.txt")), "the user's file");
  EXPECT_FALSE(fs::is_symlink(folder + "/dangling.txt"));
  ExpectTree(folder, {files[1]});
  EXPECT_EQ(LogTexts(), (std::vector<std::string>{
                            "Starting restore process...", "Restoring folder \"" + folder + "\"...",
                            "File \"dangling.txt.ZIP\" was unpacked.",
                            "Folder \"" + folder + "\" restored.", "Restoring complette!", ""}));
}

TEST_P(RestoredFiles, InANewDestinationWhatTheRunMadeThereStillCounts) {
  // The destination is new: only the run's own files and directories can be in the way.
  // An archive named after a subdirectory fails on the directory, and of two archives with
  // one target the later replaces the file of the first.
  const std::string folder = Path("src/N");
  const auto files = MakeTree(folder, {
                                          {"x/inner.txt", "inside x", UtcTime(2020, 3, 3, 3, 3, 3)},
                                          {"t", "upper", UtcTime(2020, 3, 3, 3, 3, 4)},
                                          {"u", "lower", UtcTime(2020, 3, 3, 3, 3, 5)},
                                      });
  BackUp(folder);
  ASSERT_TRUE(catalogue_.AddFolder("P", folder, "*; ", true, 6));
  const std::string backup = store_ + folder;
  const std::string other = Path("src/O");
  MakeTree(other, {{"x", "a file x", UtcTime(2020, 3, 3, 3, 3, 6)}});
  BackUp(other);
  fs::copy_file(store_ + other + "/x.ZIP", backup + "/x.ZIP");
  fs::rename(backup + "/u.ZIP", backup + "/t.zip");  // holds "u", restored as "t"
  const std::string dest = Path("new/place");

  Run({.selectedFolderOnly = true,
       .selectedFolder = folder,
       .destination = dest,
       .prompt = false,
       .option = RestoreOption::RewriteAll});

  EXPECT_EQ(TreeListing(dest),
            (std::vector<std::string>{"d x/", "f t", "f u", "f x/inner.txt"}));
  ExpectTree(dest, {files[0]});
  EXPECT_EQ(ReadBytes(dest + "/u"), "lower");
  EXPECT_EQ(ReadBytes(dest + "/t"), "upper");
  EXPECT_EQ(LogTexts(), (std::vector<std::string>{
                            "Starting restore process...", "Restoring folder \"" + dest + "\"...",
                            "File \"t.ZIP\" was unpacked.", "File \"t.zip\" was unpacked.",
                            "File \"inner.txt.ZIP\" was unpacked.",
                            "Error unpacking file \"x.ZIP\"!", "Folder \"" + dest + "\" restored.",
                            "Restoring complette!", ""}));
}

// An archive renamed in the store ("a.txt.ZIP" holding "zzz.txt") restores its own file; the
// user's "a.txt" keeps its times, so that it does not pass for the archived version.
TEST_P(RestoredFiles, AnArchiveWhoseFileHasAnotherNameLeavesTheTargetAlone) {
  const std::string folder = Path("src/N");
  const auto files = MakeTree(folder, {{"zzz.txt", "inside", UtcTime(2020, 5, 5, 5, 5, 5, 50)}});
  BackUp(folder);
  ASSERT_TRUE(catalogue_.AddFolder("P", folder, "*; ", true, 6));
  const std::string archives = store::BackupFolder(store_, folder);
  fs::rename(archives + "/zzz.txt.ZIP", archives + "/a.txt.ZIP");
  fs::remove_all(folder);
  WriteText(folder + "/a.txt", "the user's own");
  const platform::FileTime mine = UtcTime(2031, 3, 3, 3, 3, 3);
  SetTimes(folder + "/a.txt", mine, mine);

  Run({.prompt = false, .option = RestoreOption::RewriteAll});

  // The times first: reading the file moves its access time.
  EXPECT_EQ(TimesOf(folder + "/a.txt").lastWrite, mine);
  EXPECT_EQ(TimesOf(folder + "/a.txt").lastAccess, mine);
  EXPECT_EQ(testsupport::ReadText(folder + "/zzz.txt"), "inside");
  EXPECT_EQ(testsupport::ReadText(folder + "/a.txt"), "the user's own");
}

INSTANTIATE_TEST_SUITE_P(ParallelAndSerial, RestoredFiles, ::testing::Values(1, 4),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return info.param == 1 ? std::string("OneWorker")
                                                  : std::to_string(info.param) + "Workers";
                         });

}  // namespace
}  // namespace restore_test
