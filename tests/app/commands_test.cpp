// Protects the main window's project, folder and log commands as a user runs them: menu
// item, dialog filled and confirmed, boxes answered. Each test then reads the record files
// byte by byte, because what matters is what the commands leave in the catalogue (and what
// they refuse to leave there), and checks the caption and the enabled command groups the
// user is left with.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <filesystem>
#include <memory>

#include "app/main_form.h"
#include "catalogue/catalogue.h"
#include "dialogs/folder_form.h"
#include "dialogs/open_form.h"
#include "dialogs/project_form.h"
#include "tests/support/records.h"
#include "tests/dialogs/scripted_prompter.h"

namespace {

using testsupport::ReadFolderFile;
using testsupport::ReadProjectFile;
using testing_support::ScriptedPrompter;
using testing_support::WhenModal;

constexpr double kClock = 46000.5;  // the catalogue's fixed "now"

class CommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    catalogue = std::make_unique<catalogue::TCatalogue>([this] { return clock; });
    form = std::make_unique<app::TMainForm>(*catalogue, prompter, File("Vrnh.ini"), dir.path(),
                                            QStringList{});
    form->show();
  }
  void TearDown() override {
    form.reset();
    EXPECT_TRUE(prompter.yesNoAnswers.empty()) << "a scripted answer was not asked for";
  }

  QString File(const char* name) const {
    return dir.path() + QLatin1Char('/') + QLatin1String(name);
  }
  std::vector<testsupport::ProjectRecordOnDisk> Projects() const {
    return ReadProjectFile(File("Rpoject.vrn").toStdString());
  }
  std::vector<testsupport::FolderRecordOnDisk> Folders() const {
    return ReadFolderFile(File("Folder.vrn").toStdString());
  }
  std::uintmax_t FileSize(const char* name) const {
    return std::filesystem::file_size(File(name).toStdString());
  }

  // Project | New..., filled and confirmed.
  void NewProject(const QString& name, const QString& store, bool raise = false) {
    WhenModal<dialogs::TProjectForm>([&](dialogs::TProjectForm* dialog) {
      dialog->Edit1->setText(name);
      dialog->Edit2->setText(store);
      dialog->CheckBox1->setChecked(raise);
      QTest::mouseClick(dialog->Button2, Qt::LeftButton);
    });
    form->NewProject1->trigger();
  }
  // Folder | Add..., filled and confirmed.
  void AddFolder(const QString& path, const QStringList& masks, bool exclude = false) {
    WhenModal<dialogs::TFolderForm>([&](dialogs::TFolderForm* dialog) {
      dialog->Edit1->setText(path);
      for (const QString& mask : masks) {
        dialog->Edit2->setText(mask);
        QTest::mouseClick(dialog->Button4, Qt::LeftButton);
      }
      dialog->CheckBox1->setChecked(exclude);
      QTest::mouseClick(dialog->Button5, Qt::LeftButton);
    });
    form->AddFolder1->trigger();
  }
  // A click on the row that shows path.
  void ClickRow(const QString& path) {
    QTreeWidget* list = form->ListView1;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
      if (list->topLevelItem(i)->text(0) == path) {
        const QPoint at = list->visualItemRect(list->topLevelItem(i)).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
        return;
      }
    }
    ADD_FAILURE() << "no row " << path.toStdString();
  }
  QStringList Row(int index) const {
    QStringList cells;
    QTreeWidgetItem* item = form->ListView1->topLevelItem(index);
    if (item == nullptr) return cells;
    for (int c = 0; c < 4; ++c) cells.append(item->text(c));
    return cells;
  }
  void ExpectGroups(bool projectCommands, bool folderCommands) const {
    for (QAction* a : {form->EditProject1, form->DeleteProject1, form->FolderMenu->menuAction(),
                       form->Start1, form->Restore1, form->Verify1}) {
      EXPECT_EQ(a->isEnabled(), projectCommands) << a->text().toStdString();
    }
    EXPECT_EQ(form->Button1->isEnabled(), projectCommands);
    EXPECT_EQ(form->Button10->isEnabled(), projectCommands);
    EXPECT_EQ(form->EditFolder1->isEnabled(), folderCommands);
    EXPECT_EQ(form->DeleteFolder1->isEnabled(), folderCommands);
    for (QAction* a : {form->NewProject1, form->OpenProject1, form->Exit1, form->Startallprojects1,
                       form->Viewlogfile1, form->Clearlog1, form->Clearallprojects1,
                       form->Commandline1, form->About1}) {
      EXPECT_TRUE(a->isEnabled()) << a->text().toStdString();
    }
    EXPECT_TRUE(form->Button9->isEnabled());
  }
  void ExpectOneBox(const std::string& kind, const std::string& text, const std::string& caption) {
    ASSERT_EQ(prompter.boxes.size(), 1u);
    EXPECT_EQ(prompter.boxes[0].kind, kind);
    EXPECT_EQ(prompter.boxes[0].text, text);
    EXPECT_EQ(prompter.boxes[0].caption, caption);
    prompter.boxes.clear();
  }

  QTemporaryDir dir;
  double clock = kClock;
  ScriptedPrompter prompter;
  std::unique_ptr<catalogue::TCatalogue> catalogue;
  std::unique_ptr<app::TMainForm> form;
};

