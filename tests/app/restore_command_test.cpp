// Protects the main window's "Restore..." command: the restore window it opens carries the
// project in its caption, offers "Selected folder" exactly for a selected row that has been
// stored (its "Last stored" cell is not "N/A"), with that row's path as destination, and a
// run started there restores the project's archives with the window's archive reader.
// "Verify backup..." tests the project's archives and shows what it found in a box. With a
// display, the /R: switch runs the same restore without any question, and a damaged archive
// fails alone: the run goes on, the reason is reported and the exit status says so.
#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <filesystem>
#include <fstream>
#include <memory>

#include "app/main_form.h"
#include "catalogue/catalogue.h"
#include "dialogs/restore_form.h"
#include "tests/dialogs/scripted_prompter.h"
#include "tests/support/files.h"
#include "tests/support/peers.h"

namespace {

using testing_support::ScriptedPrompter;
using testing_support::WhenModal;

class RestoreCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    root = dir.path().toStdString();
    catalogue = std::make_unique<catalogue::TCatalogue>();
    form = std::make_unique<app::TMainForm>(
        *catalogue, prompter, dir.path() + QStringLiteral("/Vrnh.ini"), dir.path(), QStringList{});
    ASSERT_TRUE(catalogue->AddProject("Docs", root + "/store", false));
    ASSERT_TRUE(catalogue->AddFolder("Docs", root + "/src/stored", "*; ", true, 6));
    ASSERT_TRUE(catalogue->AddFolder("Docs", root + "/src/never", "*; ", true, 6));
    ASSERT_TRUE(catalogue->MarkFolderStored("Docs", root + "/src/stored"));
    form->CurrentProject = QStringLiteral("Docs");
    form->LoadProject(form->CurrentProject);
    form->show();
  }
  void TearDown() override { form.reset(); }

  void SelectRow(int row) {
    form->ListView1->topLevelItem(row)->setSelected(true);
    form->ListView1Click();
  }
  // Opens the restore window with "Restore...", lets check look at it, and closes it.
  void OpenRestore(std::function<void(dialogs::TRestoreForm*)> check) {
    bool opened = false;
    WhenModal<dialogs::TRestoreForm>([&](dialogs::TRestoreForm* window) {
      opened = true;
      check(window);
      window->Button2->click();
    });
    form->Button10->click();
    EXPECT_TRUE(opened);
  }

  QTemporaryDir dir;
  std::string root;
  ScriptedPrompter prompter;
  std::unique_ptr<catalogue::TCatalogue> catalogue;
  std::unique_ptr<app::TMainForm> form;
};

TEST_F(RestoreCommandTest, WithoutASelectedRowOnlyAllFoldersIsOffered) {
  OpenRestore([](dialogs::TRestoreForm* window) {
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Restore - Docs"));
    EXPECT_EQ(window->RadioGroup1->Count(), 1);
    EXPECT_EQ(window->RadioGroup1->ItemIndex(), 0);
    EXPECT_FALSE(window->Edit1->isEnabled());
    EXPECT_TRUE(window->Edit1->text().isEmpty());
  });
}

TEST_F(RestoreCommandTest, AFolderNeverStoredIsNotOffered) {
  SelectRow(1);
  OpenRestore([](dialogs::TRestoreForm* window) {
    EXPECT_EQ(window->RadioGroup1->Count(), 1);
    EXPECT_FALSE(window->Button4->isEnabled());
  });
}

TEST_F(RestoreCommandTest, AStoredFolderIsOfferedWithItsPath) {
  SelectRow(0);
  const QString path = QString::fromStdString(root + "/src/stored");
  OpenRestore([path](dialogs::TRestoreForm* window) {
    ASSERT_EQ(window->RadioGroup1->Count(), 2);
    EXPECT_EQ(window->RadioGroup1->Item(1)->text(), QStringLiteral("Selected folder"));
    EXPECT_EQ(window->RadioGroup1->ItemIndex(), 1);
    EXPECT_EQ(window->Edit1->text(), path);
    EXPECT_TRUE(window->Edit1->isEnabled());
    EXPECT_TRUE(window->Button4->isEnabled());
  });
}

TEST_F(RestoreCommandTest, ARunUnpacksTheFolderIntoTheChosenDestination) {
  const std::string source = root + "/made/report.txt";
  std::filesystem::create_directories(root + "/made");
  std::ofstream(source) << "report body";
  const std::string backup = root + "/store" + root + "/src/stored";
  std::filesystem::create_directories(backup);
  const std::string zip = "zip -q -X -j '" + backup + "/report.txt.ZIP' '" + source + "'";
  ASSERT_EQ(testsupport::Shell(zip), 0);
  SelectRow(0);
  prompter.yesNoAnswers = {true};

  OpenRestore([this](dialogs::TRestoreForm* window) {
    window->Edit1->setText(QString::fromStdString(root + "/elsewhere"));
    window->Button1->click();
  });

  EXPECT_EQ(testsupport::ReadText(root + "/elsewhere/report.txt"), "report body");

  // The window's reader serves every Restore command: a second one works the same way.
  prompter.yesNoAnswers = {true};
  OpenRestore([this](dialogs::TRestoreForm* window) {
    window->Edit1->setText(QString::fromStdString(root + "/again"));
    window->Button1->click();
  });
  EXPECT_EQ(testsupport::ReadText(root + "/again/report.txt"), "report body");
}

