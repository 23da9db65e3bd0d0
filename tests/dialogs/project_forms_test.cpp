// Protects the project dialog and the open dialog as a user meets them: what they refuse
// (with the exact message, staying open), what they hand back, the Enter and Esc keys, the
// Browse button's picker, and the open dialog's columns, beep and double click. These are
// the gates in front of the catalogue: a check that lets a bad project through ends up in
// the record files.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include "dialogs/open_form.h"
#include "dialogs/project_form.h"
#include "dialogs/select_folder_form.h"
#include "tests/dialogs/scripted_prompter.h"

namespace {

using testing_support::ScriptedPrompter;
using testing_support::WhenModal;

const std::string kFieldsMessage = "Fields for project name and folder can't be empty!";

class ProjectFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    form = std::make_unique<dialogs::TProjectForm>(nullptr, &prompter);
    form->setWindowTitle(QStringLiteral("New project"));
    form->show();
  }
  void Fill(const QString& name, const QString& folder) {
    form->Edit1->setText(name);
    form->Edit2->setText(folder);
  }
  void ExpectRefusedAndStillOpen() {
    ASSERT_EQ(prompter.boxes.size(), 1u);
    EXPECT_EQ(prompter.boxes[0].kind, "message");
    EXPECT_EQ(prompter.boxes[0].text, kFieldsMessage);
    EXPECT_EQ(prompter.boxes[0].caption, "Error!");
    EXPECT_TRUE(form->isVisible());
    EXPECT_NE(form->result(), QDialog::Accepted);
  }
  ScriptedPrompter prompter;
  std::unique_ptr<dialogs::TProjectForm> form;
};

TEST_F(ProjectFormTest, StartsEmptyWithItsCaptions) {
  EXPECT_TRUE(form->Edit1->text().isEmpty());
  EXPECT_TRUE(form->Edit2->text().isEmpty());
  EXPECT_FALSE(form->CheckBox1->isChecked());
  EXPECT_EQ(form->CheckBox1->text(), QStringLiteral("Do not ignore errors while processing"));
  EXPECT_EQ(form->Button1->text(), QStringLiteral("Browse"));
  EXPECT_EQ(form->Button2->text(), QStringLiteral("OK"));
  EXPECT_EQ(form->Button3->text(), QStringLiteral("Cancel"));
  EXPECT_TRUE(form->Button2->isDefault());
}

TEST_F(ProjectFormTest, EmptyNameIsRefused) {
  Fill(QString(), QStringLiteral("/srv/backup"));
  QTest::mouseClick(form->Button2, Qt::LeftButton);
  ExpectRefusedAndStillOpen();
}

TEST_F(ProjectFormTest, StoreFolderOfTwoCharactersIsRefused) {
  Fill(QStringLiteral("Docs"), QStringLiteral("/b"));
  QTest::mouseClick(form->Button2, Qt::LeftButton);
  ExpectRefusedAndStillOpen();
}

TEST_F(ProjectFormTest, RelativeStoreFolderIsRefused) {
  Fill(QStringLiteral("Docs"), QStringLiteral("backup/docs"));
  QTest::mouseClick(form->Button2, Qt::LeftButton);
  ExpectRefusedAndStillOpen();
}

TEST_F(ProjectFormTest, RefusedInputStaysAsTypedAndCanBeCorrected) {
  Fill(QStringLiteral(" Docs "), QStringLiteral("x:"));
  QTest::mouseClick(form->Button2, Qt::LeftButton);
  ExpectRefusedAndStillOpen();
  EXPECT_EQ(form->Edit1->text(), QStringLiteral(" Docs "));
  form->Edit2->setText(QStringLiteral("/mnt/usb/docs"));
  QTest::mouseClick(form->Button2, Qt::LeftButton);
  EXPECT_EQ(prompter.boxes.size(), 1u);
  EXPECT_FALSE(form->isVisible());
  EXPECT_EQ(form->result(), QDialog::Accepted);
  EXPECT_EQ(form->Edit1->text(), QStringLiteral(" Docs "));  // untrimmed
}