// ---- projects

TEST_F(CommandsTest, NewProjectIsWrittenAndShown) {
  ExpectGroups(false, false);
  QString caption;
  bool startedEmpty = false;
  WhenModal<dialogs::TProjectForm>([&](dialogs::TProjectForm* dialog) {
    caption = dialog->windowTitle();
    startedEmpty = dialog->Edit1->text().isEmpty() && dialog->Edit2->text().isEmpty() &&
                   !dialog->CheckBox1->isChecked();
    QTest::mouseClick(dialog->Button2, Qt::LeftButton);  // empty: refused, stays open
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_TRUE(Projects().empty());
    dialog->Edit1->setText(QStringLiteral("Docs"));
    dialog->Edit2->setText(QStringLiteral("/srv/backup/docs"));
    dialog->CheckBox1->setChecked(true);
    QTest::mouseClick(dialog->Button2, Qt::LeftButton);
  });
  form->NewProject1->trigger();
  EXPECT_EQ(caption, QStringLiteral("New project"));
  EXPECT_TRUE(startedEmpty);
  ExpectOneBox("message", "Fields for project name and folder can't be empty!", "Error!");

  const auto projects = Projects();
  ASSERT_EQ(projects.size(), 1u);
  EXPECT_EQ(projects[0].id, 1);
  EXPECT_TRUE(projects[0].live);
  EXPECT_EQ(projects[0].name, "Docs");
  EXPECT_EQ(projects[0].storeFolder, "/srv/backup/docs");
  EXPECT_TRUE(projects[0].raiseErrors);
  EXPECT_EQ(projects[0].created, kClock);
  EXPECT_EQ(form->CurrentProject, QStringLiteral("Docs"));
  EXPECT_EQ(form->windowTitle(), QStringLiteral("Varnholt v0.1b - Docs"));
  ExpectGroups(true, false);
}

TEST_F(CommandsTest, NewProjectCancelledWritesNothing) {
  WhenModal<dialogs::TProjectForm>([](dialogs::TProjectForm* dialog) {
    dialog->Edit1->setText(QStringLiteral("Docs"));
    dialog->Edit2->setText(QStringLiteral("/srv/backup/docs"));
    QTest::mouseClick(dialog->Button3, Qt::LeftButton);
  });
  form->NewProject1->trigger();
  EXPECT_EQ(FileSize("Rpoject.vrn"), 0u);
  EXPECT_EQ(form->windowTitle(), QStringLiteral("Varnholt v0.1b"));
  ExpectGroups(false, false);
}

TEST_F(CommandsTest, NewProjectWithANameInOtherLetterCaseIsRefused) {
  NewProject(QStringLiteral("Docs"), QStringLiteral("/srv/docs"));
  NewProject(QStringLiteral("Music"), QStringLiteral("/srv/music"));
  NewProject(QStringLiteral("DOCS"), QStringLiteral("/srv/other"));
  ExpectOneBox("message", "Can't write new project! Check name for unique.", "Error!");
  ASSERT_EQ(Projects().size(), 2u);
  EXPECT_EQ(form->CurrentProject, QStringLiteral("Music"));  // still the one shown before
  EXPECT_EQ(form->windowTitle(), QStringLiteral("Varnholt v0.1b - Music"));
  ExpectGroups(true, false);
}

