// Protects the main window's side of a backup run and its other Processing and Help
// commands: Start! and Start all projects drive the engine with the progress window, the
// "Unable to process file" box and Cancel; the commands that would touch the catalogue or
// start another run are held back while a run goes on and come back afterwards; the
// command-line switches act left to right with their log entries; View log, Command line...
// and About... open their windows. The engine's own rules are tested in tests/backup; here
// what matters is the wiring a user sees. Offscreen platform, scripted boxes; the record
// files are read byte by byte.
#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>

#include "app/main_form.h"
#include "catalogue/catalogue.h"
#include "dialogs/about_form.h"
#include "dialogs/form_util.h"
#include "dialogs/log_form.h"
#include "dialogs/progress_form.h"
#include "dialogs/switch_form.h"
#include "tests/dialogs/scripted_prompter.h"
#include "tests/support/records.h"

namespace {

namespace fs = std::filesystem;
using testing_support::WhenModal;

// The progress windows the main window owns (the form class has no meta-object of its own,
// so findChildren cannot tell it from other widgets).
std::vector<dialogs::TProgressForm*> ProgressWindows(const QWidget* owner) {
  std::vector<dialogs::TProgressForm*> found;
  for (QWidget* child : owner->findChildren<QWidget*>()) {
    if (auto* progress = dynamic_cast<dialogs::TProgressForm*>(child)) found.push_back(progress);
  }
  return found;
}

// Lets a test look at the window while a run is going: the "Unable to process file" box
// is the moment the run hands control to the user.
class HookedPrompter : public testing_support::ScriptedPrompter {
 public:
  std::function<void()> onMessage;
  void ShowMessage(QWidget* parent, const QString& text, const QString& caption) override {
    ScriptedPrompter::ShowMessage(parent, text, caption);
    if (onMessage) onMessage();
  }
};

class BackupCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir.isValid()); }
  void TearDown() override { form.reset(); }

  std::string Path(const std::string& rel) const { return dir.path().toStdString() + "/" + rel; }
  std::string Store() const { return Path("store"); }
  std::string ArchiveOf(const std::string& rel) const { return Store() + Path(rel) + ".ZIP"; }
  std::vector<std::string> Log() const { return testsupport::ReadLogTexts(Path("Log.vrn")); }
  static void Write(const std::string& path, const std::string& text) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
  }

  // Projects written before the window starts, as earlier sessions would have.
  void Prepare(const std::function<void(catalogue::TCatalogue&)>& fill) {
    catalogue::TCatalogue cat;
    ASSERT_TRUE(cat.OpenCatalogue(Path("Rpoject.vrn"), Path("Folder.vrn"), Path("Log.vrn")));
    fill(cat);
    cat.CloseCatalogue();
  }
  void Start(const QStringList& arguments = {}) {
    form = std::make_unique<app::TMainForm>(
        catalogue, prompter, dir.filePath(QStringLiteral("Vrnh.ini")), dir.path(), arguments);
    form->show();
  }
  void Show(const QString& project) {
    form->CurrentProject = project;
    form->LoadProject(project);
  }
  void ExpectCommandsBack() const {
    for (QMenu* menu :
         {form->ProjectMenu, form->ProcessingMenu, form->CleaningMenu, form->HelpMenu}) {
      EXPECT_TRUE(menu->menuAction()->isEnabled()) << menu->title().toStdString();
    }
    EXPECT_TRUE(form->centralWidget()->isEnabled());
    EXPECT_TRUE(form->Button9->isEnabled());
    EXPECT_TRUE(ProgressWindows(form.get()).empty());
  }

  QTemporaryDir dir;
  HookedPrompter prompter;
  catalogue::TCatalogue catalogue;
  std::unique_ptr<app::TMainForm> form;
};

TEST_F(BackupCommandsTest, StartWithoutAProjectOnlyBeeps) {
  Start();
  form->Button6Click();
  EXPECT_EQ(prompter.beeps, 1);
  EXPECT_TRUE(Log().empty());
}