TEST_F(RestoreCommandTest, VerifyShowsDamagedArchivesAndMissingBackups) {
  std::filesystem::create_directories(root + "/src/stored");
  const std::string backup = root + "/store" + root + "/src/stored";
  std::filesystem::create_directories(backup);
  for (const char* name : {"good.txt", "bad.txt"}) {
    const std::string source = root + "/src/stored/" + name;
    std::ofstream(source) << "contents of " << name << ", long enough to flip a byte in";
    // Stored, not deflated: the flipped byte is plain data and only the CRC can tell.
    const std::string zip = "zip -q -X -0 -j '" + backup + "/" + name + ".ZIP' '" + source + "'";
    ASSERT_EQ(testsupport::Shell(zip), 0);
  }
  {
    std::fstream bad(backup + "/bad.txt.ZIP", std::ios::in | std::ios::out | std::ios::binary);
    bad.seekp(30 + 7 + 5);  // local header, the name "bad.txt", a few bytes of data
    bad.put('#');
  }

  form->Verify1->trigger();

  ASSERT_EQ(prompter.boxes.size(), 1u);
  EXPECT_EQ(prompter.boxes[0].caption, "Verify - Docs");
  const std::string text = prompter.boxes[0].text;
  EXPECT_NE(text.find("Folder \"" + root + "/src/stored\": 2 archives tested, 1 damaged"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("  damaged: " + backup + "/bad.txt.ZIP ("), std::string::npos) << text;
  EXPECT_EQ(text.find("good.txt.ZIP"), std::string::npos) << text;
  EXPECT_NE(text.find("Folder \"" + root + "/src/never\": no backup found"), std::string::npos)
      << text;
  EXPECT_TRUE(form->Panel4->text().isEmpty());
  EXPECT_TRUE(form->menuBar()->isEnabled());
}

// The window with "/O:..." and "/R:" on its command line, started on the offscreen display.
class RestoreSwitchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    root = dir.path().toStdString();
    source = root + "/src/stored";
    backup = root + "/store" + source;
    std::filesystem::create_directories(source);
    std::filesystem::create_directories(backup);
    std::filesystem::create_directories(root + "/made");
    for (const char* name : {"report.txt", "keep.txt", "bad.txt"}) {
      const std::string made = root + "/made/" + name;
      std::ofstream(made) << "archived " << name << ", long enough to damage in the middle";
      const std::string zip = "zip -q -X -0 -j '" + backup + "/" + name + ".ZIP' '" + made + "'";
      ASSERT_EQ(testsupport::Shell(zip), 0);
    }
    {
      std::fstream bad(backup + "/bad.txt.ZIP", std::ios::in | std::ios::out | std::ios::binary);
      bad.seekp(30 + 7 + 12);  // the stored data of bad.txt
      bad.put('#');
    }
    std::ofstream(source + "/keep.txt") << "the user's newer keep.txt";
    catalogue::TCatalogue setup;
    ASSERT_TRUE(
        setup.OpenCatalogue(root + "/Rpoject.vrn", root + "/Folder.vrn", root + "/Log.vrn"));
    ASSERT_TRUE(setup.AddProject("Docs", root + "/store", false));
    ASSERT_TRUE(setup.AddFolder("Docs", source, "*; ", true, 6));
    setup.CloseCatalogue();
  }
  int Start(const QStringList& arguments) {
    catalogue::TCatalogue catalogue;
    app::TMainForm form(catalogue, prompter, dir.path() + QStringLiteral("/Vrnh.ini"), dir.path(),
                        arguments);
    EXPECT_EQ(form.CurrentProject, QStringLiteral("DOCS"));
    form.FormDestroy();
    return form.ExitStatus();
  }

  QTemporaryDir dir;
  std::string root, source, backup;
  ScriptedPrompter prompter;
};

TEST_F(RestoreSwitchTest, RestoresWithoutAQuestionAndADamagedArchiveFailsAlone) {
  EXPECT_EQ(Start({QStringLiteral("/R:Docs")}), 1);

  EXPECT_TRUE(prompter.boxes.empty());  // no warning, no replace question, no error box
  EXPECT_EQ(testsupport::ReadText(source + "/report.txt"),
            "archived report.txt, long enough to damage in the middle");
  EXPECT_EQ(testsupport::ReadText(source + "/keep.txt"), "the user's newer keep.txt");  // "Append missed"
  EXPECT_FALSE(std::filesystem::exists(source + "/bad.txt"));
  ASSERT_EQ(prompter.reports.size(), 1u);
  EXPECT_EQ(prompter.reports[0].rfind("Error unpacking file \"" + backup + "/bad.txt.ZIP\": ", 0),
            0u)
      << prompter.reports[0];
}

TEST_F(RestoreSwitchTest, RewriteReplacesWithoutAskingAndAGoodRunEndsWithZero) {
  std::filesystem::remove(backup + "/bad.txt.ZIP");

  EXPECT_EQ(Start({QStringLiteral("/O:Rewrite"), QStringLiteral("/R:docs")}), 0);

  EXPECT_TRUE(prompter.boxes.empty());
  EXPECT_TRUE(prompter.reports.empty());
  EXPECT_EQ(testsupport::ReadText(source + "/keep.txt"), "archived keep.txt, long enough to damage in the middle");
}

}  // namespace