TEST_F(CommandsTest, OpenListsEveryLiveProjectAndShowsTheChosenOne) {
  NewProject(QStringLiteral("Docs"), QStringLiteral("/srv/docs"), true);
  AddFolder(QStringLiteral("/home/anna/docs"), {QStringLiteral("*.odt")});
  NewProject(QStringLiteral("Music"), QStringLiteral("/srv/music"));
  ASSERT_EQ(form->ListView1->topLevelItemCount(), 0);
  std::vector<QStringList> rows;
  QString caption;
  WhenModal<dialogs::TOpenForm>([&](dialogs::TOpenForm* dialog) {
    caption = dialog->windowTitle();
    QTreeWidget* list = dialog->ListView1;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
      QStringList cells;
      for (int c = 0; c < 4; ++c) cells.append(list->topLevelItem(i)->text(c));
      rows.push_back(cells);
    }
    const QPoint at = list->visualItemRect(list->topLevelItem(0)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseClick(dialog->Button1, Qt::LeftButton);
  });
  form->OpenProject1->trigger();
  EXPECT_EQ(caption, QStringLiteral("Select Project"));
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0][0], QStringLiteral("Docs"));
  EXPECT_EQ(rows[0][1], QStringLiteral("/srv/docs"));
  EXPECT_EQ(rows[0][2], QStringLiteral("TRUE"));
  EXPECT_FALSE(rows[0][3].isEmpty());
  EXPECT_EQ(rows[1][2], QStringLiteral("FALSE"));
  EXPECT_EQ(form->windowTitle(), QStringLiteral("Varnholt v0.1b - Docs"));
  ASSERT_EQ(form->ListView1->topLevelItemCount(), 1);
  EXPECT_EQ(Row(0)[0], QStringLiteral("/home/anna/docs"));
  ExpectGroups(true, false);
}

TEST_F(CommandsTest, OpenWithAnEmptyCatalogueOnlyBeepsUntilCancelled) {
  int rows = -1;
  WhenModal<dialogs::TOpenForm>([&](dialogs::TOpenForm* dialog) {
    rows = dialog->ListView1->topLevelItemCount();
    QTest::mouseClick(dialog->Button1, Qt::LeftButton);
    EXPECT_TRUE(dialog->isVisible());
    QTest::mouseClick(dialog->Button2, Qt::LeftButton);
  });
  form->OpenProject1->trigger();
  EXPECT_EQ(rows, 0);
  EXPECT_EQ(prompter.beeps, 1);
  EXPECT_EQ(form->windowTitle(), QStringLiteral("Varnholt v0.1b"));
  ExpectGroups(false, false);
}

TEST_F(CommandsTest, RenamingTheCurrentProjectKeepsItsFolders) {
  NewProject(QStringLiteral("Docs"), QStringLiteral("/srv/docs"));
  AddFolder(QStringLiteral("/home/anna/docs"), {QStringLiteral("*.odt")});
  clock = kClock + 1;
  QString caption, name, store;
  bool raise = true;
  WhenModal<dialogs::TProjectForm>([&](dialogs::TProjectForm* dialog) {
    caption = dialog->windowTitle();
    name = dialog->Edit1->text();
    store = dialog->Edit2->text();
    raise = dialog->CheckBox1->isChecked();
    dialog->Edit1->setText(QStringLiteral("Papers"));
    dialog->Edit2->setText(QStringLiteral("/mnt/usb/papers"));
    QTest::mouseClick(dialog->Button2, Qt::LeftButton);
  });
  form->EditProject1->trigger();
  EXPECT_EQ(caption, QStringLiteral("Edit project - Docs"));
  EXPECT_EQ(name, QStringLiteral("Docs"));
  EXPECT_EQ(store, QStringLiteral("/srv/docs"));
  EXPECT_FALSE(raise);
  EXPECT_TRUE(prompter.boxes.empty());

  const auto projects = Projects();
  ASSERT_EQ(projects.size(), 1u);
  EXPECT_EQ(projects[0].id, 1);
  EXPECT_EQ(projects[0].name, "Papers");
  EXPECT_EQ(projects[0].storeFolder, "/mnt/usb/papers");
  EXPECT_EQ(projects[0].created, kClock + 1);  // an edit counts as the project's new date
  EXPECT_EQ(form->CurrentProject, QStringLiteral("Papers"));
  EXPECT_EQ(form->windowTitle(), QStringLiteral("Varnholt v0.1b - Papers"));
  ASSERT_EQ(form->ListView1->topLevelItemCount(), 1);
  EXPECT_EQ(Row(0)[0], QStringLiteral("/home/anna/docs"));
  ExpectGroups(true, false);
}

