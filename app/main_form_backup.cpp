// Backup runs, the log and help windows, and the window's side of the command-line switches.
//
// The runs themselves are the backup engine's (backup/backup_run.h); this file gives them a
// window: the progress window, message pumping, the "Unable to process file" box, and the
// main window's commands held back while a run is going.
#include <QAction>
#include <QCoreApplication>
#include <QLabel>
#include <QMenu>
#include <QTreeWidget>
#include <memory>

#include "app/main_form.h"
#include "app/qt_text.h"
#include "archive/zip_writer.h"
#include "backup/backup_run.h"
#include "backup/zip_archiver.h"
#include "catalogue/catalogue.h"
#include "console/stderr_boxes.h"
#include "console/workers.h"
#include "dialogs/about_form.h"
#include "dialogs/log_form.h"
#include "dialogs/pace.h"
#include "dialogs/progress_form.h"
#include "dialogs/prompter.h"
#include "dialogs/switch_form.h"
#include "dialogs/zip_interaction.h"

namespace app {

using console::RunOutcome;
using console::RunWorkers;

namespace {

// Holds back the main window's commands that would touch the catalogue or start another
// run, for as long as a run is going: the Project, Folder, Processing and Cleaning menus, the
// folder list and the three buttons. Help stays available. Reapply() is called after the
// window showed a project in the middle of a run (LoadProject enables the project
// commands again).
class RunLock {
 public:
  explicit RunLock(TMainForm& form) : form_(form) { Reapply(); }
  ~RunLock() {
    for (QMenu* menu : {form_.ProjectMenu, form_.ProcessingMenu, form_.CleaningMenu}) {
      menu->menuAction()->setEnabled(true);
    }
    // The Folder menu belongs to the project command group: it follows the group's state.
    form_.FolderMenu->menuAction()->setEnabled(form_.EditProject1->isEnabled());
    form_.centralWidget()->setEnabled(true);
  }
  void Reapply() {
    for (QMenu* menu :
         {form_.ProjectMenu, form_.FolderMenu, form_.ProcessingMenu, form_.CleaningMenu}) {
      menu->menuAction()->setEnabled(false);
    }
    form_.centralWidget()->setEnabled(false);
  }

 private:
  TMainForm& form_;
};

// The window side of a run: the progress window, the message loop, the boxes.
class RunObserver : public backup::BackupObserver {
 public:
  RunObserver(TMainForm& form, dialogs::Prompter& prompter, RunLock& lock)
      : form_(form), prompter_(prompter), lock_(lock) {}

  void RunStarted(const std::string& project, int folderCount) override {
    form_.CancelRequested = false;
    // Start all projects makes each project current in turn, so that the window shows it
    // at the end of its run.
    form_.CurrentProject = ToQString(project);
    progress_ =
        std::make_unique<dialogs::TProgressForm>(&form_, [this] { form_.CancelRequested = true; });
    progress_->SetFolderCount(folderCount);
    progress_->SetProject(ToQString(project));
    progress_->show();
  }
  void FolderStarted(const std::string& path) override {
    if (progress_) progress_->SetFolder(ToQString(path));
  }
  void FileAttempted(const std::string& filePath) override {
    pendingFile_ = ToQString(filePath);
    if (filePaint_.Due()) ShowPendingFile();
  }
  void FolderFinished() override {
    ShowPendingFile();
    if (progress_) progress_->StepFolder();
  }
  void RunFinished(const std::string&) override {
    progress_.reset();
    form_.LoadProject(form_.CurrentProject);
    lock_.Reapply();
  }
  void PumpMessages() override {
    if (pump_.Due()) QCoreApplication::processEvents();
  }
  bool CancelRequested() override {
    // The folder boundary is where Cancel takes effect: serve a click that is waiting.
    QCoreApplication::processEvents();
    pump_.Reset();
    return form_.CancelRequested;
  }
  void ShowMessage(const std::string& text) override {
    prompter_.ShowMessage(&form_, ToQString(text), ToQString(console::ApplicationTitle()));
  }
  void ShowError(const std::string& text) override {
    prompter_.ShowMessage(&form_, ToQString(text), QStringLiteral("Error!"));
  }
  void ReportFailure(const std::string& line) override { prompter_.Report(ToQString(line)); }