TEST_F(BackupCommandsTest, StartStoresTheProjectAndShowsTheNewLastStored) {
  Write(Path("src/a.txt"), "a");
  Prepare([&](catalogue::TCatalogue& cat) {
    ASSERT_TRUE(cat.AddProject("Docs", Store(), false));
    ASSERT_TRUE(cat.AddFolder("Docs", Path("src"), "", false, 6));
  });
  Start();
  Show(QStringLiteral("Docs"));
  ASSERT_EQ(form->ListView1->topLevelItem(0)->text(3), QStringLiteral("N/A"));
  form->Start1->trigger();
  EXPECT_TRUE(fs::is_regular_file(ArchiveOf("src/a.txt")));
  EXPECT_NE(form->ListView1->topLevelItem(0)->text(3), QStringLiteral("N/A"));
  EXPECT_EQ(form->windowTitle(), QStringLiteral("Varnholt v0.1b - Docs"));
  EXPECT_EQ(Log().back(), "");
  EXPECT_TRUE(prompter.boxes.empty());
  ExpectCommandsBack();
  EXPECT_TRUE(form->Start1->isEnabled());
  EXPECT_TRUE(form->FolderMenu->menuAction()->isEnabled());
}

TEST_F(BackupCommandsTest, DuringARunCommandsAreHeldBackAndCancelEndsItAfterTheFolder) {
  Write(Path("one/bad.txt"), "cannot be stored");
  Write(Path("one/good.txt"), "stored");
  Write(Path("two/later.txt"), "never reached");
  // A non-empty directory where the new archive must go blocks the store.
  fs::create_directories(ArchiveOf("one/bad.txt") + "/blocker");
  Prepare([&](catalogue::TCatalogue& cat) {
    ASSERT_TRUE(cat.AddProject("Docs", Store(), true));
    ASSERT_TRUE(cat.AddFolder("Docs", Path("one"), "", false, 6));
    ASSERT_TRUE(cat.AddFolder("Docs", Path("two"), "", false, 6));
  });
  Start();
  Show(QStringLiteral("Docs"));
  bool looked = false;
  prompter.onMessage = [&] {
    looked = true;
    for (QMenu* menu :
         {form->ProjectMenu, form->FolderMenu, form->ProcessingMenu, form->CleaningMenu}) {
      EXPECT_FALSE(menu->menuAction()->isEnabled()) << menu->title().toStdString();
    }
    EXPECT_TRUE(form->HelpMenu->menuAction()->isEnabled());
    EXPECT_FALSE(form->Button1->isEnabled());
    EXPECT_FALSE(form->Button9->isEnabled());
    EXPECT_FALSE(form->ListView1->isEnabled());
    const auto windows = ProgressWindows(form.get());
    ASSERT_EQ(windows.size(), 1u);
    dialogs::TProgressForm* progress = windows.front();
    EXPECT_TRUE(progress->isVisible());
    EXPECT_EQ(progress->Panel1->Text(), QStringLiteral("Docs"));
    EXPECT_EQ(progress->Panel2->Text(), dir.path() + QStringLiteral("/one"));
    EXPECT_EQ(progress->ProgressBar1->maximum(), 2);
    QTest::mouseClick(progress->Button1, Qt::LeftButton);  // Cancel
    EXPECT_FALSE(progress->isVisible());
  };
  form->Button1->click();
  ASSERT_TRUE(looked);
  ASSERT_EQ(prompter.boxes.size(), 1u);
  EXPECT_EQ(prompter.boxes[0].text,
            "Unable to process file \"" + Store() + Path("one/bad.txt") + "\"");
  EXPECT_EQ(prompter.boxes[0].caption, "app_tests");  // the application's title
  // The folder in progress was finished, the next one not started.
  EXPECT_TRUE(fs::is_regular_file(ArchiveOf("one/good.txt")));
  EXPECT_FALSE(fs::exists(Store() + Path("two")));
  const auto log = Log();
  EXPECT_NE(std::find(log.begin(), log.end(), "Can't store file \"" + Path("one/bad.txt") + "\"!"),
            log.end());
  EXPECT_EQ(log[log.size() - 2], "Process comleted!");
  const auto folders = testsupport::ReadFolderFile(Path("Folder.vrn"));
  EXPECT_GT(folders[0].lastStored, 0.0);
  EXPECT_EQ(folders[1].lastStored, 0.0);
  ExpectCommandsBack();
  EXPECT_TRUE(form->Button1->isEnabled());
}