TEST_F(CommandsTest, RenamingToAnotherProjectsNameIsRefused) {
  NewProject(QStringLiteral("Music"), QStringLiteral("/srv/music"));
  NewProject(QStringLiteral("Docs"), QStringLiteral("/srv/docs"));
  WhenModal<dialogs::TProjectForm>([](dialogs::TProjectForm* dialog) {
    dialog->Edit1->setText(QStringLiteral("mUSIC"));
    QTest::mouseClick(dialog->Button2, Qt::LeftButton);
  });
  form->EditProject1->trigger();
  ExpectOneBox("message", "Can't write new project! Check name for unique.", "Error!");
  const auto projects = Projects();
  EXPECT_EQ(projects[0].name, "Music");
  EXPECT_EQ(projects[1].name, "Docs");
  EXPECT_EQ(form->windowTitle(), QStringLiteral("Varnholt v0.1b - Docs"));
}

TEST_F(CommandsTest, RenamingToTheSameNameInOtherLetterCaseIsAllowed) {
  NewProject(QStringLiteral("Docs"), QStringLiteral("/srv/docs"));
  WhenModal<dialogs::TProjectForm>([](dialogs::TProjectForm* dialog) {
    dialog->Edit1->setText(QStringLiteral("DOCS"));
    QTest::mouseClick(dialog->Button2, Qt::LeftButton);
  });
  form->EditProject1->trigger();
  EXPECT_TRUE(prompter.boxes.empty());
  EXPECT_EQ(Projects()[0].name, "DOCS");
  EXPECT_EQ(form->windowTitle(), QStringLiteral("Varnholt v0.1b - DOCS"));
}

TEST_F(CommandsTest, EditOfAProjectThatIsGoneDoesNothing) {
  form->CurrentProject = QStringLiteral("Nobody");
  form->Button8Click();  // no dialog opens: the test would fail on a modal window
  EXPECT_TRUE(prompter.boxes.empty());
  EXPECT_EQ(prompter.beeps, 0);
}

TEST_F(CommandsTest, DeleteProjectAsksAndForgetsTheProject) {
  NewProject(QStringLiteral("Docs"), QStringLiteral("/srv/docs"));
  AddFolder(QStringLiteral("/home/anna/docs"), {QStringLiteral("*")});
  prompter.yesNoAnswers = {false};
  form->DeleteProject1->trigger();
  ExpectOneBox("yesno", "Are you sure to delete?", "Warning!");
  EXPECT_TRUE(Projects()[0].live);
  EXPECT_EQ(form->windowTitle(), QStringLiteral("Varnholt v0.1b - Docs"));

  prompter.yesNoAnswers = {true};
  form->DeleteProject1->trigger();
  ExpectOneBox("yesno", "Are you sure to delete?", "Warning!");
  EXPECT_FALSE(Projects()[0].live);
  EXPECT_TRUE(Folders()[0].live);  // unreachable, but left in the folder file
  EXPECT_TRUE(form->CurrentProject.isEmpty());
  EXPECT_EQ(form->windowTitle(), QStringLiteral("Varnholt v0.1b"));
  EXPECT_EQ(form->ListView1->topLevelItemCount(), 0);
  ExpectGroups(false, false);
}

TEST_F(CommandsTest, ExitRequestsTheEnd) {
  form->Exit1->trigger();
  EXPECT_TRUE(form->EndRequested());
  QCoreApplication::processEvents();  // the queued quit, with no loop running to end
}

