// Protects the backup run's contract with the catalogue, the log and its observer: the log
// texts in their order, every folder reached marked stored, Cancel between folders and per
// project, the "Unable to process file" box, and above all that a failed store never
// destroys the previous archive of a file, and that nothing fails without being counted
// and said in words (a file changed while stored, a folder not read, a project refused).
// The writer is replaced by a scripted archiver so that every way a store can fail can be
// provoked.
#include "backup/backup_run.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "backup/temporary.h"
#include "catalogue/catalogue.h"
#include "platform/file_info.h"
#include "tests/support/files.h"
#include "tests/support/records.h"

namespace fs = std::filesystem;
using testsupport::ReadText;
using testsupport::ReadLogTexts;
using testsupport::TempDir;
using testsupport::WriteText;

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

  int StoreOne(platform::File&& archive, platform::File&& source, int level) override {
    const std::string zipName = archive.Path();
    zipNames.push_back(zipName);
    levels.push_back(level);
    EXPECT_EQ(fs::file_size(zipName), 0u) << "the writer must get a new, empty file";
    const auto put = [&archive](const std::string& text) {
      ASSERT_FALSE(archive.Write(text.data(), text.size()));
    };
    switch (script(source.Path())) {
      case Outcome::Store: {
        std::string content(source.OpenedInfo().size, '\0');
        std::size_t got = 0;
        EXPECT_FALSE(source.Read(content.data(), content.size(), got));
        put("ARCHIVE:" + content.substr(0, got));
        return 1;
      }
      case Outcome::ReturnZero:
        put("EMPTY");
        return 0;
      case Outcome::Throw:
        throw std::runtime_error("read error");
      case Outcome::ThrowAfterPartialWrite:
        put("PARTIAL");
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
  void ShowError(const std::string& text) override { errors.push_back(text); }
  void ReportFailure(const std::string& line) override { reports.push_back(line); }
  std::vector<std::string> errors;
  std::vector<std::string> reports;
};

// The names in dir that only an interrupted or running store makes.
std::vector<std::string> TemporaryNames(const std::string& dir) {
  std::vector<std::string> found;
  if (!fs::is_directory(dir)) return found;
  for (const auto& entry : fs::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    if (name.find(".vrn-tmp") != std::string::npos) found.push_back(name);
  }
  return found;
}

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

  TempDir dir_;
  catalogue::TCatalogue catalogue_;
  ScriptedArchiver archiver_;
  ScriptedObserver observer_;
  backup::BackupRun run_{catalogue_, archiver_, observer_};
};

TEST_F(BackupRunTest, LogsEveryStepInOrderAndPlacesArchives) {
  WriteText(Src("a/one.txt"), "1");
  WriteText(Src("a/sub/two.txt"), "22");
  WriteText(Src("b/three.txt"), "333");
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
  EXPECT_EQ(ReadText(ArchiveOf("a/one.txt")), "ARCHIVE:1");
  EXPECT_EQ(ReadText(ArchiveOf("a/sub/two.txt")), "ARCHIVE:22");
  EXPECT_EQ(ReadText(ArchiveOf("b/three.txt")), "ARCHIVE:333");
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
  for (const auto& folder : testsupport::ReadFolderFile(dir_ / "Folder.vrn")) {
    EXPECT_GT(folder.lastStored, 0.0) << folder.path;
  }
}

TEST_F(BackupRunTest, ArchiveCarriesTheSourcesTimesAndASecondRunStoresNothing) {
  WriteText(Src("a/one.txt"), "1");
  testsupport::SetMtime(Src("a/one.txt"), 1709633720, 123456700);
  ASSERT_TRUE(catalogue_.AddProject("Home", Store(), false));
  ASSERT_TRUE(catalogue_.AddFolder("Home", Src("a"), "", false, 6));
  run_.ProcessProject("Home");
  EXPECT_EQ(testsupport::MtimeNs(ArchiveOf("a/one.txt")), 1709633720123456700LL);
  EXPECT_TRUE(TemporaryNames(Store() + Src("a")).empty());

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
  const char* reason;  // what standard error says after the file name
  const char* name;
};

class StoreFailure : public BackupRunTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(StoreFailure, KeepsThePreviousArchiveAndLogsNotStored) {
  WriteText(Src("a/doc.txt"), "version 1");
  testsupport::SetMtime(Src("a/doc.txt"), 1709633720);
  ASSERT_TRUE(catalogue_.AddProject("Home", Store(), false));
  ASSERT_TRUE(catalogue_.AddFolder("Home", Src("a"), "", false, 6));
  run_.ProcessProject("Home");
  ASSERT_EQ(ReadText(ArchiveOf("a/doc.txt")), "ARCHIVE:version 1");