TEST_F(BackupCommandsTest, StartAllProjectsRunsEachAndReturnsToTheProjectShown) {
  Write(Path("a/x.txt"), "x");
  Write(Path("b/y.txt"), "y");
  Prepare([&](catalogue::TCatalogue& cat) {
    ASSERT_TRUE(cat.AddProject("Alpha", Store(), false));
    ASSERT_TRUE(cat.AddProject("Beta", Store(), false));
    ASSERT_TRUE(cat.AddFolder("Alpha", Path("a"), "", false, 6));
    ASSERT_TRUE(cat.AddFolder("Beta", Path("b"), "", false, 6));
  });
  Start();
  Show(QStringLiteral("Beta"));
  form->Startallprojects1->trigger();
  EXPECT_TRUE(fs::is_regular_file(ArchiveOf("a/x.txt")));
  EXPECT_TRUE(fs::is_regular_file(ArchiveOf("b/y.txt")));
  EXPECT_EQ(form->CurrentProject, QStringLiteral("Beta"));
  EXPECT_EQ(form->windowTitle(), QStringLiteral("Varnholt v0.1b - Beta"));
  const auto log = Log();
  EXPECT_EQ(log.front(), "Starting process for \"Alpha\"...");
  EXPECT_EQ(std::count(log.begin(), log.end(), "Process comleted!"), 2);
  ExpectCommandsBack();
}

TEST_F(BackupCommandsTest, CatalogueErrorDuringStartAllEndsTheRunsAndIsShown) {
  Write(Path("a/bad.txt"), "cannot be stored");
  Write(Path("b/y.txt"), "y");
  fs::create_directories(ArchiveOf("a/bad.txt") + "/blocker");  // blocks the store
  Prepare([&](catalogue::TCatalogue& cat) {
    ASSERT_TRUE(cat.AddProject("Alpha", Store(), true));
    ASSERT_TRUE(cat.AddProject("Beta", Store(), false));
    ASSERT_TRUE(cat.AddFolder("Alpha", Path("a"), "", false, 6));
    ASSERT_TRUE(cat.AddFolder("Beta", Path("b"), "", false, 6));
  });
  Start();
  Show(QStringLiteral("Beta"));
  // The record files go away under the run: its next log entry fails.
  prompter.onMessage = [&] { catalogue.CloseCatalogue(); };
  form->Startallprojects1->trigger();
  ASSERT_EQ(prompter.boxes.size(), 2u);
  EXPECT_EQ(prompter.boxes[0].kind, "message");
  EXPECT_EQ(prompter.boxes[1].kind, "fatal");
  EXPECT_EQ(form->CurrentProject, QStringLiteral("Beta"));
  EXPECT_EQ(form->windowTitle(), QStringLiteral("Varnholt v0.1b - Beta"));
  EXPECT_FALSE(fs::exists(ArchiveOf("b/y.txt")));
  ExpectCommandsBack();
}

TEST_F(BackupCommandsTest, SwitchesActLeftToRightAndExitComesAfterTheRuns) {
  Write(Path("d/f.txt"), "f");
  Prepare([&](catalogue::TCatalogue& cat) {
    ASSERT_TRUE(cat.AddProject("Docs", Store(), false));
    ASSERT_TRUE(cat.AddProject("Mail", Store(), false));
    ASSERT_TRUE(cat.AddFolder("Docs", Path("d"), "", false, 6));
  });
  Start({QStringLiteral("/EXIT"), QStringLiteral("/l:mail"), QStringLiteral("/ALLX"),
         QStringLiteral("/EXITNOW"), QStringLiteral("/p:docs")});
  EXPECT_TRUE(form->EndRequested());
  EXPECT_EQ(form->CurrentProject, QStringLiteral("DOCS"));
  EXPECT_EQ(form->windowTitle(), QStringLiteral("Varnholt v0.1b - DOCS"));
  EXPECT_EQ(form->ExitStatus(), 0);
  const auto log = Log();
  ASSERT_GE(log.size(), 4u);
  EXPECT_EQ(log[0], "Running with command line \"/EXIT /l:mail /ALLX /EXITNOW /p:docs\"...");
  EXPECT_EQ(log[1], "Exiting by command line parameter.");
  EXPECT_EQ(log[2], "Starting process for \"DOCS\"...");
  EXPECT_EQ(std::count(log.begin(), log.end(), "Process comleted!"), 1);
  EXPECT_TRUE(fs::is_regular_file(ArchiveOf("d/f.txt")));
}