// ---- folders

TEST_F(CommandsTest, AddFolderWithoutAProjectBeeps) {
  form->Button1Click();
  EXPECT_EQ(prompter.beeps, 1);
  EXPECT_EQ(FileSize("Folder.vrn"), 0u);
}

TEST_F(CommandsTest, AddFolderWritesPathMasksModeAndLevel) {
  NewProject(QStringLiteral("Docs"), QStringLiteral("/srv/docs"));
  NewProject(QStringLiteral("Music"), QStringLiteral("/srv/music"));
  QString caption;
  int level = 0;
  WhenModal<dialogs::TFolderForm>([&](dialogs::TFolderForm* dialog) {
    caption = dialog->windowTitle();
    level = dialog->Level();
    dialog->Edit2->setText(QStringLiteral("*.doc"));
    QTest::mouseClick(dialog->Button4, Qt::LeftButton);
    QTest::mouseClick(dialog->Button5, Qt::LeftButton);  // no path: refused, stays open
    EXPECT_TRUE(dialog->isVisible());
    dialog->Edit1->setText(QStringLiteral("/home/anna/music"));
    dialog->Edit2->setText(QStringLiteral("*.xls"));
    QTest::mouseClick(dialog->Button4, Qt::LeftButton);
    dialog->CheckBox1->setChecked(true);
    dialog->SpinEdit1->setValue(9);
    QTest::mouseClick(dialog->Button5, Qt::LeftButton);
  });
  form->AddFolder1->trigger();
  EXPECT_EQ(caption, QStringLiteral("New folder"));
  EXPECT_EQ(level, 6);
  ExpectOneBox("message", "You must specify full folder path and at least one file mask!",
               "Error!");

  const auto folders = Folders();
  ASSERT_EQ(folders.size(), 1u);
  EXPECT_TRUE(folders[0].live);
  EXPECT_EQ(folders[0].ownerId, 2);  // Music
  EXPECT_EQ(folders[0].path, "/home/anna/music");
  EXPECT_EQ(folders[0].masks, "*.doc; *.xls; ");
  EXPECT_FALSE(folders[0].include);
  EXPECT_EQ(folders[0].level, 9);
  EXPECT_EQ(folders[0].lastStored, 0.0);
  EXPECT_EQ(Row(0),
            (QStringList{QStringLiteral("/home/anna/music"), QStringLiteral("*.doc; *.xls; "),
                         QStringLiteral("Exclude"), QStringLiteral("N/A")}));
  ExpectGroups(true, false);
}

TEST_F(CommandsTest, AddFolderLeftAtItsDefaultsIncludesAtLevelSix) {
  NewProject(QStringLiteral("Docs"), QStringLiteral("/srv/docs"));
  AddFolder(QStringLiteral("/home/anna/docs"), {QStringLiteral("*.odt")});
  const auto folders = Folders();
  ASSERT_EQ(folders.size(), 1u);
  EXPECT_TRUE(folders[0].include);
  EXPECT_EQ(folders[0].level, 6);
  EXPECT_EQ(Row(0)[2], QStringLiteral("Include"));
}

TEST_F(CommandsTest, ALevelTypedOutOfRangeAndConfirmedWithEnterIsStoredWithinOneToNine) {
  NewProject(QStringLiteral("Docs"), QStringLiteral("/srv/docs"));
  WhenModal<dialogs::TFolderForm>([](dialogs::TFolderForm* dialog) {
    dialog->Edit1->setText(QStringLiteral("/home/anna/docs"));
    dialog->Edit2->setText(QStringLiteral("*"));
    QTest::mouseClick(dialog->Button4, Qt::LeftButton);
    dialog->SpinEdit1->setFocus();
    dialog->SpinEdit1->selectAll();
    QTest::keyClick(dialog->SpinEdit1, Qt::Key_Delete);
    QTest::keyClicks(dialog->SpinEdit1, QStringLiteral("0"));
    QTest::keyClick(dialog->SpinEdit1, Qt::Key_Return);  // before the field loses focus
  });
  form->AddFolder1->trigger();
  const auto folders = Folders();
  ASSERT_EQ(folders.size(), 1u);
  EXPECT_EQ(folders[0].level, 1);
}