  WriteText(Src("a/doc.txt"), "version 2");
  testsupport::SetMtime(Src("a/doc.txt"), 1709633720 + 60);
  archiver_.script = [&](const std::string&) { return GetParam().outcome; };
  observer_.calls.clear();
  run_.ProcessProject("Home");

  EXPECT_EQ(ReadText(ArchiveOf("a/doc.txt")), "ARCHIVE:version 1");
  EXPECT_EQ(testsupport::MtimeNs(ArchiveOf("a/doc.txt")), 1709633720LL * 1000000000LL);
  EXPECT_TRUE(TemporaryNames(Store() + Src("a")).empty());
  EXPECT_EQ(observer_.reports, (std::vector<std::string>{"Can't store file \"" + Src("a/doc.txt") +
                                                         "\": " + GetParam().reason}));
  EXPECT_FALSE(run_.Totals().Complete());
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
  EXPECT_EQ(ReadText(ArchiveOf("a/doc.txt")), "ARCHIVE:version 2");
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, StoreFailure,
    ::testing::Values(FailureCase{ScriptedArchiver::Outcome::ReturnZero, true,
                                  "the archive writer did not store it", "ReturnZero"},
                      FailureCase{ScriptedArchiver::Outcome::Throw, false, "read error", "Throw"},
                      FailureCase{ScriptedArchiver::Outcome::ThrowAfterPartialWrite, false,
                                  "disk full", "ThrowAfterPartialWrite"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(BackupRunTest, RaiseErrorsShowsOneBoxPerFailedFileAndGoesOn) {
  WriteText(Src("a/bad1.txt"), "x");
  WriteText(Src("a/good.txt"), "y");
  WriteText(Src("a/sub/bad2.txt"), "z");
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
  for (const char* f : {"f1", "f2", "f3"}) WriteText(Src(std::string(f) + "/x.txt"), f);
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
  const auto folders = testsupport::ReadFolderFile(dir_ / "Folder.vrn");
  ASSERT_EQ(folders.size(), 3u);
  EXPECT_GT(folders[0].lastStored, 0.0);
  EXPECT_GT(folders[1].lastStored, 0.0);
  EXPECT_EQ(folders[2].lastStored, 0.0);
  EXPECT_FALSE(fs::exists(Store() + Src("f3")));
  EXPECT_EQ(observer_.calls.back(), "RunFinished Home");
}

TEST_F(BackupRunTest, CancelDuringAllProjectsEndsOnlyTheProjectInProgress) {
  for (const char* f : {"p1a", "p1b", "p2a", "p2b"}) WriteText(Src(std::string(f) + "/x"), f);
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

TEST_F(BackupRunTest, ProjectWithoutFoldersLogsTheFrameAndUnknownProjectIsRefused) {
  // Regression: an unknown name (a typo in a scheduler's line) used to run as an empty
  // project, "Process comleted!" and all.
  ASSERT_TRUE(catalogue_.AddProject("Empty", Store(), false));
  run_.ProcessProject("Empty");
  EXPECT_TRUE(run_.Totals().Complete());
  run_.ProcessProject("NoSuchProject");
  EXPECT_EQ(Log(),
            (std::vector<std::string>{"Starting process for \"Empty\"...", "Process comleted!", "",
                                      "Starting process for \"NoSuchProject\"...",
                                      "Can't find project \"NoSuchProject\"!", ""}));
  EXPECT_EQ(observer_.calls, (std::vector<std::string>{"RunStarted Empty 0", "RunFinished Empty"}));
  EXPECT_EQ(observer_.errors, (std::vector<std::string>{"Can't find project \"NoSuchProject\"!"}));
  EXPECT_EQ(run_.Totals().projectsRefused, 1);
  EXPECT_FALSE(run_.Totals().Complete());
}

TEST_F(BackupRunTest, MissingSourceFolderIsReportedNotMarkedAndTheNextFolderStillRuns) {
  // Regression: an unmounted disk was logged as processed and marked stored.
  WriteText(Src("b/x.txt"), "x");
  ASSERT_TRUE(catalogue_.AddProject("Home", Store(), false));
  ASSERT_TRUE(catalogue_.AddFolder("Home", Src("gone"), "", false, 6));
  ASSERT_TRUE(catalogue_.AddFolder("Home", Src("b"), "", false, 6));
  run_.ProcessProject("Home");
  const auto folders = testsupport::ReadFolderFile(dir_ / "Folder.vrn");
  EXPECT_EQ(folders[0].lastStored, 0.0);
  EXPECT_GT(folders[1].lastStored, 0.0);
  EXPECT_EQ(Log(), (std::vector<std::string>{
                       "Starting process for \"Home\"...",
                       "Processing folder \"" + Src("gone") + "\"...",
                       "Can't read folder \"" + Src("gone") + "\"!",
                       "Processing folder \"" + Src("b") + "\"...",
                       "File \"" + Src("b/x.txt") + "\" was succefully stored.",
                       "Folder \"" + Src("b") + "\" processed.",
                       "Process comleted!",
                       "",
                   }));
  EXPECT_EQ(observer_.reports, (std::vector<std::string>{"Can't read folder \"" + Src("gone") +
                                                         "\": No such file or directory"}));
  EXPECT_EQ(run_.Totals().foldersFailed, 1);
  EXPECT_FALSE(run_.Totals().Complete());
}

TEST_F(BackupRunTest, ProjectsWithoutAUsableStoreFolderAreRefusedBeforeAnyWalk) {
  WriteText(Src("a/x.txt"), "x");
  fs::create_symlink("/", dir_ / "rootlink");
  const std::vector<std::string> refused = {
      "", "/", "/.", "/..", "//", "/tmp/..", dir_ / "rootlink", dir_ / "rootlink/."};
  int n = 0;
  for (const std::string& store : refused) {
    const std::string project = "P" + std::to_string(n++);
    ASSERT_TRUE(catalogue_.AddProject(project, store, true));
    ASSERT_TRUE(catalogue_.AddFolder(project, Src("a"), "", false, 6));
  }
  run_.ProcessAllProjects();
  EXPECT_TRUE(archiver_.zipNames.empty());
  EXPECT_TRUE(observer_.calls.empty()) << "no progress window for a refused project";
  EXPECT_EQ(run_.Totals().projectsRefused, static_cast<int>(refused.size()));
  ASSERT_EQ(observer_.errors.size(), refused.size());
  EXPECT_EQ(observer_.errors[0], "Project \"P0\" has no folder to store!");
  EXPECT_EQ(observer_.errors[2], "Folder to store \"/.\" of project \"P2\" is the root folder!");
  const std::vector<std::string> log = Log();
  EXPECT_EQ(std::count(log.begin(), log.end(), observer_.errors[2]), 1);
  EXPECT_EQ(std::count(log.begin(), log.end(), "Process comleted!"), 0);
  for (const auto& folder : testsupport::ReadFolderFile(dir_ / "Folder.vrn")) {
    EXPECT_EQ(folder.lastStored, 0.0);
  }
  EXPECT_FALSE(fs::exists(Src("a/x.txt.ZIP")));
}

TEST_F(BackupRunTest, FileThatGrowsWhileStoredKeepsItsOldArchiveAndIsStoredNextRun) {
  WriteText(Src("a/log.txt"), "line 1\n");
  testsupport::SetMtime(Src("a/log.txt"), 1709633720);
  ASSERT_TRUE(catalogue_.AddProject("Home", Store(), true));
  ASSERT_TRUE(catalogue_.AddFolder("Home", Src("a"), "", false, 6));
  run_.ProcessProject("Home");
  ASSERT_EQ(ReadText(ArchiveOf("a/log.txt")), "ARCHIVE:line 1\n");

  // The next store reads the file, and the file grows before the store ends: the archive
  // would hold a content the file never had at its recorded time.
  WriteText(Src("a/log.txt"), "line 1\nline 2\n");
  testsupport::SetMtime(Src("a/log.txt"), 1709633720 + 60);
  archiver_.script = [&](const std::string& path) {
    std::ofstream(path, std::ios::app) << "line 3\n";
    return ScriptedArchiver::Outcome::Store;
  };
  const std::size_t mark = Log().size();
  run_.ProcessProject("Home");
  EXPECT_EQ(ReadText(ArchiveOf("a/log.txt")), "ARCHIVE:line 1\n");
  EXPECT_EQ(testsupport::MtimeNs(ArchiveOf("a/log.txt")), 1709633720LL * 1000000000LL);
  EXPECT_TRUE(TemporaryNames(Store() + Src("a")).empty());
  const std::vector<std::string> log = Log();
  EXPECT_EQ(log[mark + 2], "File \"" + Src("a/log.txt") + "\" changed while being stored!");
  EXPECT_EQ(observer_.reports, (std::vector<std::string>{"Can't store file \"" + Src("a/log.txt") +
                                                         "\": changed while being stored"}));
  EXPECT_EQ(observer_.messages.size(), 1u) << "RaiseErrors shows the box as for any failure";
  EXPECT_EQ(run_.Totals().failed, 1);

  // Left alone, the file is stored whole by the next run.
  archiver_.script = [](const std::string&) { return ScriptedArchiver::Outcome::Store; };
  run_.ProcessProject("Home");
  EXPECT_EQ(ReadText(ArchiveOf("a/log.txt")), "ARCHIVE:line 1\nline 2\nline 3\n");
}

TEST(FileChangedWhileRead, AnyDifferenceInSizeTimeOrIdentityCounts) {
  platform::FileInfo base;
  base.size = 1000;
  base.lastWriteNs = 1709633720123456789LL;
  base.device = 7;
  base.inode = 42;
  struct Case {
    const char* what;
    std::function<void(platform::FileInfo&)> change;
    bool changed;
  };
  const std::vector<Case> cases = {
      {"nothing", [](platform::FileInfo&) {}, false},
      {"access time only", [](platform::FileInfo& i) { i.times.lastAccess += 1; }, false},
      {"one byte longer", [](platform::FileInfo& i) { i.size += 1; }, true},
      {"truncated", [](platform::FileInfo& i) { i.size = 0; }, true},
      {"one nanosecond later", [](platform::FileInfo& i) { i.lastWriteNs += 1; }, true},
      {"an earlier time", [](platform::FileInfo& i) { i.lastWriteNs -= 1000000000; }, true},
      {"replaced by rename", [](platform::FileInfo& i) { i.inode += 1; }, true},
      {"another device", [](platform::FileInfo& i) { i.device += 1; }, true},
  };
  for (const Case& c : cases) {
    platform::FileInfo after = base;
    c.change(after);
    EXPECT_EQ(backup::FileChangedWhileRead(base, after), c.changed) << c.what;
  }
}

TEST_F(BackupRunTest, StaleTemporaryFilesInWalkedDirectoriesAreRemoved) {
  WriteText(Src("a/keep.txt"), "k");
  WriteText(Src("a/sub/x.txt"), "x");
  const std::string target = Store() + Src("a");
  // Leftovers of killed runs, for files that are gone, in both forms; and names that only
  // look alike.
  WriteText(target + "/.vrn-tmp.Ab3dE9", "partial");
  WriteText(target + "/sub/.vrn-tmp.zzzzzz", "partial");
  WriteText(target + "/renamed.txt.ZIP.vrn-tmp", "partial");
  WriteText(target + "/.vrn-tmp.longer-name", "not ours");
  WriteText(target + "/notes.vrn-tmp", "not ours");
  ASSERT_TRUE(catalogue_.AddProject("Home", Store(), false));
  ASSERT_TRUE(catalogue_.AddFolder("Home", Src("a"), "", false, 6));
  run_.ProcessProject("Home");
  EXPECT_FALSE(fs::exists(target + "/.vrn-tmp.Ab3dE9"));
  EXPECT_FALSE(fs::exists(target + "/sub/.vrn-tmp.zzzzzz"));
  EXPECT_FALSE(fs::exists(target + "/renamed.txt.ZIP.vrn-tmp"));
  EXPECT_TRUE(fs::exists(target + "/.vrn-tmp.longer-name"));
  EXPECT_TRUE(fs::exists(target + "/notes.vrn-tmp"));
  EXPECT_TRUE(run_.Totals().Complete());
  // The temporary names the writer got were short and lay in the archive's directory.
  for (const std::string& zipName : archiver_.zipNames) {
    EXPECT_EQ(fs::path(zipName).filename().string().size(), 15u) << zipName;
    EXPECT_TRUE(backup::IsTemporaryName(fs::path(zipName).filename().string())) << zipName;
  }
  EXPECT_EQ(fs::path(archiver_.zipNames[0]).parent_path().string(), target);
}

TEST_F(BackupRunTest, LongestNameTheFileSystemTakesIsStoredAndALongerOneIsReported) {
  // The archive adds ".ZIP": a 251-byte name gives a 255-byte archive name, the longest
  // there is. A 252-byte name cannot have an archive, and says why.
  const std::string longest(251, 'n');
  const std::string tooLong(252, 'm');
  WriteText(Src("a/" + longest), "longest");
  WriteText(Src("a/" + tooLong), "too long");
  ASSERT_TRUE(catalogue_.AddProject("Home", Store(), false));
  ASSERT_TRUE(catalogue_.AddFolder("Home", Src("a"), "", false, 6));
  run_.ProcessProject("Home");
  EXPECT_EQ(ReadText(ArchiveOf("a/" + longest)), "ARCHIVE:longest");
  EXPECT_EQ(run_.Totals().stored, 1);
  EXPECT_EQ(run_.Totals().failed, 1);
  ASSERT_EQ(observer_.reports.size(), 1u);
  EXPECT_NE(observer_.reports[0].find(tooLong + "\": "), std::string::npos);
  EXPECT_NE(observer_.reports[0].find("File name too long"), std::string::npos)
      << observer_.reports[0];
  EXPECT_TRUE(TemporaryNames(Store() + Src("a")).empty());
}

TEST_F(BackupRunTest, StoreFolderInsideTheSourceTreeIsLeftOut) {
  WriteText(Src("a.txt"), "a");
  WriteText(Src("sub/b.txt"), "b");
  ASSERT_TRUE(catalogue_.AddProject("Home", Src("backups"), false));
  ASSERT_TRUE(catalogue_.AddFolder("Home", Src(""), "", false, 6));
  run_.ProcessProject("Home");
  run_.ProcessProject("Home");
  EXPECT_EQ(run_.Totals().stored, 2);
  EXPECT_EQ(archiver_.zipNames.size(), 2u);
}

TEST_F(BackupRunTest, StoreFolderEqualToTheSourceFolderDoesNotWalkItsMirror) {
  WriteText(Src("a.txt"), "a");
  ASSERT_TRUE(catalogue_.AddProject("Home", dir_ / "src", false));
  ASSERT_TRUE(catalogue_.AddFolder("Home", dir_ / "src", "", false, 6));
  run_.ProcessProject("Home");
  run_.ProcessProject("Home");
  EXPECT_EQ(archiver_.zipNames.size(), 1u);
  EXPECT_TRUE(fs::exists(dir_ / ("src" + dir_.Path() + "/src/a.txt.ZIP")));
}

TEST_F(BackupRunTest, StoreFolderReachedThroughALinkIntoTheTreeIsNeverWalked) {
  // Regression: a store folder named through a link into the source tree was walked and
  // archived into itself, one level deeper every run (one.txt.ZIP.ZIP...).
  WriteText(Src("one.txt"), "1");
  WriteText(Src("sub/two.txt"), "2");
  fs::create_directories(Src("backups"));
  fs::create_directory_symlink(Src("backups"), dir_ / "storelink");
  ASSERT_TRUE(catalogue_.AddProject("Home", dir_ / "storelink", false));
  ASSERT_TRUE(catalogue_.AddFolder("Home", Src(""), "", false, 6));
  for (int k = 0; k < 3; ++k) run_.ProcessProject("Home");
  EXPECT_EQ(archiver_.zipNames.size(), 2u);
  for (const std::string& zipName : archiver_.zipNames) {
    EXPECT_EQ(zipName.find(Src("backups")), std::string::npos) << zipName;
  }
  EXPECT_TRUE(fs::exists(Src("backups") + Src("one.txt") + ".ZIP"));
  EXPECT_TRUE(run_.Totals().Complete());
}

TEST_F(BackupRunTest, SourceFolderNamedThroughALinkDoesNotWalkTheStoreInsideIt) {
  WriteText(Src("one.txt"), "1");
  fs::create_directory_symlink(dir_ / "src", dir_ / "srclink");
  ASSERT_TRUE(catalogue_.AddProject("Home", Src("backups"), false));
  ASSERT_TRUE(catalogue_.AddFolder("Home", dir_ / "srclink", "", false, 6));
  for (int k = 0; k < 3; ++k) run_.ProcessProject("Home");
  EXPECT_EQ(archiver_.zipNames.size(), 1u);
  EXPECT_TRUE(fs::exists(Src("backups") + dir_.Path() + "/srclink/one.txt.ZIP"));
}

TEST_F(BackupRunTest, CatalogueErrorEndsTheRunAfterRemovingTheProgressWindow) {
  WriteText(Src("a/x"), "x");
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
  WriteText(Src(deep + "/f.txt"), "f");
  ASSERT_TRUE(catalogue_.AddProject("Home", Store(), false));
  ASSERT_TRUE(catalogue_.AddFolder("Home", Src(deep), "", false, 6));
  run_.ProcessProject("Home");
  const std::string full = "File \"" + Src(deep + "/f.txt") + "\" was succefully stored.";
  EXPECT_EQ(Log()[2], full.substr(0, 100));
}

}  // namespace