TEST_F(BackupCommandsTest, AllSwitchInAnyCaseRunsEveryProject) {
  Prepare([&](catalogue::TCatalogue& cat) {
    ASSERT_TRUE(cat.AddProject("Docs", Store(), false));
    ASSERT_TRUE(cat.AddProject("Mail", Store(), false));
  });
  Start({QStringLiteral("/all")});
  EXPECT_FALSE(form->EndRequested());
  EXPECT_EQ(Log(), (std::vector<std::string>{
                       "Running with command line \"/all\"...", "Starting process for \"Docs\"...",
                       "Process comleted!", "", "Starting process for \"Mail\"...",
                       "Process comleted!", ""}));
}

TEST_F(BackupCommandsTest, FailedStoreFromTheCommandLineGivesExitStatusOne) {
  Write(Path("d/f.txt"), "f");
  fs::create_directories(ArchiveOf("d/f.txt") + "/blocker");  // blocks the store
  Prepare([&](catalogue::TCatalogue& cat) {
    ASSERT_TRUE(cat.AddProject("Docs", Store(), false));
    ASSERT_TRUE(cat.AddFolder("Docs", Path("d"), "", false, 6));
  });
  Start({QStringLiteral("/P:Docs")});
  EXPECT_EQ(form->ExitStatus(), 1);
  EXPECT_TRUE(prompter.boxes.empty()) << "RaiseErrors is clear";
}

TEST_F(BackupCommandsTest, UnknownProjectOnTheCommandLineIsNamedAndGivesExitStatusOne) {
  Write(Path("d/f.txt"), "f");
  Prepare([&](catalogue::TCatalogue& cat) {
    ASSERT_TRUE(cat.AddProject("Docs", Store(), false));
    ASSERT_TRUE(cat.AddFolder("Docs", Path("d"), "", false, 6));
  });
  // A typo in the scheduler's line, then the right project: the good run does not hide
  // the bad switch.
  Start({QStringLiteral("/P:Dosc"), QStringLiteral("/l:nothing"), QStringLiteral("/P:docs")});
  EXPECT_EQ(form->ExitStatus(), 1);
  ASSERT_EQ(prompter.boxes.size(), 2u);
  EXPECT_EQ(prompter.boxes[0].text, "Can't find project \"DOSC\"!");
  EXPECT_EQ(prompter.boxes[0].caption, "Error!");
  EXPECT_EQ(prompter.boxes[1].text, "Can't find project \"NOTHING\"!");
  EXPECT_TRUE(fs::is_regular_file(ArchiveOf("d/f.txt")));
  const auto log = Log();
  ASSERT_GE(log.size(), 4u);
  EXPECT_EQ(log[1], "Starting process for \"DOSC\"...");
  EXPECT_EQ(log[2], "Can't find project \"DOSC\"!");
}

TEST_F(BackupCommandsTest, DamagedFolderFileOnTheCommandLineGivesExitStatusTwo) {
  Prepare([&](catalogue::TCatalogue& cat) {
    ASSERT_TRUE(cat.AddProject("Docs", Store(), false));
    ASSERT_TRUE(cat.AddFolder("Docs", Path("d"), "", false, 6));
  });
  // A torn last record: the file is no whole number of 372-byte records.
  fs::resize_file(Path("Folder.vrn"), 372 + 100);
  Start({QStringLiteral("/P:Docs"), QStringLiteral("/EXIT")});
  EXPECT_EQ(form->ExitStatus(), 2);
  EXPECT_TRUE(form->EndRequested()) << "the switches after the error still act";
  ASSERT_EQ(prompter.boxes.size(), 1u);
  EXPECT_EQ(prompter.boxes[0].kind, "fatal");
  EXPECT_NE(prompter.boxes[0].text.find("incomplete"), std::string::npos);
}

