// The switch interpreter against a host that records what it is asked: which runs the
// switches start with which choices, what they refuse and say, and that one failing switch
// leaves the later ones acting. The real program runs the same interpreter in
// tests/app/unattended_run_test.cpp and command_line_run_test.cpp.
#include "console/switches.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "catalogue/catalogue_error.h"
#include "tests/support/files.h"
#include "tests/support/records.h"

namespace {

using console::RunOutcome;

class RecordingHost : public console::SwitchHost {
 public:
  std::vector<std::string> calls;  // in order: what was asked, with its argument
  std::vector<restore::RestoreRequest> restores;
  RunOutcome worst = RunOutcome::Complete;
  std::function<void()> onBackUp;  // what "Start!" does (may throw)
  restore::VerifyResult verifyResult;
  bool restoreSucceeds = true;

  void ShowProject(const std::string& name) override { calls.push_back("show " + name); }
  void BackUpCurrent() override {
    calls.push_back("backup");
    if (onBackUp) onBackUp();
  }
  void BackUpAll() override { calls.push_back("backup all"); }
  restore::RestoreTotals Restore(const restore::RestoreRequest& request) override {
    calls.push_back("restore " + request.projectName);
    restores.push_back(request);
    restore::RestoreTotals totals;
    totals.failed = restoreSucceeds ? 0 : 1;
    return totals;
  }
  restore::VerifyResult Verify(const std::string& project) override {
    calls.push_back("verify " + project);
    return verifyResult;
  }
  void ChooseWorkers(int workers) override {
    calls.push_back("workers " + std::to_string(workers));
  }
  void ShowMessage(const std::string& text, const std::string& caption) override {
    calls.push_back("box " + caption + " " + text);
  }
  void ShowError(const std::string& text) override { calls.push_back("error " + text); }
  void Report(const std::string& line) override { calls.push_back("report " + line); }
  void RequestEnd() override { calls.push_back("end"); }
  void NoteOutcome(RunOutcome outcome) override { worst = std::max(worst, outcome); }
};

class SwitchRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(
        catalogue_.OpenCatalogue(dir_ / "Rpoject.vrn", dir_ / "Folder.vrn", dir_ / "Log.vrn"));
    ASSERT_TRUE(catalogue_.AddProject("DOCS", dir_ / "store", false));
    ASSERT_TRUE(catalogue_.AddFolder("DOCS", "/home/u/Docs", "", false, 6));
  }
  void TearDown() override { catalogue_.CloseCatalogue(); }
  void Run(const std::vector<std::string>& arguments) {
    console::TSwitchRun(catalogue_, host_).Run(arguments);
  }
  std::vector<std::string> LogTexts() const { return testsupport::ReadLogTexts(dir_ / "Log.vrn"); }

  testsupport::TempDir dir_;
  catalogue::TCatalogue catalogue_;
  RecordingHost host_;
};

TEST_F(SwitchRunTest, FolderAndTargetServeOneRestoreWhileTheOptionStays) {
  Run({"/o:refresh", "/F:/home/u/Docs", "/T:/mnt/Back Here", "/r:docs", "/R:Docs", "/O:rewrite",
       "/f:/home/u/Docs", "/R:DOCS"});
  EXPECT_EQ(host_.calls, (std::vector<std::string>{"show DOCS", "restore DOCS", "show DOCS",
                                                   "restore DOCS", "show DOCS", "restore DOCS"}));
  ASSERT_EQ(host_.restores.size(), 3u);
  for (const restore::RestoreRequest& request : host_.restores) EXPECT_FALSE(request.prompt);
  EXPECT_TRUE(host_.restores[0].selectedFolderOnly);
  EXPECT_EQ(host_.restores[0].selectedFolder, "/home/u/Docs");
  EXPECT_EQ(host_.restores[0].destination, "/mnt/Back Here");  // letter case kept
  EXPECT_EQ(host_.restores[0].option, restore::RestoreOption::Refresh);
  EXPECT_FALSE(host_.restores[1].selectedFolderOnly);
  EXPECT_EQ(host_.restores[1].option, restore::RestoreOption::Refresh);
  // Without /T: the folder goes back where it came from.
  EXPECT_TRUE(host_.restores[2].selectedFolderOnly);
  EXPECT_EQ(host_.restores[2].destination, "/home/u/Docs");
  EXPECT_EQ(host_.restores[2].option, restore::RestoreOption::RewriteAll);
  EXPECT_EQ(host_.worst, RunOutcome::Complete);
}