TEST_F(CommandsTest, AddFolderWithAPathTheProjectHasIsRefused) {
  NewProject(QStringLiteral("Docs"), QStringLiteral("/srv/docs"));
  AddFolder(QStringLiteral("/home/anna/docs"), {QStringLiteral("*.odt")});
  AddFolder(QStringLiteral("/HOME/anna/docs"), {QStringLiteral("*.txt")});
  ExpectOneBox("message", "Can't add the folder!", "Error!");
  EXPECT_EQ(Folders().size(), 1u);
  EXPECT_EQ(form->ListView1->topLevelItemCount(), 1);
  ExpectGroups(true, false);
}

class FolderEditTest : public CommandsTest {
 protected:
  void SetUp() override {
    CommandsTest::SetUp();
    NewProject(QStringLiteral("Docs"), QStringLiteral("/srv/docs"));
    AddFolder(QStringLiteral("/home/anna/docs"), {QStringLiteral("*.doc"), QStringLiteral("*.txt")},
              true);
    AddFolder(QStringLiteral("/home/anna/mail"), {QStringLiteral("*")});
    // A run stored both folders.
    clock = kClock + 2;
    ASSERT_TRUE(catalogue->MarkFolderStored("Docs", "/home/anna/docs"));
    ASSERT_TRUE(catalogue->MarkFolderStored("Docs", "/home/anna/mail"));
    form->LoadProject(form->CurrentProject);
  }
  // Folder | Edit... on the row of path; action edits the dialog and confirms it.
  void EditFolder(const QString& path, std::function<void(dialogs::TFolderForm*)> action) {
    ClickRow(path);
    WhenModal<dialogs::TFolderForm>(action);
    form->EditFolder1->trigger();
  }
};

TEST_F(FolderEditTest, EditWithoutASelectedRowBeeps) {
  form->Button3Click();
  EXPECT_EQ(prompter.beeps, 1);
}

TEST_F(FolderEditTest, DialogShowsTheStoredFolder) {
  QString caption, path;
  QStringList masks;
  bool exclude = false;
  int level = 0;
  EditFolder(QStringLiteral("/home/anna/docs"), [&](dialogs::TFolderForm* dialog) {
    caption = dialog->windowTitle();
    path = dialog->Edit1->text();
    masks = dialog->Masks();
    exclude = dialog->CheckBox1->isChecked();
    level = dialog->Level();
    QTest::mouseClick(dialog->Button6, Qt::LeftButton);
  });
  EXPECT_EQ(caption, QStringLiteral("Edit folder - /home/anna/docs"));
  EXPECT_EQ(path, QStringLiteral("/home/anna/docs"));
  EXPECT_EQ(masks, (QStringList{QStringLiteral("*.doc"), QStringLiteral("*.txt")}));
  EXPECT_TRUE(exclude);
  EXPECT_EQ(level, 6);
}

TEST_F(FolderEditTest, EditKeepingThePathKeepsLastStored) {
  EditFolder(QStringLiteral("/home/anna/docs"), [](dialogs::TFolderForm* dialog) {
    dialog->ListBox1->setCurrentRow(0);
    QTest::mouseClick(dialog->Button3, Qt::LeftButton);  // *.doc back to the field
    dialog->Edit2->setText(QStringLiteral("*.odt"));
    QTest::mouseClick(dialog->Button4, Qt::LeftButton);
    dialog->CheckBox1->setChecked(false);
    dialog->SpinEdit1->setValue(3);
    QTest::mouseClick(dialog->Button5, Qt::LeftButton);
  });
  EXPECT_TRUE(prompter.boxes.empty());
  const auto folders = Folders();
  ASSERT_EQ(folders.size(), 2u);
  EXPECT_EQ(folders[0].path, "/home/anna/docs");
  EXPECT_EQ(folders[0].masks, "*.txt; *.odt; ");
  EXPECT_TRUE(folders[0].include);
  EXPECT_EQ(folders[0].level, 3);
  EXPECT_EQ(folders[0].lastStored, kClock + 2);
  EXPECT_NE(Row(0)[3], QStringLiteral("N/A"));
  EXPECT_EQ(Row(0)[1], QStringLiteral("*.txt; *.odt; "));
  ExpectGroups(true, false);
}

