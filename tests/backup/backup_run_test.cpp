// Protects the backup run's contract with the catalogue, the log and its observer: the log
// texts in their order, every folder reached marked stored, Cancel between folders and per
// project, the "Unable to process file" box, and above all that a failed store never
// destroys the previous archive of a file. The writer is replaced by a scripted archiver so
// that every way a store can fail can be provoked.
#include "backup/backup_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "tests/backup/record_reader.h"
#include "tests/backup/test_tree.h"

namespace fs = std::filesystem;
using backup_test::ReadFile;
using backup_test::ReadLogTexts;
using backup_test::TempDir;
using backup_test::WriteFile;

namespace {

// Writes "ARCHIVE:" + the source's content, or fails as scripted per file name.
class ScriptedArchiver : public backup::Archiver {
 public:
  enum class Outcome { Store, ReturnZero, Throw, ThrowAfterPartialWrite };
  std::function<Outcome(const std::string& sourcePath)> script = [](const std::string&) {
    return Outcome::Store;
  };
  std::vector<std::string> zipNames;
  std::vector<int> levels;

  int StoreOne(const std::string& zipName, const std::string& sourcePath, int level) override {
    zipNames.push_back(zipName);
    levels.push_back(level);
    EXPECT_FALSE(fs::exists(zipName)) << "the writer must get a name that does not exist";
    switch (script(sourcePath)) {
      case Outcome::Store:
        WriteFile(zipName, "ARCHIVE:" + ReadFile(sourcePath));
        return 1;
      case Outcome::ReturnZero:
        WriteFile(zipName, "EMPTY");
        return 0;
      case Outcome::Throw:
        throw std::runtime_error("read error");
      case Outcome::ThrowAfterPartialWrite:
        WriteFile(zipName, "PARTIAL");
        throw std::runtime_error("disk full");
    }
    return 0;
  }
};

// Records every observer call as a line; cancels when told to.
class ScriptedObserver : public backup::BackupObserver {
 public:
  std::vector<std::string> calls;
  std::vector<std::string> messages;
  std::function<void(const std::string& path)> onFolderStarted;
  bool cancel = false;
  int pumps = 0;

  void RunStarted(const std::string& project, int folderCount) override {
    cancel = false;
    calls.push_back("RunStarted " + project + " " + std::to_string(folderCount));
  }
  void FolderStarted(const std::string& path) override {
    calls.push_back("FolderStarted " + path);
    if (onFolderStarted) onFolderStarted(path);
  }
  void FileAttempted(const std::string& filePath) override {
    calls.push_back("FileAttempted " + filePath);
  }
  void FolderFinished() override { calls.push_back("FolderFinished"); }
  void RunFinished(const std::string& project) override {
    calls.push_back("RunFinished " + project);
  }
  void PumpMessages() override { ++pumps; }
  bool CancelRequested() override { return cancel; }
  void ShowMessage(const std::string& text) override { messages.push_back(text); }
};

class BackupRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(
        catalogue_.OpenCatalogue(dir_ / "Rpoject.vrn", dir_ / "Folder.vrn", dir_ / "Log.vrn"));
  }
  void TearDown() override { catalogue_.CloseCatalogue(); }

  std::vector<std::string> Log() { return ReadLogTexts(dir_ / "Log.vrn"); }
  std::string Src(const std::string& rel) { return dir_ / ("src/" + rel); }
  std::string Store() { return dir_ / "store"; }
  // Where the placement rule puts the archive of src/<rel>.
  std::string ArchiveOf(const std::string& rel) { return Store() + Src(rel) + ".ZIP"; }

  TempDir dir_{"vrn-run"};
  catalogue::TCatalogue catalogue_;
  ScriptedArchiver archiver_;
  ScriptedObserver observer_;
  backup::BackupRun run_{catalogue_, archiver_, observer_};
};