TEST_F(SwitchRunTest, RefusedSwitchesAreSaidAndCountedAndTheNextOnesAct) {
  Run({"/T:/mnt/x", "/R:DOCS", "/O:sideways", "/W:0", "/W:33", "/W:x1", "/W:2", "/F:/elsewhere",
       "/R:DOCS", "/L:ghost", "/L:docs", "/P:", "/ALL"});
  EXPECT_EQ(
      host_.calls,
      (std::vector<std::string>{
          "box Error! /T: needs /F: to name the folder to restore: \"/R:DOCS\" refused!",
          "box Error! Unknown restore option \"sideways\": use /O:REWRITE, /O:MISSED or "
          "/O:REFRESH!",
          "box Error! Unknown number of files at once \"0\": use /W:1 to /W:32!",
          "box Error! Unknown number of files at once \"33\": use /W:1 to /W:32!",
          "box Error! Unknown number of files at once \"x1\": use /W:1 to /W:32!", "workers 2",
          "show DOCS", "box Error! Folder \"/elsewhere\" is not in project \"DOCS\"!", "show GHOST",
          "box Error! Can't find project \"GHOST\"!", "show DOCS", "show ", "backup",
          "backup all"}));
  EXPECT_EQ(host_.worst, RunOutcome::Incomplete);
  EXPECT_TRUE(host_.restores.empty());
}

TEST_F(SwitchRunTest, AnErrorEndsItsSwitchOnlyAndADamagedCatalogueCountsWorst) {
  const catalogue::ECatalogueError damaged("Folder.vrn", "read",
                                           std::make_error_code(std::errc::io_error), "", true);
  int backups = 0;
  host_.onBackUp = [&] {
    if (++backups == 1) throw std::runtime_error("disk gone");
    throw damaged;
  };
  Run({"/P:DOCS", "/L:DOCS", "/P:DOCS", "/EXIT"});
  EXPECT_EQ(host_.calls, (std::vector<std::string>{"show DOCS", "backup", "error disk gone",
                                                   "show DOCS", "show DOCS", "backup",
                                                   std::string("error ") + damaged.what(), "end"}));
  EXPECT_EQ(host_.worst, RunOutcome::CatalogueFailed);
  const std::vector<std::string> log = LogTexts();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0], "Running with command line \"/P:DOCS /L:DOCS /P:DOCS /EXIT\"...");
  EXPECT_EQ(log[1], "Exiting by command line parameter.");
}

TEST_F(SwitchRunTest, VerifyReportsEveryDamagedArchiveAndEveryMissingBackup) {
  restore::FolderVerifyResult missing;
  missing.path = "/home/u/Docs";
  missing.backupFolder = "/store/home/u/Docs";
  restore::FolderVerifyResult damaged;
  damaged.path = "/home/u/Mail";
  damaged.backupFound = true;
  damaged.archivesTested = 30;
  for (int i = 0; i < 25; ++i) {
    damaged.damaged.push_back({"/store/m" + std::to_string(i) + ".ZIP", "CRC error"});
  }
  host_.verifyResult.projectFound = true;
  host_.verifyResult.folders = {missing, damaged};
  testing::internal::CaptureStdout();
  Run({"/V:docs"});
  const std::string out = testing::internal::GetCapturedStdout();
  // Every damaged archive is named, past the 20 the window's box lists.
  EXPECT_NE(out.find("/store/m24.ZIP"), std::string::npos) << out;
  ASSERT_EQ(host_.calls.size(), 2u + 1u + 25u);
  EXPECT_EQ(host_.calls[1], "verify DOCS");
  EXPECT_EQ(host_.calls[2], "report " + restore::NoBackupLine(missing));
  EXPECT_EQ(host_.calls.back(), "report " + restore::DamagedArchiveLine(damaged.damaged.back()));
  EXPECT_EQ(host_.worst, RunOutcome::Incomplete);

  // A refused project says why in a box and prints no report.
  host_.calls.clear();
  host_.verifyResult = {};
  host_.verifyResult.refusal = "Project \"NONE\" not found!";
  testing::internal::CaptureStdout();
  Run({"/V:none"});
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(host_.calls.back(), "box Error! Project \"NONE\" not found!");
}

TEST_F(SwitchRunTest, ARestoreThatLeftSomethingCountsAsIncomplete) {
  Run({"/R:DOCS"});
  EXPECT_EQ(host_.worst, RunOutcome::Complete);
  host_.restoreSucceeds = false;
  Run({"/R:DOCS"});
  EXPECT_EQ(host_.worst, RunOutcome::Incomplete);
}

}  // namespace