TEST_F(FolderEditTest, EditChangingThePathForgetsLastStored) {
  EditFolder(QStringLiteral("/home/anna/docs"), [](dialogs::TFolderForm* dialog) {
    dialog->Edit1->setText(QStringLiteral("/home/anna/papers"));
    QTest::mouseClick(dialog->Button5, Qt::LeftButton);
  });
  const auto folders = Folders();
  EXPECT_EQ(folders[0].path, "/home/anna/papers");
  EXPECT_EQ(folders[0].masks, "*.doc; *.txt; ");
  EXPECT_EQ(folders[0].lastStored, 0.0);
  EXPECT_EQ(folders[1].lastStored, kClock + 2);
  EXPECT_EQ(Row(0),
            (QStringList{QStringLiteral("/home/anna/papers"), QStringLiteral("*.doc; *.txt; "),
                         QStringLiteral("Exclude"), QStringLiteral("N/A")}));
}

TEST_F(FolderEditTest, EditToAnotherFoldersPathIsRefused) {
  EditFolder(QStringLiteral("/home/anna/docs"), [](dialogs::TFolderForm* dialog) {
    dialog->Edit1->setText(QStringLiteral("/home/anna/MAIL"));
    QTest::mouseClick(dialog->Button5, Qt::LeftButton);
  });
  ExpectOneBox("message", "Can't change the folder! Check folder for unique", "Error!");
  const auto folders = Folders();
  EXPECT_EQ(folders[0].path, "/home/anna/docs");
  EXPECT_EQ(folders[0].lastStored, kClock + 2);
  EXPECT_EQ(Row(0)[0], QStringLiteral("/home/anna/docs"));
  ExpectGroups(true, true);  // the row stays selected
}

TEST_F(FolderEditTest, MasksCutByTheCatalogueComeBackWithTheirRest) {
  // A record written before masks were limited: its text ends without "; ".
  ASSERT_TRUE(catalogue->UpdateFolder("Docs", "/home/anna/mail", "/home/anna/mail", "*.eml; *.mb",
                                      true, 6));
  form->LoadProject(form->CurrentProject);
  QStringList masks;
  EditFolder(QStringLiteral("/home/anna/mail"), [&](dialogs::TFolderForm* dialog) {
    masks = dialog->Masks();
    QTest::mouseClick(dialog->Button6, Qt::LeftButton);
  });
  EXPECT_EQ(masks, (QStringList{QStringLiteral("*.eml"), QStringLiteral("*.mb")}));
}

TEST_F(FolderEditTest, SelectingARowEnablesTheFolderCommands) {
  ExpectGroups(true, false);
  ClickRow(QStringLiteral("/home/anna/mail"));
  ExpectGroups(true, true);
}

TEST_F(FolderEditTest, DeleteFolderAsksAndRemovesTheSelectedOne) {
  form->DeleteFolder1->setEnabled(true);
  form->Button2Click();  // no row selected: nothing, not even a question
  EXPECT_TRUE(prompter.boxes.empty());

  ClickRow(QStringLiteral("/home/anna/docs"));
  prompter.yesNoAnswers = {false};
  form->DeleteFolder1->trigger();
  ExpectOneBox("yesno", "Are you sure to delete?", "Warning!");
  EXPECT_TRUE(Folders()[0].live);

  prompter.yesNoAnswers = {true};
  form->DeleteFolder1->trigger();
  ExpectOneBox("yesno", "Are you sure to delete?", "Warning!");
  EXPECT_FALSE(Folders()[0].live);
  EXPECT_TRUE(Folders()[1].live);
  ASSERT_EQ(form->ListView1->topLevelItemCount(), 1);
  EXPECT_EQ(Row(0)[0], QStringLiteral("/home/anna/mail"));
  ExpectGroups(true, false);
}