TEST_F(BackupRunTest, LogsEveryStepInOrderAndPlacesArchives) {
  WriteFile(Src("a/one.txt"), "1");
  WriteFile(Src("a/sub/two.txt"), "22");
  WriteFile(Src("b/three.txt"), "333");
  ASSERT_TRUE(catalogue_.AddProject("Home", Store(), false));
  ASSERT_TRUE(catalogue_.AddFolder("Home", Src("a"), "", false, 3));
  ASSERT_TRUE(catalogue_.AddFolder("Home", Src("b"), "", false, 9));

  run_.ProcessProject("Home");

  EXPECT_EQ(Log(), (std::vector<std::string>{
                       "Starting process for \"Home\"...",
                       "Processing folder \"" + Src("a") + "\"...",
                       "File \"" + Src("a/one.txt") + "\" was succefully stored.",
                       "File \"" + Src("a/sub/two.txt") + "\" was succefully stored.",
                       "Folder \"" + Src("a") + "\" processed.",
                       "Processing folder \"" + Src("b") + "\"...",
                       "File \"" + Src("b/three.txt") + "\" was succefully stored.",
                       "Folder \"" + Src("b") + "\" processed.",
                       "Process comleted!",
                       "",
                   }));
  EXPECT_EQ(ReadFile(ArchiveOf("a/one.txt")), "ARCHIVE:1");
  EXPECT_EQ(ReadFile(ArchiveOf("a/sub/two.txt")), "ARCHIVE:22");
  EXPECT_EQ(ReadFile(ArchiveOf("b/three.txt")), "ARCHIVE:333");
  EXPECT_EQ(archiver_.levels, (std::vector<int>{3, 3, 9}));
  EXPECT_EQ(observer_.calls, (std::vector<std::string>{
                                 "RunStarted Home 2",
                                 "FolderStarted " + Src("a"),
                                 "FileAttempted " + Src("a/one.txt"),
                                 "FileAttempted " + Src("a/sub/two.txt"),
                                 "FolderFinished",
                                 "FolderStarted " + Src("b"),
                                 "FileAttempted " + Src("b/three.txt"),
                                 "FolderFinished",
                                 "RunFinished Home",
                             }));
  EXPECT_EQ(run_.Totals().stored, 3);
  EXPECT_EQ(run_.Totals().failed, 0);
  for (const auto& folder : backup_test::ReadFolderFile(dir_ / "Folder.vrn")) {
    EXPECT_GT(folder.lastStored, 0.0) << folder.path;
  }
}

TEST_F(BackupRunTest, ArchiveCarriesTheSourcesTimesAndASecondRunStoresNothing) {
  WriteFile(Src("a/one.txt"), "1");
  backup_test::SetMtime(Src("a/one.txt"), 1709633720, 123456700);
  ASSERT_TRUE(catalogue_.AddProject("Home", Store(), false));
  ASSERT_TRUE(catalogue_.AddFolder("Home", Src("a"), "", false, 6));
  run_.ProcessProject("Home");
  EXPECT_EQ(backup_test::MtimeNs(ArchiveOf("a/one.txt")), 1709633720123456700LL);
  EXPECT_FALSE(fs::exists(ArchiveOf("a/one.txt") + backup::kTemporarySuffix));

  const std::size_t before = Log().size();
  run_.ProcessProject("Home");
  const std::vector<std::string> log = Log();
  EXPECT_EQ(std::vector<std::string>(log.begin() + before, log.end()),
            (std::vector<std::string>{
                "Starting process for \"Home\"...", "Processing folder \"" + Src("a") + "\"...",
                "Folder \"" + Src("a") + "\" processed.", "Process comleted!", ""}));
  EXPECT_EQ(archiver_.zipNames.size(), 1u);
}

struct FailureCase {
  ScriptedArchiver::Outcome outcome;
  bool fileAttempted;  // the File field is written when the writer did not fail outright
  const char* name;
};

