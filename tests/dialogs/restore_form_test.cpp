// Protects the restore window as a user meets it: its controls and their starting states,
// the "Selected folder" offer and the destination controls that follow it, the warning
// that guards every run, the messages and the overwrite question with their exact texts,
// controls that stay disabled while a run goes on and come back afterwards (also after an
// error ended the run), and the log a run leaves. The archive reader is replaced by a fake
// that writes a known text, so the files on disk show exactly which archives were handed
// over; real extraction is covered by the restore engine's own tests.
#include "dialogs/restore_form.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <deque>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "archive/zip_errors.h"
#include "catalogue/catalogue.h"
#include "dialogs/select_folder_form.h"
#include "tests/dialogs/scripted_prompter.h"
#include "tests/support/files.h"

namespace fs = std::filesystem;

namespace {

using testing_support::ScriptedPrompter;
using testing_support::WhenModal;

using testsupport::ReadText;

const std::string kWarning = "This will start restore process and may damage your files!";

// Writes "from <archive name>" to the target; an archive named bad.ZIP fails the way the
// reader fails on a file that is no ZIP archive, and one named fatal.ZIP raises an error
// that is not the reader's (as the event log's would be), which ends a run.
class FakeUnpacker : public restore::ArchiveUnpacker {
 public:
  int Unpack(const std::string& archivePath, const std::string& destDir) override {
    const std::string name = fs::path(archivePath).filename().string();
    if (name == "bad.ZIP") throw archive::EBadZipFile("Not a valid zip file!");
    if (name == "fatal.ZIP") throw std::runtime_error("Disk full");
    std::ofstream(destDir + "/" + name.substr(0, name.size() - 4)) << "from " << name;
    return 1;
  }
};

// Also scripts the Yes/No/Abort/All question, and can look at the window while it is asked.
class RestorePrompter : public ScriptedPrompter {
 public:
  dialogs::Answer AskYesNoAbortAll(QWidget* parent, const QString& text,
                                   const QString& caption) override {
    ScriptedPrompter::AskYesNoAbortAll(parent, text, caption);
    if (whileAsked) whileAsked();
    if (replaceAnswers.empty()) {
      ADD_FAILURE() << "unscripted question: " << text.toStdString();
      return dialogs::Answer::No;
    }
    const dialogs::Answer answer = replaceAnswers.front();
    replaceAnswers.pop_front();
    return answer;
  }
  std::deque<dialogs::Answer> replaceAnswers;
  std::function<void()> whileAsked;
};

class RestoreFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    root = dir.path().toStdString();
    ASSERT_TRUE(
        catalogue.OpenCatalogue(root + "/Rpoject.vrn", root + "/Folder.vrn", root + "/Log.vrn"));
    ASSERT_TRUE(catalogue.AddProject("Home", root + "/store", false));
    form =
        std::make_unique<dialogs::TRestoreForm>(nullptr, catalogue, unpacker, &prompter,
                                                QStringLiteral("Home"), [this] { ++viewLogCalls; });
  }
  void TearDown() override {
    form.reset();
    catalogue.CloseCatalogue();
  }
  // A source folder of the project with archives for the given file names.
  std::string AddBackedUpFolder(const std::string& name, const std::vector<std::string>& files) {
    const std::string path = root + "/src/" + name;
    EXPECT_TRUE(catalogue.AddFolder("Home", path, "*; ", true, 6));
    fs::create_directories(root + "/store" + path);
    for (const std::string& file : files) std::ofstream(root + "/store" + path + "/" + file);
    return path;
  }
  std::vector<std::string> LogTexts() {
    std::vector<std::string> lines;
    catalogue.LoadLog(&lines);
    std::vector<std::string> texts;
    for (const std::string& line : lines) {
      const std::size_t gap = line.find("   ");
      texts.push_back(gap == std::string::npos ? line : line.substr(gap + 3));
    }
    return texts;
  }
  void ExpectIdleControls(bool destinationEnabled) {
    EXPECT_TRUE(form->Button1->isEnabled());
    EXPECT_TRUE(form->Button2->isEnabled());
    EXPECT_TRUE(form->Button3->isEnabled());
    EXPECT_TRUE(form->RadioGroup1->isEnabled());
    EXPECT_TRUE(form->RadioGroup2->isEnabled());
    EXPECT_TRUE(form->CheckBox1->isEnabled());
    EXPECT_EQ(form->Edit1->isEnabled(), destinationEnabled);
    EXPECT_EQ(form->Button4->isEnabled(), destinationEnabled);
  }

  QTemporaryDir dir;
  std::string root;
  catalogue::TCatalogue catalogue;
  FakeUnpacker unpacker;
  RestorePrompter prompter;
  int viewLogCalls = 0;
  std::unique_ptr<dialogs::TRestoreForm> form;
};