TEST_F(FolderEditTest, DeleteAllFoldersEmptiesTheListOfThisProjectOnly) {
  NewProject(QStringLiteral("Music"), QStringLiteral("/srv/music"));
  AddFolder(QStringLiteral("/home/anna/music"), {QStringLiteral("*.flac")});
  WhenModal<dialogs::TOpenForm>([](dialogs::TOpenForm* dialog) {
    dialog->ListView1->setCurrentItem(dialog->ListView1->topLevelItem(0));
    QTest::mouseClick(dialog->Button1, Qt::LeftButton);
  });
  form->OpenProject1->trigger();
  ASSERT_EQ(form->CurrentProject, QStringLiteral("Docs"));
  ClickRow(QStringLiteral("/home/anna/docs"));

  const std::string warning =
      "This will delete all your folders in the current project!\nAre you sure?";
  prompter.yesNoAnswers = {false};
  form->Deleteall1->trigger();
  ExpectOneBox("yesno", warning, "Warning!");
  EXPECT_EQ(form->ListView1->topLevelItemCount(), 2);

  prompter.yesNoAnswers = {true};
  form->Deleteall1->trigger();
  ExpectOneBox("yesno", warning, "Warning!");
  const auto folders = Folders();
  ASSERT_EQ(folders.size(), 3u);
  EXPECT_FALSE(folders[0].live);
  EXPECT_FALSE(folders[1].live);
  EXPECT_TRUE(folders[2].live);  // Music's
  EXPECT_EQ(form->ListView1->topLevelItemCount(), 0);
  EXPECT_EQ(form->windowTitle(), QStringLiteral("Varnholt v0.1b - Docs"));
  ExpectGroups(true, false);
  EXPECT_TRUE(form->AddFolder1->isEnabled());
}

// ---- cleaning

TEST_F(CommandsTest, ClearLogEmptiesTheLogWithoutAsking) {
  catalogue->AddLogEntry("first");
  catalogue->AddLogEntry("second");
  ASSERT_EQ(FileSize("Log.vrn"), 2u * 109u);
  form->Clearlog1->trigger();
  EXPECT_TRUE(prompter.boxes.empty());
  EXPECT_EQ(FileSize("Log.vrn"), 0u);
  ExpectGroups(false, false);
}

TEST_F(CommandsTest, ClearLogLeavesTheProjectShown) {
  NewProject(QStringLiteral("Docs"), QStringLiteral("/srv/docs"));
  catalogue->AddLogEntry("entry");
  form->Clearlog1->trigger();
  EXPECT_EQ(FileSize("Log.vrn"), 0u);
  EXPECT_EQ(Projects().size(), 1u);
  EXPECT_EQ(form->windowTitle(), QStringLiteral("Varnholt v0.1b - Docs"));
  ExpectGroups(true, false);
}

TEST_F(CommandsTest, ClearAllProjectsAsksThenEmptiesProjectsAndFoldersButKeepsTheLog) {
  NewProject(QStringLiteral("Docs"), QStringLiteral("/srv/docs"));
  AddFolder(QStringLiteral("/home/anna/docs"), {QStringLiteral("*")});
  catalogue->AddLogEntry("kept");
  const std::string warning = "This will delete all your projects with all folders!\nAre you sure?";

  prompter.yesNoAnswers = {false};
  form->Clearallprojects1->trigger();
  ExpectOneBox("yesno", warning, "Warning!");
  EXPECT_EQ(Projects().size(), 1u);
  EXPECT_EQ(form->windowTitle(), QStringLiteral("Varnholt v0.1b - Docs"));

  prompter.yesNoAnswers = {true};
  form->Clearallprojects1->trigger();
  ExpectOneBox("yesno", warning, "Warning!");
  EXPECT_EQ(FileSize("Rpoject.vrn"), 0u);
  EXPECT_EQ(FileSize("Folder.vrn"), 0u);
  EXPECT_EQ(FileSize("Log.vrn"), 109u);
  EXPECT_EQ(form->windowTitle(), QStringLiteral("Varnholt v0.1b"));
  EXPECT_EQ(form->ListView1->topLevelItemCount(), 0);
  ExpectGroups(false, false);

  // Ids start again at 1 in the emptied catalogue.
  NewProject(QStringLiteral("Fresh"), QStringLiteral("/srv/fresh"));
  EXPECT_EQ(Projects()[0].id, 1);
}

}  // namespace