TEST_F(BackupCommandsTest, SwitchesInADirectoryWithoutCatalogueCreateNothing) {
  // Regression: started in the wrong working directory, the program made three empty
  // catalogue files there and ended with status 0.
  Start({QStringLiteral("/P:Docs"), QStringLiteral("/EXIT")});
  EXPECT_EQ(form->ExitStatus(), 2);
  EXPECT_TRUE(form->EndRequested());
  EXPECT_FALSE(fs::exists(Path("Rpoject.vrn")));
  EXPECT_FALSE(fs::exists(Path("Folder.vrn")));
  EXPECT_FALSE(fs::exists(Path("Log.vrn")));
  ASSERT_EQ(prompter.boxes.size(), 1u);
  EXPECT_EQ(prompter.boxes[0].text, "Can't open project database!");
  ASSERT_EQ(prompter.reports.size(), 1u);
  EXPECT_NE(prompter.reports[0].find(dir.path().toStdString()), std::string::npos);
}

TEST_F(BackupCommandsTest, FailedStoreIsReportedInWordsWithTheSourceFile) {
  Write(Path("d/f.txt"), "f");
  fs::create_directories(ArchiveOf("d/f.txt") + "/blocker");  // blocks the store
  Prepare([&](catalogue::TCatalogue& cat) {
    ASSERT_TRUE(cat.AddProject("Docs", Store(), true));
    ASSERT_TRUE(cat.AddFolder("Docs", Path("d"), "", false, 6));
  });
  Start();
  Show(QStringLiteral("Docs"));
  form->Start1->trigger();
  EXPECT_EQ(form->ExitStatus(), 1) << "a failure in the window counts as well";
  ASSERT_EQ(prompter.reports.size(), 1u);
  EXPECT_EQ(prompter.reports[0].rfind("Can't store file \"" + Path("d/f.txt") + "\": ", 0), 0u)
      << prompter.reports[0];
  // The box keeps its text.
  ASSERT_EQ(prompter.boxes.size(), 1u);
  EXPECT_EQ(prompter.boxes[0].text, "Unable to process file \"" + Store() + Path("d/f.txt") + "\"");
}

TEST_F(BackupCommandsTest, ViewLogShowsEveryLineWithTheLastSelected) {
  Prepare([&](catalogue::TCatalogue& cat) {
    cat.AddLogEntry("first");
    cat.AddLogEntry("second");
    cat.AddLogEntry("third");
  });
  Start();
  bool shown = false;
  WhenModal<dialogs::TLogForm>([&](dialogs::TLogForm* window) {
    shown = true;
    EXPECT_EQ(window->ListBox1->count(), 3);
    EXPECT_EQ(window->ListBox1->currentRow(), 2);
    EXPECT_TRUE(window->ListBox1->item(2)->text().endsWith(QStringLiteral("   third")));
    EXPECT_TRUE(form->Panel4->text().isEmpty());
    QTest::mouseClick(window->Button2, Qt::LeftButton);
  });
  form->Button9->click();
  EXPECT_TRUE(shown);
}

TEST_F(BackupCommandsTest, ClearLogInTheLogWindowEmptiesTheLogFile) {
  Prepare([&](catalogue::TCatalogue& cat) { cat.AddLogEntry("old"); });
  Start();
  WhenModal<dialogs::TLogForm>([&](dialogs::TLogForm* window) {
    QTest::mouseClick(window->Button1, Qt::LeftButton);
    EXPECT_EQ(window->ListBox1->count(), 0);
    QTest::mouseClick(window->Button2, Qt::LeftButton);
  });
  form->Viewlogfile1->trigger();
  EXPECT_TRUE(Log().empty());
}

TEST_F(BackupCommandsTest, HelpItemsOpenTheSwitchesAndAboutWindows) {
  Start();
  bool switches = false;
  WhenModal<dialogs::TSwitchForm>([&](dialogs::TSwitchForm* window) {
    switches = true;
    QTest::mouseClick(window->Button1, Qt::LeftButton);
  });
  form->Commandline1->trigger();
  EXPECT_TRUE(switches);
  QString caption;
  WhenModal<dialogs::TAboutForm>([&](dialogs::TAboutForm* window) {
    caption = window->windowTitle();
    QTest::mouseClick(window->Button1, Qt::LeftButton);
  });
  form->About1->trigger();
  EXPECT_EQ(caption, QStringLiteral("About Varnholt v0.1b"));
}

}  // namespace