TEST_F(ProjectFormTest, StoreFolderThatIsTheRootIsRefusedWithItsOwnMessage) {
  // "/.." passes the full-path test and names "/", where every archive would lie beside
  // its source file; so does a link to "/".
  QTemporaryDir dir;
  ASSERT_TRUE(QFile::link(QStringLiteral("/"), dir.filePath(QStringLiteral("root"))));
  const QStringList roots = {QStringLiteral("/.."), QStringLiteral("/./."),
                             QStringLiteral("/tmp/.."), dir.filePath(QStringLiteral("root"))};
  for (const QString& root : roots) {
    prompter.boxes.clear();
    Fill(QStringLiteral("Docs"), root);
    QTest::mouseClick(form->Button2, Qt::LeftButton);
    ASSERT_EQ(prompter.boxes.size(), 1u) << root.toStdString();
    EXPECT_EQ(prompter.boxes[0].text, "Folder to store can't be the root folder!");
    EXPECT_EQ(prompter.boxes[0].caption, "Error!");
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->Edit2->text(), root) << "the field stays as typed";
  }
  Fill(QStringLiteral("Docs"), dir.path());
  QTest::mouseClick(form->Button2, Qt::LeftButton);
  EXPECT_EQ(form->result(), QDialog::Accepted);
}

TEST_F(ProjectFormTest, FullPathOfThreeCharactersIsAccepted) {
  Fill(QStringLiteral("D"), QStringLiteral("/bk"));
  form->CheckBox1->setChecked(true);
  QTest::mouseClick(form->Button2, Qt::LeftButton);
  EXPECT_TRUE(prompter.boxes.empty());
  EXPECT_EQ(form->result(), QDialog::Accepted);
  EXPECT_TRUE(form->CheckBox1->isChecked());
}

TEST_F(ProjectFormTest, EnterKeyRunsTheValidatingOk) {
  Fill(QString(), QStringLiteral("/srv/backup"));
  QTest::keyClick(form->Edit2, Qt::Key_Return);
  ExpectRefusedAndStillOpen();
  form->Edit1->setText(QStringLiteral("Docs"));
  QTest::keyClick(form->Edit1, Qt::Key_Return);
  EXPECT_EQ(form->result(), QDialog::Accepted);
}

TEST_F(ProjectFormTest, CancelAndEscapeCloseWithoutChecking) {
  QTest::mouseClick(form->Button3, Qt::LeftButton);
  EXPECT_EQ(form->result(), QDialog::Rejected);
  EXPECT_FALSE(form->isVisible());
  form->show();
  QTest::keyClick(form->Edit1, Qt::Key_Escape);
  EXPECT_FALSE(form->isVisible());
  EXPECT_TRUE(prompter.boxes.empty());
}

TEST_F(ProjectFormTest, BrowseStartsAtTheFieldsFolderAndPutsThePickBack) {
  QTemporaryDir temp;
  ASSERT_TRUE(QDir(temp.path()).mkpath(QStringLiteral("store/inner")));
  const QString start = temp.path() + QStringLiteral("/store");
  form->Edit2->setText(start);
  QString caption, startShown;
  WhenModal<dialogs::TSelectFolderForm>([&](dialogs::TSelectFolderForm* picker) {
    caption = picker->windowTitle();
    startShown = picker->Directory();
    QTreeWidgetItem* current = picker->DirectoryListBox1->currentItem();
    ASSERT_EQ(current->childCount(), 1);
    picker->DirectoryListBox1->setCurrentItem(current->child(0));
    QTest::mouseClick(picker->Button1, Qt::LeftButton);
  });
  QTest::mouseClick(form->Button1, Qt::LeftButton);
  EXPECT_EQ(caption, QStringLiteral("Select folder"));
  EXPECT_EQ(startShown, start);
  EXPECT_EQ(form->Edit2->text(), start + QStringLiteral("/inner"));
  EXPECT_TRUE(form->isVisible());
}

