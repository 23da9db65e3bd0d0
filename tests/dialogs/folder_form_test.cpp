// Protects the folder dialog: the mask list editing (duplicates ignoring case, Delete that
// hands a mask back for editing, Clear list), the OK checks with their message, the
// refusals that keep the catalogue's mask text intact (a mask holding "; ", a list longer
// than the 100 characters the record keeps) and a compression level that is always 1 to 9.
#include "dialogs/folder_form.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include "dialogs/select_folder_form.h"
#include "tests/dialogs/scripted_prompter.h"

namespace {

using testing_support::ScriptedPrompter;
using testing_support::WhenModal;

const std::string kOkMessage = "You must specify full folder path and at least one file mask!";

class FolderFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    form = std::make_unique<dialogs::TFolderForm>(nullptr, &prompter);
    form->setWindowTitle(QStringLiteral("New folder"));
    form->show();
  }
  void AddMask(const QString& mask) {
    form->Edit2->setText(mask);
    QTest::mouseClick(form->Button4, Qt::LeftButton);
  }
  void TypeLevel(const QString& text) {
    form->SpinEdit1->setFocus();
    form->SpinEdit1->selectAll();
    QTest::keyClick(form->SpinEdit1, Qt::Key_Delete);
    QTest::keyClicks(form->SpinEdit1, text);
  }
  void ExpectOkRefused(const std::string& text) {
    ASSERT_EQ(prompter.boxes.size(), 1u);
    EXPECT_EQ(prompter.boxes[0].text, text);
    EXPECT_EQ(prompter.boxes[0].caption, "Error!");
    EXPECT_TRUE(form->isVisible());
    EXPECT_NE(form->result(), QDialog::Accepted);
  }
  ScriptedPrompter prompter;
  std::unique_ptr<dialogs::TFolderForm> form;
};

TEST_F(FolderFormTest, StartsWithTheDesignDefaultsAndCaptions) {
  EXPECT_TRUE(form->Edit1->text().isEmpty());
  EXPECT_TRUE(form->Edit2->text().isEmpty());
  EXPECT_EQ(form->ListBox1->count(), 0);
  EXPECT_FALSE(form->CheckBox1->isChecked());
  EXPECT_EQ(form->SpinEdit1->minimum(), 1);
  EXPECT_EQ(form->SpinEdit1->maximum(), 9);
  EXPECT_EQ(form->Level(), 6);
  EXPECT_EQ(form->CheckBox1->text(), QStringLiteral("Exclude specifyed file types"));
  EXPECT_EQ(form->Button1->text(), QStringLiteral("Browse..."));
  EXPECT_EQ(form->Button2->text(), QStringLiteral("Clear list"));
  EXPECT_EQ(form->Button3->text(), QStringLiteral("Delete"));
  EXPECT_EQ(form->Button4->text(), QStringLiteral("Add"));
  EXPECT_TRUE(form->Button5->isDefault());
}

TEST_F(FolderFormTest, AddAppendsAsTypedAndClearsTheField) {
  AddMask(QStringLiteral("*.doc"));
  AddMask(QStringLiteral(" *.xls "));
  EXPECT_EQ(form->Masks(), (QStringList{QStringLiteral("*.doc"), QStringLiteral(" *.xls ")}));
  EXPECT_TRUE(form->Edit2->text().isEmpty());
}

TEST_F(FolderFormTest, AddIgnoresAnEmptyFieldAndAMaskListedInOtherCase) {
  AddMask(QString());
  EXPECT_EQ(form->ListBox1->count(), 0);
  AddMask(QStringLiteral("*.txt"));
  AddMask(QStringLiteral("*.TXT"));
  EXPECT_EQ(form->Masks(), QStringList{QStringLiteral("*.txt")});
  EXPECT_EQ(form->Edit2->text(), QStringLiteral("*.TXT"));
  // Case folding goes beyond ASCII: "é" and "É" are the same letter.
  AddMask(QStringLiteral("café.*"));
  AddMask(QStringLiteral("CAFÉ.*"));
  EXPECT_EQ(form->ListBox1->count(), 2);
  EXPECT_TRUE(prompter.boxes.empty());
}

