// The restore and verify commands of the main window, and their command-line switches.
//
// The switches run the same engines the window does: /R: the restore window's run (shown
// while it works, its question off), /V: the verify run of the "Verify backup..." command.
// Reasons for what failed go to standard error without a display (Prompter::Report), the
// verify report to standard output.
#include <QCoreApplication>
#include <QLabel>
#include <QMenuBar>
#include <QTreeWidget>
#include <cstdio>
#include <limits>

#include "app/main_form.h"
#include "app/qt_text.h"
#include "app/workers.h"
#include "archive/zip_reader.h"
#include "catalogue/catalogue.h"
#include "dialogs/prompter.h"
#include "dialogs/restore_form.h"
#include "dialogs/zip_interaction.h"
#include "platform/text.h"
#include "restore/verify_run.h"
#include "restore/zip_reader_unpacker.h"

namespace app {

namespace {

// The longest project name a switch can give (the length of a command-line text).
constexpr std::size_t kSwitchNameLimit = 255;
// The verify box lists this many damaged archives per folder; the switch lists them all.
constexpr std::size_t kBoxListed = 20;

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

QString ErrorCaption() { return QStringLiteral("Error!"); }

// The verify run's window side: keeps the window painted.
class VerifyPump : public restore::VerifyObserver {
 public:
  void ProcessMessages() override { QCoreApplication::processEvents(); }
};

// The restore window's reader boxes come from the window itself.
struct ReaderInteraction {
  ReaderInteraction(archive::TZipReader& reader, dialogs::Prompter& prompter, QWidget* window)
      : reader_(reader), interaction_(prompter, window) {
    reader_.Interaction = &interaction_;
  }
  ~ReaderInteraction() { reader_.Interaction = nullptr; }
  archive::TZipReader& reader_;
  dialogs::TPromptingZipInteraction interaction_;
};

}  // namespace

void TMainForm::Button10Click() {
  restore::ZipReaderUnpacker unpacker(*ZipReader1);
  dialogs::TRestoreForm form(this, catalogue_, unpacker, &prompter_, CurrentProject,
                             [this] { RunGuarded(&TMainForm::Button9Click); });
  // Boxes of the reader come from the restore window, which stays painted while one large
  // archive is unpacked.
  ReaderInteraction interaction(*ZipReader1, prompter_, &form);
  form.setWindowTitle(QStringLiteral("Restore - ") + CurrentProject);
  form.SetWorkers(RunWorkers(chosenWorkers_), [&interaction] {
    return restore::MakeOwnReaderUnpacker(&interaction.interaction_);
  });
  // Only a folder that has been stored at least once has a backup to restore from.
  const QList<QTreeWidgetItem*> selected = ListView1->selectedItems();
  if (!selected.isEmpty() && selected.first()->text(3) != QStringLiteral("N/A")) {
    form.OfferSelectedFolder(SelectedPath());
  }
  form.exec();
}

void TMainForm::Verify1Click() {
  if (CurrentProject.isEmpty()) {
    prompter_.Beep();
    return;
  }
  Panel4->setText(QStringLiteral("Please wait..."));
  Panel4->repaint();
  centralWidget()->setEnabled(false);
  menuBar()->setEnabled(false);
  struct Unlock {
    TMainForm& form;
    ~Unlock() {
      form.Panel4->clear();
      form.centralWidget()->setEnabled(true);
      form.menuBar()->setEnabled(true);
    }
  } unlock{*this};
  archive::TZipReader reader;
  restore::ConfigureReaderForRestore(reader);
  ReaderInteraction interaction(reader, prompter_, this);
  restore::ZipReaderTester tester(reader);
  VerifyPump pump;
  restore::TVerifyRun run(catalogue_, tester, pump);
  const std::string project = ToUtf8(CurrentProject);
  const restore::VerifyResult result = run.Run(project);
  prompter_.ShowMessage(this, ToQString(restore::VerifyReport(project, result, kBoxListed, 0)),
                        QStringLiteral("Verify - ") + CurrentProject);
}

bool TMainForm::ProcessRestoreSwitch(const QString& argument, const std::string& upper) {
  // Folder and directory names keep their letter case; the project name is upper-cased as
  // /L: and /P: do.
  const QString value = argument.mid(3);
  const QString project =
      ToQString(std::string(platform::TruncateUtf8(upper.substr(3), kSwitchNameLimit)));
  if (StartsWith(upper, "/F:")) {
    restoreSwitches_.folder = value;
    restoreSwitches_.hasFolder = true;
  } else if (StartsWith(upper, "/T:")) {
    restoreSwitches_.target = value;
    restoreSwitches_.hasTarget = true;
  } else if (StartsWith(upper, "/O:")) {
    const std::string option = upper.substr(3);
    if (option == "REWRITE") {
      restoreSwitches_.option = static_cast<int>(restore::RestoreOption::RewriteAll);
    } else if (option == "MISSED") {
      restoreSwitches_.option = static_cast<int>(restore::RestoreOption::AppendMissed);
    } else if (option == "REFRESH") {
      restoreSwitches_.option = static_cast<int>(restore::RestoreOption::Refresh);
    } else {
      NoteOutcome(RunOutcome::Incomplete);
      prompter_.ShowMessage(this,
                            QStringLiteral("Unknown restore option \"") + value +
                                QStringLiteral("\": use /O:REWRITE, /O:MISSED or /O:REFRESH!"),
                            ErrorCaption());
    }
  } else if (StartsWith(upper, "/R:")) {
    const RestoreSwitches chosen = restoreSwitches_;
    // /F: and /T: serve one /R: only; the option stays.
    restoreSwitches_.hasFolder = restoreSwitches_.hasTarget = false;
    restoreSwitches_.folder.clear();
    restoreSwitches_.target.clear();
    if (chosen.hasTarget && !chosen.hasFolder) {
      NoteOutcome(RunOutcome::Incomplete);
      prompter_.ShowMessage(this,
                            QStringLiteral("/T: needs /F: to name the folder to restore: \"") +
                                argument + QStringLiteral("\" refused!"),
                            ErrorCaption());
      return true;
    }
    RestoreFromCommandLine(project, chosen);
  } else if (StartsWith(upper, "/V:")) {
    VerifyFromCommandLine(project);
  } else {
    return false;
  }
  return true;
}

void TMainForm::RestoreFromCommandLine(const QString& project, const RestoreSwitches& chosen) {
  const std::string name = ToUtf8(project);
  CurrentProject = project;
  LoadProject(CurrentProject);

  restore::RestoreRequest request;
  request.projectName = name;
  request.prompt = false;
  request.option = static_cast<restore::RestoreOption>(chosen.option);
  // An unknown project is the run's to refuse (logged and shown); a folder must be known.
  catalogue::TProjectRecord record;
  if (chosen.hasFolder && catalogue_.GetProject(name, record)) {
    catalogue::TFolderRecord folder;
    if (!catalogue_.GetFolder(name, ToUtf8(chosen.folder), folder)) {
      NoteOutcome(RunOutcome::Incomplete);
      prompter_.ShowMessage(this,
                            QStringLiteral("Folder \"") + chosen.folder +
                                QStringLiteral("\" is not in project \"") + project +
                                QStringLiteral("\"!"),
                            ErrorCaption());
      return;
    }
    request.selectedFolderOnly = true;
    request.selectedFolder = folder.Path;
    request.destination = chosen.hasTarget ? ToUtf8(chosen.target) : request.selectedFolder;
  }

  restore::ZipReaderUnpacker unpacker(*ZipReader1);
  dialogs::TRestoreForm form(this, catalogue_, unpacker, &prompter_, CurrentProject,
                             [this] { RunGuarded(&TMainForm::Button9Click); });
  ReaderInteraction interaction(*ZipReader1, prompter_, &form);
  form.setWindowTitle(QStringLiteral("Restore - ") + CurrentProject);
  form.SetWorkers(RunWorkers(chosenWorkers_), [&interaction] {
    return restore::MakeOwnReaderUnpacker(&interaction.interaction_);
  });
  form.onArchiveFailed = [this](const std::string& archivePath, const std::string& reason) {
    prompter_.Report(ToQString(restore::UnpackFailureLine(archivePath, reason)));
  };
  form.show();
  // An error that ends the run is noted by whoever catches it.
  if (!form.RunRequest(request).AllRestored()) NoteOutcome(RunOutcome::Incomplete);
}

void TMainForm::VerifyFromCommandLine(const QString& project) {
  const std::string name = ToUtf8(project);
  CurrentProject = project;
  LoadProject(CurrentProject);

  archive::TZipReader reader;
  restore::ConfigureReaderForRestore(reader);
  ReaderInteraction interaction(reader, prompter_, this);
  restore::ZipReaderTester tester(reader);
  VerifyPump pump;
  restore::TVerifyRun run(catalogue_, tester, pump);
  // An error that ends the run is noted by whoever catches it.
  const restore::VerifyResult result = run.Run(name);
  if (!result.refusal.empty()) {
    NoteOutcome(RunOutcome::Incomplete);
    prompter_.ShowMessage(this, ToQString(result.refusal), ErrorCaption());
    return;
  }
  const std::size_t all = std::numeric_limits<std::size_t>::max();
  std::fputs(restore::VerifyReport(name, result, all, all).c_str(), stdout);
  std::fflush(stdout);
  for (const restore::FolderVerifyResult& folder : result.folders) {
    if (!folder.backupFound) {
      prompter_.Report(ToQString(restore::NoBackupLine(folder)));
    }
    for (const restore::DamagedArchive& damaged : folder.damaged) {
      prompter_.Report(ToQString(restore::DamagedArchiveLine(damaged)));
    }
  }
  if (!result.Sound()) NoteOutcome(RunOutcome::Incomplete);
}

}  // namespace app