TEST_F(RestoreFormTest, StartsWithEveryControlInItsFirstState) {
  ASSERT_EQ(form->RadioGroup1->Count(), 1);
  EXPECT_EQ(form->RadioGroup1->title(), QStringLiteral(" Restore: "));
  EXPECT_EQ(form->RadioGroup1->Item(0)->text(), QStringLiteral("All folders"));
  EXPECT_EQ(form->RadioGroup1->ItemIndex(), 0);
  ASSERT_EQ(form->RadioGroup2->Count(), 3);
  EXPECT_EQ(form->RadioGroup2->title(), QStringLiteral(" Options "));
  EXPECT_EQ(form->RadioGroup2->Item(0)->text(), QStringLiteral("Rewrite all files"));
  EXPECT_EQ(form->RadioGroup2->Item(1)->text(), QStringLiteral("Append missed"));
  EXPECT_EQ(form->RadioGroup2->Item(2)->text(), QStringLiteral("Refresh"));
  EXPECT_EQ(form->RadioGroup2->ItemIndex(), 1);
  EXPECT_EQ(form->CheckBox1->text(), QStringLiteral("Prompt to overwrite files"));
  EXPECT_TRUE(form->CheckBox1->isChecked());
  EXPECT_EQ(form->Label3->text(), QStringLiteral("Restore to:"));
  EXPECT_FALSE(form->Label3->isEnabled());
  EXPECT_TRUE(form->Edit1->text().isEmpty());
  EXPECT_EQ(form->Button4->text(), QStringLiteral("Browse..."));
  EXPECT_EQ(form->GroupBox1->title(), QStringLiteral(" Progress "));
  EXPECT_EQ(form->Label1->text(), QStringLiteral("Folder:"));
  EXPECT_EQ(form->Label2->text(), QStringLiteral("File:"));
  EXPECT_TRUE(form->Panel1->Text().isEmpty());
  EXPECT_TRUE(form->Panel2->Text().isEmpty());
  EXPECT_EQ(form->ProgressBar1->minimum(), 0);
  EXPECT_EQ(form->ProgressBar1->maximum(), 10);
  EXPECT_EQ(form->ProgressBar1->value(), 0);
  EXPECT_EQ(form->Button1->text(), QStringLiteral("Start!"));
  EXPECT_TRUE(form->Button1->isDefault());
  EXPECT_EQ(form->Button2->text(), QStringLiteral("Close"));
  EXPECT_EQ(form->Button3->text(), QStringLiteral("View log..."));
  ExpectIdleControls(false);
}

TEST_F(RestoreFormTest, SelectedFolderOfferSelectsItAndFillsTheDestination) {
  form->OfferSelectedFolder(QStringLiteral("/data/Docs"));

  ASSERT_EQ(form->RadioGroup1->Count(), 2);
  EXPECT_EQ(form->RadioGroup1->Item(1)->text(), QStringLiteral("Selected folder"));
  EXPECT_EQ(form->RadioGroup1->ItemIndex(), 1);
  EXPECT_EQ(form->Edit1->text(), QStringLiteral("/data/Docs"));
  EXPECT_TRUE(form->Label3->isEnabled());
  ExpectIdleControls(true);

  form->RadioGroup1->Item(0)->click();
  EXPECT_FALSE(form->Label3->isEnabled());
  ExpectIdleControls(false);
  form->RadioGroup1->Item(1)->click();
  EXPECT_TRUE(form->Label3->isEnabled());
  ExpectIdleControls(true);
}

TEST_F(RestoreFormTest, AnsweringNoToTheWarningDoesNothing) {
  const std::string docs = AddBackedUpFolder("Docs", {"a.txt.ZIP"});
  prompter.yesNoAnswers = {false};

  form->Button1->click();

  ASSERT_EQ(prompter.boxes.size(), 1u);
  EXPECT_EQ(prompter.boxes[0].kind, "yesno");
  EXPECT_EQ(prompter.boxes[0].text, kWarning);
  EXPECT_EQ(prompter.boxes[0].caption, "Warning!");
  EXPECT_TRUE(LogTexts().empty());
  EXPECT_FALSE(fs::exists(docs));
}