TEST_F(FolderFormTest, AMaskHoldingTheSeparatorIsRefusedAndStaysInTheField) {
  AddMask(QStringLiteral("*.a; *.b"));
  ASSERT_EQ(prompter.boxes.size(), 1u);
  EXPECT_EQ(prompter.boxes[0].caption, "Error!");
  EXPECT_NE(prompter.boxes[0].text.find("; "), std::string::npos);
  EXPECT_EQ(form->ListBox1->count(), 0);
  EXPECT_EQ(form->Edit2->text(), QStringLiteral("*.a; *.b"));
  AddMask(QStringLiteral("*.a;*.b"));  // without the blank it is one mask
  EXPECT_EQ(form->ListBox1->count(), 1);
}

TEST_F(FolderFormTest, DeleteMovesTheSelectedMaskBackIntoTheField) {
  AddMask(QStringLiteral("*.doc"));
  AddMask(QStringLiteral("*.xls"));
  form->Edit2->setText(QStringLiteral("typed"));
  QTest::mouseClick(form->Button3, Qt::LeftButton);  // nothing selected: nothing happens
  EXPECT_EQ(form->ListBox1->count(), 2);
  EXPECT_EQ(form->Edit2->text(), QStringLiteral("typed"));
  form->ListBox1->setCurrentRow(0);
  QTest::mouseClick(form->Button3, Qt::LeftButton);
  EXPECT_EQ(form->Edit2->text(), QStringLiteral("*.doc"));
  EXPECT_EQ(form->Masks(), QStringList{QStringLiteral("*.xls")});
}

TEST_F(FolderFormTest, ClearListEmptiesTheListButNotTheField) {
  AddMask(QStringLiteral("*.doc"));
  form->Edit2->setText(QStringLiteral("*.pdf"));
  QTest::mouseClick(form->Button2, Qt::LeftButton);
  EXPECT_EQ(form->ListBox1->count(), 0);
  EXPECT_EQ(form->Edit2->text(), QStringLiteral("*.pdf"));
}

TEST_F(FolderFormTest, OkRefusesAnEmptyMaskList) {
  form->Edit1->setText(QStringLiteral("/home/anna/docs"));
  QTest::mouseClick(form->Button5, Qt::LeftButton);
  ExpectOkRefused(kOkMessage);
}

TEST_F(FolderFormTest, OkRefusesAShortPath) {
  form->Edit1->setText(QStringLiteral("/d"));
  AddMask(QStringLiteral("*"));
  QTest::mouseClick(form->Button5, Qt::LeftButton);
  ExpectOkRefused(kOkMessage);
}

TEST_F(FolderFormTest, OkRefusesARelativePathAndKeepsTheContents) {
  form->Edit1->setText(QStringLiteral("docs/2026"));
  AddMask(QStringLiteral("*.doc"));
  form->CheckBox1->setChecked(true);
  QTest::mouseClick(form->Button5, Qt::LeftButton);
  ExpectOkRefused(kOkMessage);
  EXPECT_EQ(form->Edit1->text(), QStringLiteral("docs/2026"));
  EXPECT_EQ(form->Masks(), QStringList{QStringLiteral("*.doc")});
  EXPECT_TRUE(form->CheckBox1->isChecked());
}

TEST_F(FolderFormTest, OkAcceptsAFullPathWithMasksThatNeedNotExist) {
  form->Edit1->setText(QStringLiteral("/no/such/folder"));
  AddMask(QStringLiteral("*.doc"));
  QTest::keyClick(form->Edit1, Qt::Key_Return);  // Enter runs OK
  EXPECT_TRUE(prompter.boxes.empty());
  EXPECT_EQ(form->result(), QDialog::Accepted);
  EXPECT_EQ(form->Level(), 6);
}

