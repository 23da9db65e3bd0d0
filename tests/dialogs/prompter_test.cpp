// Protects the real message boxes of the restore confirmation: the question icon, the four
// buttons with "All" for the last, and the answer each button gives.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QMessageBox>

#include "dialogs/prompter.h"
#include "tests/dialogs/scripted_prompter.h"

namespace {

dialogs::Answer AnswerByClicking(QMessageBox::StandardButton which) {
  testing_support::WhenModal<QMessageBox>([which](QMessageBox* box) {
    EXPECT_EQ(box->icon(), QMessageBox::Question);
    EXPECT_EQ(box->windowTitle(), QStringLiteral("Confirm"));
    EXPECT_EQ(box->button(QMessageBox::YesToAll)->text(), QStringLiteral("All"));
    EXPECT_NE(box->button(QMessageBox::Abort), nullptr);
    box->button(which)->click();
  });
  dialogs::QtPrompter prompter;
  return prompter.AskYesNoAbortAll(nullptr, QStringLiteral("Are you want to replace file \"/x\"?"),
                                   QStringLiteral("Confirm"));
}

TEST(QtPrompter, ReplaceConfirmationAsksWithTheQuestionIconAndFourButtons) {
  EXPECT_EQ(AnswerByClicking(QMessageBox::Yes), dialogs::Answer::Yes);
  EXPECT_EQ(AnswerByClicking(QMessageBox::No), dialogs::Answer::No);
  EXPECT_EQ(AnswerByClicking(QMessageBox::Abort), dialogs::Answer::Abort);
  EXPECT_EQ(AnswerByClicking(QMessageBox::YesToAll), dialogs::Answer::All);
}

}  // namespace