TEST_F(RestoreFormTest, StartRestoresEveryFolderAndComesBackIdle) {
  const std::string docs = AddBackedUpFolder("Docs", {"a.txt.ZIP", "b.txt.ZIP"});
  const std::string mail = AddBackedUpFolder("Mail", {"c.txt.ZIP"});
  prompter.yesNoAnswers = {true};

  form->Button1->click();

  EXPECT_EQ(ReadText(docs + "/a.txt"), "from a.txt.ZIP");
  EXPECT_EQ(ReadText(docs + "/b.txt"), "from b.txt.ZIP");
  EXPECT_EQ(ReadText(mail + "/c.txt"), "from c.txt.ZIP");
  EXPECT_EQ(prompter.boxes.size(), 1u);  // the warning only: Append missed never asks
  EXPECT_EQ(form->ProgressBar1->maximum(), 2);
  EXPECT_EQ(form->ProgressBar1->value(), 2);
  EXPECT_TRUE(form->Panel1->Text().isEmpty());
  EXPECT_TRUE(form->Panel2->Text().isEmpty());
  ExpectIdleControls(false);
  EXPECT_EQ(LogTexts(),
            (std::vector<std::string>{
                "Starting restore process...", "Restoring folder \"" + docs + "\"...",
                "File \"a.txt.ZIP\" was unpacked.", "File \"b.txt.ZIP\" was unpacked.",
                "Folder \"" + docs + "\" restored.", "Restoring folder \"" + mail + "\"...",
                "File \"c.txt.ZIP\" was unpacked.", "Folder \"" + mail + "\" restored.",
                "Restoring complette!", ""}));
}

TEST_F(RestoreFormTest, ControlsAreDisabledWhileTheRunAsksAndTheWindowStaysOpen) {
  const std::string docs = AddBackedUpFolder("Docs", {"a.txt.ZIP"});
  form->OfferSelectedFolder(QString::fromStdString(docs));
  form->Edit1->setText(QString::fromStdString(root + "/elsewhere"));
  form->RadioGroup2->Item(0)->click();  // Rewrite all files, with the prompt
  form->show();
  prompter.yesNoAnswers = {true};
  prompter.replaceAnswers = {dialogs::Answer::Yes};
  prompter.whileAsked = [this, docs] {
    EXPECT_FALSE(form->Button1->isEnabled());
    EXPECT_FALSE(form->Button2->isEnabled());
    EXPECT_FALSE(form->Button3->isEnabled());
    EXPECT_FALSE(form->Button4->isEnabled());
    EXPECT_FALSE(form->RadioGroup1->isEnabled());
    EXPECT_FALSE(form->RadioGroup2->isEnabled());
    EXPECT_FALSE(form->CheckBox1->isEnabled());
    EXPECT_FALSE(form->Edit1->isEnabled());
    EXPECT_EQ(form->Panel1->Text(), QString::fromStdString(docs));
    EXPECT_EQ(form->ProgressBar1->maximum(), 1);
    form->reject();  // Esc or the close box while running
    EXPECT_TRUE(form->isVisible());
  };

  form->Button1->click();

  ASSERT_EQ(prompter.boxes.size(), 2u);
  EXPECT_EQ(prompter.boxes[1].kind, "yesnoabortall");
  EXPECT_EQ(prompter.boxes[1].caption, "Confirm");
  EXPECT_EQ(prompter.boxes[1].text,
            "Are you want to replace file \"" + root + "/elsewhere/a.txt\"?");
  EXPECT_EQ(ReadText(root + "/elsewhere/a.txt"), "from a.txt.ZIP");
  EXPECT_EQ(form->ProgressBar1->value(), 1);
  ExpectIdleControls(true);
  EXPECT_TRUE(form->isVisible());
}

TEST_F(RestoreFormTest, AbortAnswerStartsNoFurtherFolder) {
  const std::string docs = AddBackedUpFolder("Docs", {"a.txt.ZIP", "b.txt.ZIP"});
  const std::string mail = AddBackedUpFolder("Mail", {"c.txt.ZIP"});
  form->RadioGroup2->Item(0)->click();
  prompter.yesNoAnswers = {true};
  prompter.replaceAnswers = {dialogs::Answer::Abort};

  form->Button1->click();

  EXPECT_FALSE(fs::exists(docs + "/a.txt"));
  EXPECT_FALSE(fs::exists(docs + "/b.txt"));
  EXPECT_FALSE(fs::exists(mail));
  EXPECT_EQ(form->ProgressBar1->value(), 1);
  EXPECT_EQ(LogTexts(), (std::vector<std::string>{
                            "Starting restore process...", "Restoring folder \"" + docs + "\"...",
                            "Folder \"" + docs + "\" restored.", "Restoring complette!", ""}));
}