TEST_F(FolderFormTest, MasksThatJoinToMoreThanOneHundredCharactersAreRefusedAtOk) {
  form->Edit1->setText(QStringLiteral("/home/anna"));
  // Nine masks "*.mask<n>xyz" of 10 characters take 9 * 12 = 108 with their separators.
  for (int i = 1; i <= 9; ++i) AddMask(QStringLiteral("*.mask%1xyz").arg(i));
  QTest::mouseClick(form->Button5, Qt::LeftButton);
  ASSERT_EQ(prompter.boxes.size(), 1u);
  EXPECT_EQ(prompter.boxes[0].caption, "Error!");
  EXPECT_NE(prompter.boxes[0].text.find("108"), std::string::npos);
  EXPECT_NE(prompter.boxes[0].text.find("100"), std::string::npos);
  EXPECT_TRUE(form->isVisible());
  // Dropping one mask leaves 96 characters, which fit.
  form->ListBox1->setCurrentRow(8);
  QTest::mouseClick(form->Button3, Qt::LeftButton);
  QTest::mouseClick(form->Button5, Qt::LeftButton);
  EXPECT_EQ(prompter.boxes.size(), 1u);
  EXPECT_EQ(form->result(), QDialog::Accepted);
}

TEST_F(FolderFormTest, MasksOfExactlyOneHundredCharactersAreAccepted) {
  form->Edit1->setText(QStringLiteral("/home/anna"));
  AddMask(QString(98, QLatin1Char('a')));  // 98 + "; " = 100
  QTest::mouseClick(form->Button5, Qt::LeftButton);
  EXPECT_TRUE(prompter.boxes.empty());
  EXPECT_EQ(form->result(), QDialog::Accepted);
}

TEST_F(FolderFormTest, CompressionStepsWithinOneToNine) {
  form->SpinEdit1->setFocus();
  for (int i = 0; i < 5; ++i) QTest::keyClick(form->SpinEdit1, Qt::Key_Up);
  EXPECT_EQ(form->Level(), 9);
  for (int i = 0; i < 12; ++i) QTest::keyClick(form->SpinEdit1, Qt::Key_Down);
  EXPECT_EQ(form->Level(), 1);
}

TEST_F(FolderFormTest, CompressionRefusesLettersWithABeep) {
  TypeLevel(QStringLiteral("3"));
  QTest::keyClick(form->SpinEdit1, Qt::Key_A);
  EXPECT_EQ(prompter.beeps, 1);
  EXPECT_EQ(form->Level(), 3);
}

TEST_F(FolderFormTest, CompressionHandsBackOnlyOneToNineWhateverWasTyped) {
  TypeLevel(QString());
  EXPECT_EQ(form->Level(), 1);  // no whole number
  TypeLevel(QStringLiteral("0"));
  EXPECT_EQ(form->Level(), 1);
  TypeLevel(QStringLiteral("-5"));
  EXPECT_EQ(form->Level(), 1);
  TypeLevel(QStringLiteral("42"));
  EXPECT_EQ(form->Level(), 9);
  TypeLevel(QStringLiteral("8"));
  EXPECT_EQ(form->Level(), 8);
}

TEST_F(FolderFormTest, CompressionOutOfRangeGoesToTheNearerBoundWhenTheFieldIsLeft) {
  form->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  TypeLevel(QStringLiteral("12"));
  EXPECT_EQ(form->SpinEdit1->text(), QStringLiteral("12"));  // typed as is
  form->Edit1->setFocus();
  EXPECT_EQ(form->SpinEdit1->text(), QStringLiteral("9"));
  EXPECT_EQ(form->SpinEdit1->value(), 9);
  TypeLevel(QStringLiteral("-3"));
  form->Edit1->setFocus();
  EXPECT_EQ(form->SpinEdit1->value(), 1);
  TypeLevel(QString());
  form->Edit1->setFocus();
  EXPECT_EQ(form->SpinEdit1->value(), 1);
}

TEST_F(FolderFormTest, BrowsePutsThePickedFolderIntoThePathField) {
  QTemporaryDir temp;
  WhenModal<dialogs::TSelectFolderForm>([](dialogs::TSelectFolderForm* picker) {
    QTest::mouseClick(picker->Button1, Qt::LeftButton);
  });
  form->Edit1->setText(temp.path() + QStringLiteral("/./"));
  QTest::mouseClick(form->Button1, Qt::LeftButton);
  EXPECT_EQ(form->Edit1->text(), temp.path());
}

}  // namespace