class StoreFailure : public BackupRunTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(StoreFailure, KeepsThePreviousArchiveAndLogsNotStored) {
  WriteFile(Src("a/doc.txt"), "version 1");
  backup_test::SetMtime(Src("a/doc.txt"), 1709633720);
  ASSERT_TRUE(catalogue_.AddProject("Home", Store(), false));
  ASSERT_TRUE(catalogue_.AddFolder("Home", Src("a"), "", false, 6));
  run_.ProcessProject("Home");
  ASSERT_EQ(ReadFile(ArchiveOf("a/doc.txt")), "ARCHIVE:version 1");

  WriteFile(Src("a/doc.txt"), "version 2");
  backup_test::SetMtime(Src("a/doc.txt"), 1709633720 + 60);
  archiver_.script = [&](const std::string&) { return GetParam().outcome; };
  observer_.calls.clear();
  run_.ProcessProject("Home");

  EXPECT_EQ(ReadFile(ArchiveOf("a/doc.txt")), "ARCHIVE:version 1");
  EXPECT_EQ(backup_test::MtimeNs(ArchiveOf("a/doc.txt")), 1709633720LL * 1000000000LL);
  EXPECT_FALSE(fs::exists(ArchiveOf("a/doc.txt") + backup::kTemporarySuffix));
  const std::vector<std::string> log = Log();
  ASSERT_GE(log.size(), 3u);
  EXPECT_EQ(log[log.size() - 4], "Can't store file \"" + Src("a/doc.txt") + "\"!");
  EXPECT_EQ(run_.Totals().failed, 1);
  const bool attempted = std::find(observer_.calls.begin(), observer_.calls.end(),
                                   "FileAttempted " + Src("a/doc.txt")) != observer_.calls.end();
  EXPECT_EQ(attempted, GetParam().fileAttempted);
  EXPECT_TRUE(observer_.messages.empty()) << "RaiseErrors is clear";
  // Not stored means selected again: a third run tries once more.
  archiver_.script = [](const std::string&) { return ScriptedArchiver::Outcome::Store; };
  run_.ProcessProject("Home");
  EXPECT_EQ(ReadFile(ArchiveOf("a/doc.txt")), "ARCHIVE:version 2");
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, StoreFailure,
    ::testing::Values(FailureCase{ScriptedArchiver::Outcome::ReturnZero, true, "ReturnZero"},
                      FailureCase{ScriptedArchiver::Outcome::Throw, false, "Throw"},
                      FailureCase{ScriptedArchiver::Outcome::ThrowAfterPartialWrite, false,
                                  "ThrowAfterPartialWrite"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(BackupRunTest, RaiseErrorsShowsOneBoxPerFailedFileAndGoesOn) {
  WriteFile(Src("a/bad1.txt"), "x");
  WriteFile(Src("a/good.txt"), "y");
  WriteFile(Src("a/sub/bad2.txt"), "z");
  ASSERT_TRUE(catalogue_.AddProject("Home", Store(), true));
  ASSERT_TRUE(catalogue_.AddFolder("Home", Src("a"), "", false, 6));
  archiver_.script = [](const std::string& path) {
    return path.find("bad") != std::string::npos ? ScriptedArchiver::Outcome::Throw
                                                 : ScriptedArchiver::Outcome::Store;
  };
  run_.ProcessProject("Home");
  const std::string target = Store() + Src("a");
  EXPECT_EQ(observer_.messages,
            (std::vector<std::string>{"Unable to process file \"" + target + "/bad1.txt\"",
                                      "Unable to process file \"" + target + "/sub/bad2.txt\""}));
  EXPECT_TRUE(fs::exists(ArchiveOf("a/good.txt")));
  EXPECT_EQ(run_.Totals().stored, 1);
  EXPECT_EQ(run_.Totals().failed, 2);
}

TEST_F(BackupRunTest, CancelDuringTheSecondOfThreeFoldersFinishesThatFolderOnly) {
  for (const char* f : {"f1", "f2", "f3"}) WriteFile(Src(std::string(f) + "/x.txt"), f);
  ASSERT_TRUE(catalogue_.AddProject("Home", Store(), false));
  for (const char* f : {"f1", "f2", "f3"}) {
    ASSERT_TRUE(catalogue_.AddFolder("Home", Src(f), "", false, 6));
  }
  observer_.onFolderStarted = [&](const std::string& path) {
    if (path == Src("f2")) observer_.cancel = true;
  };
  run_.ProcessProject("Home");
  EXPECT_EQ(Log(), (std::vector<std::string>{
                       "Starting process for \"Home\"...",
                       "Processing folder \"" + Src("f1") + "\"...",
                       "File \"" + Src("f1/x.txt") + "\" was succefully stored.",
                       "Folder \"" + Src("f1") + "\" processed.",
                       "Processing folder \"" + Src("f2") + "\"...",
                       "File \"" + Src("f2/x.txt") + "\" was succefully stored.",
                       "Folder \"" + Src("f2") + "\" processed.",
                       "Process comleted!",
                       "",
                   }));
  const auto folders = backup_test::ReadFolderFile(dir_ / "Folder.vrn");
  ASSERT_EQ(folders.size(), 3u);
  EXPECT_GT(folders[0].lastStored, 0.0);
  EXPECT_GT(folders[1].lastStored, 0.0);
  EXPECT_EQ(folders[2].lastStored, 0.0);
  EXPECT_FALSE(fs::exists(Store() + Src("f3")));
  EXPECT_EQ(observer_.calls.back(), "RunFinished Home");
}

TEST_F(BackupRunTest, CancelDuringAllProjectsEndsOnlyTheProjectInProgress) {
  for (const char* f : {"p1a", "p1b", "p2a", "p2b"}) WriteFile(Src(std::string(f) + "/x"), f);
  ASSERT_TRUE(catalogue_.AddProject("P1", Store(), false));
  ASSERT_TRUE(catalogue_.AddProject("P2", Store(), false));
  ASSERT_TRUE(catalogue_.AddFolder("P1", Src("p1a"), "", false, 6));
  ASSERT_TRUE(catalogue_.AddFolder("P1", Src("p1b"), "", false, 6));
  ASSERT_TRUE(catalogue_.AddFolder("P2", Src("p2a"), "", false, 6));
  ASSERT_TRUE(catalogue_.AddFolder("P2", Src("p2b"), "", false, 6));
  observer_.onFolderStarted = [&](const std::string& path) {
    if (path == Src("p1a")) observer_.cancel = true;
  };
  run_.ProcessAllProjects();
  EXPECT_EQ(observer_.calls, (std::vector<std::string>{
                                 "RunStarted P1 2",
                                 "FolderStarted " + Src("p1a"),
                                 "FileAttempted " + Src("p1a/x"),
                                 "FolderFinished",
                                 "RunFinished P1",
                                 "RunStarted P2 2",
                                 "FolderStarted " + Src("p2a"),
                                 "FileAttempted " + Src("p2a/x"),
                                 "FolderFinished",
                                 "FolderStarted " + Src("p2b"),
                                 "FileAttempted " + Src("p2b/x"),
                                 "FolderFinished",
                                 "RunFinished P2",
                             }));
  const std::vector<std::string> log = Log();
  EXPECT_EQ(std::count(log.begin(), log.end(), "Process comleted!"), 2);
  EXPECT_FALSE(fs::exists(ArchiveOf("p1b/x")));
  EXPECT_TRUE(fs::exists(ArchiveOf("p2b/x")));
}

TEST_F(BackupRunTest, ProjectWithoutFoldersAndUnknownProjectLogOnlyTheFrame) {
  ASSERT_TRUE(catalogue_.AddProject("Empty", Store(), false));
  run_.ProcessProject("Empty");
  run_.ProcessProject("NoSuchProject");
  EXPECT_EQ(Log(), (std::vector<std::string>{
                       "Starting process for \"Empty\"...", "Process comleted!", "",
                       "Starting process for \"NoSuchProject\"...", "Process comleted!", ""}));
  EXPECT_EQ(observer_.calls,
            (std::vector<std::string>{"RunStarted Empty 0", "RunFinished Empty",
                                      "RunStarted NoSuchProject 0", "RunFinished NoSuchProject"}));
}

TEST_F(BackupRunTest, MissingSourceFolderIsStillMarkedAndItsBackupFolderCreated) {
  ASSERT_TRUE(catalogue_.AddProject("Home", Store(), false));
  ASSERT_TRUE(catalogue_.AddFolder("Home", Src("gone"), "", false, 6));
  run_.ProcessProject("Home");
  EXPECT_TRUE(fs::is_directory(Store() + Src("gone")));
  EXPECT_GT(backup_test::ReadFolderFile(dir_ / "Folder.vrn")[0].lastStored, 0.0);
  EXPECT_EQ(Log()[2], "Folder \"" + Src("gone") + "\" processed.");
}

TEST_F(BackupRunTest, StoreFolderInsideTheSourceTreeIsLeftOut) {
  WriteFile(Src("a.txt"), "a");
  WriteFile(Src("sub/b.txt"), "b");
  ASSERT_TRUE(catalogue_.AddProject("Home", Src("backups"), false));
  ASSERT_TRUE(catalogue_.AddFolder("Home", Src(""), "", false, 6));
  run_.ProcessProject("Home");
  run_.ProcessProject("Home");
  EXPECT_EQ(run_.Totals().stored, 2);
  EXPECT_EQ(archiver_.zipNames.size(), 2u);
}

TEST_F(BackupRunTest, StoreFolderEqualToTheSourceFolderDoesNotWalkItsMirror) {
  WriteFile(Src("a.txt"), "a");
  ASSERT_TRUE(catalogue_.AddProject("Home", dir_ / "src", false));
  ASSERT_TRUE(catalogue_.AddFolder("Home", dir_ / "src", "", false, 6));
  run_.ProcessProject("Home");
  run_.ProcessProject("Home");
  EXPECT_EQ(archiver_.zipNames.size(), 1u);
  EXPECT_TRUE(fs::exists(dir_ / ("src" + dir_.path() + "/src/a.txt.ZIP")));
}

TEST_F(BackupRunTest, CatalogueErrorEndsTheRunAfterRemovingTheProgressWindow) {
  WriteFile(Src("a/x"), "x");
  ASSERT_TRUE(catalogue_.AddProject("Home", Store(), false));
  ASSERT_TRUE(catalogue_.AddFolder("Home", Src("a"), "", false, 6));
  ASSERT_TRUE(catalogue_.AddFolder("Home", Src("b"), "", false, 6));
  observer_.onFolderStarted = [&](const std::string&) { catalogue_.CloseCatalogue(); };
  EXPECT_THROW(run_.ProcessProject("Home"), catalogue::ECatalogueError);
  EXPECT_EQ(observer_.calls.back(), "RunFinished Home");
  EXPECT_EQ(archiver_.zipNames.size(), 0u);
  ASSERT_TRUE(
      catalogue_.OpenCatalogue(dir_ / "Rpoject.vrn", dir_ / "Folder.vrn", dir_ / "Log.vrn"));
}

TEST_F(BackupRunTest, LongLogTextsAreCutByTheLogNotByTheRun) {
  const std::string deep = "d" + std::string(120, 'x');
  WriteFile(Src(deep + "/f.txt"), "f");
  ASSERT_TRUE(catalogue_.AddProject("Home", Store(), false));
  ASSERT_TRUE(catalogue_.AddFolder("Home", Src(deep), "", false, 6));
  run_.ProcessProject("Home");
  const std::string full = "File \"" + Src(deep + "/f.txt") + "\" was succefully stored.";
  EXPECT_EQ(Log()[2], full.substr(0, 100));
}

}  // namespace