TEST_F(RestoreFormTest, EmptyDestinationIsRefusedWithItsMessage) {
  const std::string docs = AddBackedUpFolder("Docs", {"a.txt.ZIP"});
  form->OfferSelectedFolder(QString::fromStdString(docs));
  form->Edit1->clear();
  prompter.yesNoAnswers = {true};

  form->Button1->click();

  ASSERT_EQ(prompter.boxes.size(), 2u);
  EXPECT_EQ(prompter.boxes[1].kind, "message");
  EXPECT_EQ(prompter.boxes[1].text, "You must specify destination folder!");
  EXPECT_EQ(prompter.boxes[1].caption, "Error!");
  EXPECT_EQ(form->ProgressBar1->value(), 0);
  EXPECT_EQ(LogTexts(),
            (std::vector<std::string>{"Starting restore process...", "Restoring complette!", ""}));
  ExpectIdleControls(true);
}

TEST_F(RestoreFormTest, MissingBackupIsReported) {
  const std::string path = root + "/src/Never";
  ASSERT_TRUE(catalogue.AddFolder("Home", path, "*; ", true, 6));
  prompter.yesNoAnswers = {true};

  form->Button1->click();

  ASSERT_EQ(prompter.boxes.size(), 2u);
  EXPECT_EQ(prompter.boxes[1].text, "Can't find backup for selected folder, restoring failed!");
  EXPECT_EQ(prompter.boxes[1].caption, "Error!");
  EXPECT_TRUE(fs::is_directory(path));
}

TEST_F(RestoreFormTest, ReaderErrorFailsTheArchiveAloneWithoutABox) {
  const std::string docs = AddBackedUpFolder("Docs", {"bad.ZIP", "good.txt.ZIP"});
  prompter.yesNoAnswers = {true};

  form->Button1->click();

  ASSERT_EQ(prompter.boxes.size(), 1u);  // the warning only
  EXPECT_EQ(ReadText(docs + "/good.txt"), "from good.txt.ZIP");
  const auto log = LogTexts();
  ASSERT_EQ(log.size(), 7u);
  EXPECT_EQ(log[2], "Error unpacking file \"bad.ZIP\"!");
  EXPECT_EQ(log[3], "File \"good.txt.ZIP\" was unpacked.");
  ExpectIdleControls(false);
}

TEST_F(RestoreFormTest, AnErrorThatEndsTheRunIsShownAndTheWindowIsUsableAgain) {
  AddBackedUpFolder("Docs", {"fatal.ZIP", "good.txt.ZIP"});
  prompter.yesNoAnswers = {true};

  form->Button1->click();

  ASSERT_EQ(prompter.boxes.size(), 2u);
  EXPECT_EQ(prompter.boxes[1].kind, "fatal");
  EXPECT_EQ(prompter.boxes[1].text, "Disk full");
  ExpectIdleControls(false);
  const auto log = LogTexts();
  ASSERT_EQ(log.size(), 2u);  // no per-archive and no closing entries
  EXPECT_EQ(log[0], "Starting restore process...");
}

TEST_F(RestoreFormTest, ViewLogRunsTheMainWindowsCommand) {
  form->Button3->click();
  EXPECT_EQ(viewLogCalls, 1);
}

TEST_F(RestoreFormTest, BrowseStartsAtTheDestinationAndTakesTheChosenFolder) {
  const std::string start = root + "/start";
  fs::create_directories(start + "/inner");
  form->OfferSelectedFolder(QString::fromStdString(start));
  WhenModal<dialogs::TSelectFolderForm>([](dialogs::TSelectFolderForm* picker) {
    EXPECT_EQ(picker->windowTitle(), QStringLiteral("Select folder"));
    picker->Button1->click();
  });

  form->Button4->click();

  EXPECT_EQ(form->Edit1->text(), QString::fromStdString(start));
}

TEST_F(RestoreFormTest, CloseButtonClosesTheWindow) {
  form->show();
  form->Button2->click();
  EXPECT_FALSE(form->isVisible());
}

}  // namespace