TEST_F(ProjectFormTest, BrowseWithAShortFieldStartsInTheCurrentDirectoryAndCancelKeepsIt) {
  form->Edit2->setText(QStringLiteral("/t"));
  QString startShown;
  WhenModal<dialogs::TSelectFolderForm>([&](dialogs::TSelectFolderForm* picker) {
    startShown = picker->Directory();
    QTest::mouseClick(picker->Button2, Qt::LeftButton);
  });
  QTest::mouseClick(form->Button1, Qt::LeftButton);
  EXPECT_EQ(startShown, QDir::currentPath());
  EXPECT_EQ(form->Edit2->text(), QStringLiteral("/t"));
}

class OpenFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    form = std::make_unique<dialogs::TOpenForm>(nullptr, &prompter);
    form->setWindowTitle(QStringLiteral("Select Project"));
  }
  ScriptedPrompter prompter;
  std::unique_ptr<dialogs::TOpenForm> form;
};

TEST_F(OpenFormTest, HasTheFourColumnsAtTheirWidths) {
  QTreeWidget* list = form->ListView1;
  ASSERT_EQ(list->columnCount(), 4);
  const char* captions[] = {"Name", "Folder", "Raise", "Created"};
  const int widths[] = {200, 200, 50, 80};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(list->headerItem()->text(i), QLatin1String(captions[i]));
    EXPECT_EQ(list->columnWidth(i), widths[i]);
  }
  EXPECT_EQ(list->selectionBehavior(), QAbstractItemView::SelectRows);
  EXPECT_EQ(list->selectionMode(), QAbstractItemView::SingleSelection);
  EXPECT_EQ(list->editTriggers(), QAbstractItemView::NoEditTriggers);
}

TEST_F(OpenFormTest, EmptyListOkOnlyBeepsAndCancelCloses) {
  form->show();
  QTest::mouseClick(form->Button1, Qt::LeftButton);
  EXPECT_EQ(prompter.beeps, 1);
  EXPECT_TRUE(form->isVisible());
  QTest::mouseClick(form->Button2, Qt::LeftButton);
  EXPECT_EQ(form->result(), QDialog::Rejected);
  EXPECT_FALSE(form->isVisible());
}

TEST_F(OpenFormTest, OkWithoutSelectionBeepsThenOkWithSelectionHandsBackTheName) {
  form->AddRow(QStringLiteral("Docs"), QStringLiteral("/srv/docs"), QStringLiteral("TRUE"),
               QStringLiteral("01/02/2026"));
  form->AddRow(QStringLiteral("Music"), QStringLiteral("/srv/music"), QStringLiteral("FALSE"),
               QStringLiteral("03/02/2026 10:11:12"));
  form->show();
  QTest::mouseClick(form->Button1, Qt::LeftButton);
  EXPECT_EQ(prompter.beeps, 1);
  EXPECT_TRUE(form->isVisible());
  form->ListView1->setCurrentItem(form->ListView1->topLevelItem(1));
  QTest::mouseClick(form->Button1, Qt::LeftButton);
  EXPECT_EQ(form->result(), QDialog::Accepted);
  EXPECT_EQ(form->SelectedName(), QStringLiteral("Music"));
  EXPECT_EQ(form->ListView1->topLevelItem(1)->text(2), QStringLiteral("FALSE"));
}

TEST_F(OpenFormTest, DoubleClickOnARowActsLikeOk) {
  form->AddRow(QStringLiteral("Docs"), QStringLiteral("/srv/docs"), QStringLiteral("TRUE"),
               QStringLiteral("01/02/2026"));
  form->show();
  QTreeWidget* list = form->ListView1;
  const QRect row = list->visualItemRect(list->topLevelItem(0));
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row.center());
  QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, row.center());
  EXPECT_EQ(form->result(), QDialog::Accepted);
  EXPECT_FALSE(form->isVisible());
  EXPECT_EQ(form->SelectedName(), QStringLiteral("Docs"));
  EXPECT_EQ(prompter.beeps, 0);
}

}  // namespace
