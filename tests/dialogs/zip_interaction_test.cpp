// Protects the archive components' link to the windows: the reader's file filter reaches a
// Qt dialog in Qt's form, its boxes go through the Prompter (so tests and unattended runs
// answer them as every other box), window messages are handled during a long archive but
// not on every block, and a busy cursor never outlives the operation.
#include "dialogs/zip_interaction.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCursor>
#include <QTimer>
#include <chrono>
#include <thread>

#include "tests/dialogs/scripted_prompter.h"

namespace {

using testing_support::ScriptedPrompter;

TEST(ZipInteraction, FileFilterTakesQtsForm) {
  EXPECT_EQ(dialogs::QtFileFilter("Файл архива (*.ZIP)|*.zip|Все файлы (*.*)|*.*").toStdString(),
            "Файл архива (*.zip);;Все файлы (*.*)");
  EXPECT_EQ(dialogs::QtFileFilter("Jar|*.jar;*.JAR").toStdString(), "Jar (*.jar *.JAR)");
  EXPECT_EQ(dialogs::QtFileFilter("").toStdString(), "");
}

TEST(ZipInteraction, BoxesGoThroughThePrompter) {
  ScriptedPrompter prompter;
  prompter.yesNoAnswers = {true, false};
  dialogs::TPromptingZipInteraction interaction(prompter, nullptr);
  EXPECT_TRUE(interaction.AskYesNo("Replace existing file a.txt?", "File Exists Alert"));
  EXPECT_FALSE(interaction.ConfirmOkCancel("Insert disk 2", "Confirm"));
  interaction.ShowMessage("Unknown Compression Method", "Zip Error");
  ASSERT_EQ(prompter.boxes.size(), 3u);
  EXPECT_EQ(prompter.boxes[0].caption, "File Exists Alert");
  EXPECT_EQ(prompter.boxes[1].text, "Insert disk 2");
  EXPECT_EQ(prompter.boxes[2].kind, "message");
  EXPECT_EQ(prompter.boxes[2].text, "Unknown Compression Method");
  EXPECT_EQ(prompter.boxes[2].caption, "Zip Error");
}

TEST(ZipInteraction, MessagesAreHandledAtMostEveryFifteenMilliseconds) {
  ScriptedPrompter prompter;
  dialogs::TPromptingZipInteraction interaction(prompter, nullptr);
  int delivered = 0;
  QTimer::singleShot(0, [&delivered] { ++delivered; });
  interaction.ProcessMessages();  // the first call pumps
  EXPECT_EQ(delivered, 1);
  QTimer::singleShot(0, [&delivered] { ++delivered; });
  interaction.ProcessMessages();  // right after: skipped
  EXPECT_EQ(delivered, 1);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  interaction.ProcessMessages();
  EXPECT_EQ(delivered, 2);
}

TEST(ZipInteraction, BusyCursorIsRestoredEvenWhenTheOperationEndsEarly) {
  ScriptedPrompter prompter;
  {
    dialogs::TPromptingZipInteraction interaction(prompter, nullptr);
    interaction.SetBusy(true);
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    interaction.SetBusy(false);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    interaction.SetBusy(false);  // unbalanced: no effect
    interaction.SetBusy(true);   // an exception left it set
  }
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

}  // namespace