 private:
  void ShowPendingFile() {
    if (progress_ && !pendingFile_.isEmpty()) progress_->SetFile(pendingFile_);
    pendingFile_.clear();
  }

  TMainForm& form_;
  dialogs::Prompter& prompter_;
  RunLock& lock_;
  std::unique_ptr<dialogs::TProgressForm> progress_;
  QString pendingFile_;
  dialogs::Pace pump_{dialogs::kPumpInterval};
  dialogs::Pace filePaint_{dialogs::kFileFieldInterval};
};

// The writer of one run, which keeps the window painted while a large file is compressed,
// and the run's workers when it stores several files at once.
struct RunWriter {
  RunWriter(dialogs::Prompter& prompter, QWidget* window) : interaction(prompter, window) {
    writer.Interaction = &interaction;
  }
  void Configure(backup::BackupRun& run, int workers) const {
    run.SetWorkers(workers, [] { return backup::MakeOwnWriterArchiver(); });
  }
  dialogs::TPromptingZipInteraction interaction;
  archive::TZipWriter writer;
};

}  // namespace

void TMainForm::Button6Click() {
  if (CurrentProject.isEmpty()) {
    prompter_.Beep();
    return;
  }
  RunLock lock(*this);
  RunObserver observer(*this, prompter_, lock);
  RunWriter runWriter(prompter_, this);
  backup::ZipWriterArchiver archiver(runWriter.writer);
  backup::BackupRun run(catalogue_, archiver, observer);
  runWriter.Configure(run, RunWorkers(chosenWorkers_));
  // An error that ends the run is noted by whoever catches it (RunGuarded).
  run.ProcessProject(ToUtf8(CurrentProject));
  if (!run.Totals().Complete()) NoteOutcome(RunOutcome::Incomplete);
}

void TMainForm::Startallprojects1Click() {
  const QString remembered = CurrentProject;
  {
    RunLock lock(*this);
    RunObserver observer(*this, prompter_, lock);
    RunWriter runWriter(prompter_, this);
    backup::ZipWriterArchiver archiver(runWriter.writer);
    backup::BackupRun run(catalogue_, archiver, observer);
    runWriter.Configure(run, RunWorkers(chosenWorkers_));
    try {
      run.ProcessAllProjects();
    } catch (...) {
      if (!run.Totals().Complete()) NoteOutcome(RunOutcome::Incomplete);
      CurrentProject = remembered;
      // Show the remembered project again if the catalogue still answers; the error that
      // ended the run is the one to report.
      try {
        LoadProject(CurrentProject);
      } catch (...) {
      }
      throw;
    }
    if (!run.Totals().Complete()) NoteOutcome(RunOutcome::Incomplete);
  }
  CurrentProject = remembered;
  LoadProject(CurrentProject);
}

void TMainForm::Button9Click() {
  Panel4->setText(QStringLiteral("Please wait..."));
  Panel4->repaint();
  std::vector<std::string> lines;
  try {
    catalogue_.LoadLog(&lines);
  } catch (...) {
    Panel4->clear();
    throw;
  }
  QStringList qLines;
  qLines.reserve(static_cast<int>(lines.size()));
  for (const std::string& line : lines) qLines.push_back(ToQString(line));
  dialogs::TLogForm form(this, &prompter_, qLines, [this] { catalogue_.ClearLog(); });
  Panel4->clear();
  form.exec();
}

void TMainForm::Commandline1Click() {
  dialogs::TSwitchForm form(this);
  form.exec();
}

void TMainForm::About1Click() {
  dialogs::TAboutForm form(this);
  form.setWindowTitle(QStringLiteral("About Varnholt v0.1b"));
  form.exec();
}

void TMainForm::ShowProject(const std::string& name) {
  CurrentProject = ToQString(name);
  LoadProject(CurrentProject);
}

void TMainForm::ShowMessage(const std::string& text, const std::string& caption) {
  prompter_.ShowMessage(this, ToQString(text), ToQString(caption));
}

void TMainForm::ShowError(const std::string& text) { ShowError(ToQString(text)); }

void TMainForm::Report(const std::string& line) { prompter_.Report(ToQString(line)); }

}  // namespace app
