// Protects the folder picker: the tree lists directories only, a drive choice moves the
// tree to that drive, a starting directory that does not exist falls back to the current
// directory, and browsing leaves the process's current directory alone (the backup and
// restore walks resolve relative folders against it).
#include "dialogs/select_folder_form.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

namespace {

QStringList ChildNames(QTreeWidgetItem* item) {
  QStringList names;
  for (int i = 0; i < item->childCount(); ++i) names.append(item->child(i)->text(0));
  return names;
}

class SelectFolderFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp.isValid());
    root = temp.path();
    QDir dir(root);
    for (const char* sub : {"driveA/alpha/deep", "driveA/Beta", "driveA/.hidden/inner",
                            "driveB/music", "driveB/photos"}) {
      ASSERT_TRUE(dir.mkpath(QLatin1String(sub)));
    }
    QFile file(root + QStringLiteral("/driveA/notes.txt"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    drives = {"/", (root + QStringLiteral("/driveA")).toStdString(),
              (root + QStringLiteral("/driveB")).toStdString()};
  }
  QTemporaryDir temp;
  QString root;
  std::vector<std::string> drives;
};

TEST_F(SelectFolderFormTest, ListsTheDrivesAndShowsOnlyVisibleDirectories) {
  dialogs::TSelectFolderForm picker(nullptr, drives);
  picker.SetStartDirectory(root + QStringLiteral("/driveA"));
  ASSERT_EQ(picker.DriveComboBox1->count(), 3);
  EXPECT_EQ(picker.DriveComboBox1->currentIndex(), 1);
  ASSERT_EQ(picker.DirectoryListBox1->topLevelItemCount(), 1);
  QTreeWidgetItem* top = picker.DirectoryListBox1->topLevelItem(0);
  EXPECT_EQ(top->text(0), root + QStringLiteral("/driveA"));
  EXPECT_EQ(ChildNames(top), (QStringList{QStringLiteral("alpha"), QStringLiteral("Beta")}));
  EXPECT_EQ(picker.Directory(), root + QStringLiteral("/driveA"));
}

TEST_F(SelectFolderFormTest, StartsDeepInsideADriveWithTheChainOpen) {
  dialogs::TSelectFolderForm picker(nullptr, drives);
  picker.SetStartDirectory(root + QStringLiteral("/driveA/alpha/deep"));
  EXPECT_EQ(picker.DriveComboBox1->currentIndex(), 1);
  EXPECT_EQ(picker.Directory(), root + QStringLiteral("/driveA/alpha/deep"));
  EXPECT_EQ(picker.DirectoryListBox1->currentItem()->text(0), QStringLiteral("deep"));
}

TEST_F(SelectFolderFormTest, AHiddenStartingDirectoryIsStillShown) {
  dialogs::TSelectFolderForm picker(nullptr, drives);
  picker.SetStartDirectory(root + QStringLiteral("/driveA/.hidden/inner"));
  EXPECT_EQ(picker.Directory(), root + QStringLiteral("/driveA/.hidden/inner"));
}

TEST_F(SelectFolderFormTest, ChoosingADriveMovesTheTreeThere) {
  dialogs::TSelectFolderForm picker(nullptr, drives);
  picker.SetStartDirectory(root + QStringLiteral("/driveA/alpha"));
  picker.show();
  picker.DriveComboBox1->setFocus();
  QTest::keyClick(picker.DriveComboBox1, Qt::Key_Down);  // the next drive: driveB
  EXPECT_EQ(picker.DriveComboBox1->currentIndex(), 2);
  EXPECT_EQ(picker.Directory(), root + QStringLiteral("/driveB"));
  QTreeWidgetItem* top = picker.DirectoryListBox1->topLevelItem(0);
  EXPECT_EQ(ChildNames(top), (QStringList{QStringLiteral("music"), QStringLiteral("photos")}));
  picker.DirectoryListBox1->setCurrentItem(top->child(1));
  QTest::mouseClick(picker.Button1, Qt::LeftButton);
  EXPECT_EQ(picker.result(), QDialog::Accepted);
  EXPECT_EQ(picker.Directory(), root + QStringLiteral("/driveB/photos"));
}

TEST_F(SelectFolderFormTest, ExpandingADirectoryListsItsSubdirectories) {
  dialogs::TSelectFolderForm picker(nullptr, drives);
  picker.SetStartDirectory(root + QStringLiteral("/driveA"));
  QTreeWidgetItem* alpha = picker.DirectoryListBox1->topLevelItem(0)->child(0);
  EXPECT_EQ(alpha->childCount(), 0);  // not read before it is opened
  alpha->setExpanded(true);
  EXPECT_EQ(ChildNames(alpha), QStringList{QStringLiteral("deep")});
}

TEST_F(SelectFolderFormTest, AMissingStartingDirectoryStartsInTheCurrentDirectory) {
  dialogs::TSelectFolderForm picker(nullptr, drives);
  picker.SetStartDirectory(root + QStringLiteral("/driveA/gone"));
  EXPECT_EQ(picker.Directory(), QDir::currentPath());
  EXPECT_EQ(picker.DriveComboBox1->currentText(), QStringLiteral("/"));
}

TEST_F(SelectFolderFormTest, RootIsAlwaysADrive) {
  dialogs::TSelectFolderForm picker(nullptr, {(root + QStringLiteral("/driveB")).toStdString()});
  ASSERT_EQ(picker.DriveComboBox1->count(), 2);
  EXPECT_EQ(picker.DriveComboBox1->itemText(0), QStringLiteral("/"));
}

TEST_F(SelectFolderFormTest, BrowsingLeavesTheCurrentDirectoryAlone) {
  const QString before = QDir::currentPath();
  {
    dialogs::TSelectFolderForm picker(nullptr);
    picker.SetStartDirectory(root + QStringLiteral("/driveB/music"));
    picker.show();
    picker.DirectoryListBox1->topLevelItem(0)->setExpanded(true);
    QTest::mouseClick(picker.Button1, Qt::LeftButton);
    EXPECT_EQ(picker.Directory(), root + QStringLiteral("/driveB/music"));
  }
  EXPECT_EQ(QDir::currentPath(), before);
}

}  // namespace
