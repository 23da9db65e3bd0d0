#include "console/unattended.h"

#include <exception>
#include <functional>

#include "archive/zip_reader.h"
#include "archive/zip_writer.h"
#include "backup/backup_run.h"
#include "backup/zip_archiver.h"
#include "catalogue/catalogue.h"
#include "console/exit_status.h"
#include "console/settings.h"
#include "console/stderr_boxes.h"
#include "console/switches.h"
#include "console/workers.h"
#include "platform/file_info.h"
#include "platform/file_system.h"
#include "restore/zip_reader_unpacker.h"

namespace console {

const char kNeedsDisplayText[] =
    "varnholt: the window needs a display (DISPLAY or WAYLAND_DISPLAY).\n"
    "Unattended use: varnholt \"/P:<project>\" /EXIT   or   varnholt /ALL /EXIT\n";

namespace {

const std::string kErrorCaption = "Error!";

// A backup run that nobody watches: nothing to paint, no Cancel to press.
class QuietBackupObserver : public backup::BackupObserver {
 public:
  void RunStarted(const std::string&, int) override {}
  void FolderStarted(const std::string&) override {}
  void FileAttempted(const std::string&) override {}
  void FolderFinished() override {}
  void RunFinished(const std::string&) override {}
  void PumpMessages() override {}
  bool CancelRequested() override { return false; }
  void ShowMessage(const std::string& text) override { WriteBoxLine(ApplicationTitle(), text); }
  void ShowError(const std::string& text) override { WriteBoxLine(kErrorCaption, text); }
  void ReportFailure(const std::string& line) override { WriteReportLine(line); }
};

class QuietRestoreObserver : public restore::RestoreObserver {
 public:
  void ProgressStarted(int) override {}
  void FolderStarted(const std::string&) override {}
  void ArchiveStarted(const std::string&) override {}
  void FolderFinished() override {}
  void ProcessMessages() override {}
  void ShowError(const std::string& text) override { WriteBoxLine(kErrorCaption, text); }
  restore::ReplaceAnswer AskReplace(const std::string& question) override {
    AnswerNo(question, "Confirm");
    return restore::ReplaceAnswer::No;
  }
  void ArchiveFailed(const std::string& archivePath, const std::string& reason) override {
    WriteReportLine(restore::UnpackFailureLine(archivePath, reason));
  }
};

// The switches' host without a window: runs the engines, shows nothing, keeps the project
// the settings file remembers.
class UnattendedHost : public SwitchHost {
 public:
  UnattendedHost(catalogue::TCatalogue& catalogue, TExitStatus& status)
      : catalogue_(catalogue), status_(status) {}
  const std::string& CurrentProject() const { return currentProject_; }

  void ShowProject(const std::string& name) override { currentProject_ = name; }
  void BackUpCurrent() override {
    if (currentProject_.empty()) return;  // the window only beeps
    RunBackup([this](backup::BackupRun& run) { run.ProcessProject(currentProject_); });
  }
  void BackUpAll() override {
    RunBackup([](backup::BackupRun& run) { run.ProcessAllProjects(); });
  }
  restore::RestoreTotals Restore(const restore::RestoreRequest& request) override {
    archive::TZipReader reader;
    restore::ConfigureReaderForRestore(reader);
    reader.Interaction = &interaction_;
    restore::ZipReaderUnpacker unpacker(reader);
    QuietRestoreObserver observer;
    restore::TRestoreRun run(catalogue_, unpacker, observer);
    run.SetWorkers(RunWorkers(chosenWorkers_),
                   [this] { return restore::MakeOwnReaderUnpacker(&interaction_); });
    run.Run(request);
    return run.Totals();
  }
  restore::VerifyResult Verify(const std::string& project) override {
    archive::TZipReader reader;
    restore::ConfigureReaderForRestore(reader);
    reader.Interaction = &interaction_;
    restore::ZipReaderTester tester(reader);
    restore::VerifyObserver nobody;
    restore::TVerifyRun run(catalogue_, tester, nobody);
    return run.Run(project);
  }
  void ChooseWorkers(int workers) override { chosenWorkers_ = workers; }
  void ShowMessage(const std::string& text, const std::string& caption) override {
    WriteBoxLine(caption, text);
  }
  void ShowError(const std::string& text) override { WriteBoxLine(ApplicationTitle(), text); }
  void Report(const std::string& line) override { WriteReportLine(line); }
  void RequestEnd() override {}  // the program ends when the switches are done
  void NoteOutcome(RunOutcome outcome) override { status_.Note(outcome); }

 private:
  // A backup run with the chosen workers; one that did not store everything counts, also
  // when an error ends it (the error is noted by whoever catches it).
  void RunBackup(const std::function<void(backup::BackupRun&)>& action) {
    QuietBackupObserver observer;
    archive::TZipWriter writer;
    writer.Interaction = &interaction_;
    backup::ZipWriterArchiver archiver(writer);
    backup::BackupRun run(catalogue_, archiver, observer);
    run.SetWorkers(RunWorkers(chosenWorkers_), [] { return backup::MakeOwnWriterArchiver(); });
    try {
      action(run);
    } catch (...) {
      if (!run.Totals().Complete()) NoteOutcome(RunOutcome::Incomplete);
      throw;
    }
    if (!run.Totals().Complete()) NoteOutcome(RunOutcome::Incomplete);
  }

  catalogue::TCatalogue& catalogue_;
  TExitStatus& status_;
  StderrZipInteraction interaction_;
  std::string currentProject_;
  int chosenWorkers_ = 0;  // /W:, 0 when none was given
};

}  // namespace

int RunUnattended(const std::vector<std::string>& arguments, const std::string& settingsPath,
                  const std::string& workingDir) {
  TExitStatus status;
  catalogue::TCatalogue catalogue;
  UnattendedHost host(catalogue, status);
  // Errors nothing else caught go to the general error display, and count.
  auto guarded = [&](auto&& action) {
    try {
      action();
    } catch (const std::exception& e) {
      status.Note(OutcomeOfError(e));
      host.ShowError(e.what());
    }
  };
  bool opened = false;
  guarded([&] {
    const std::string projectFile = platform::JoinPath(workingDir, catalogue::kProjectFileName);
    // A scheduler's line may run in the wrong working directory: a directory without a
    // project file holds no catalogue, and one is not made there.
    const bool noCatalogueHere = !platform::FileExists(projectFile);
    opened = !noCatalogueHere &&
             catalogue.OpenCatalogue(projectFile,
                                     platform::JoinPath(workingDir, catalogue::kFolderFileName),
                                     platform::JoinPath(workingDir, catalogue::kLogFileName));
    if (!opened) {
      if (noCatalogueHere) {
        WriteReportLine("No project database in \"" + workingDir + "\": \"" +
                        catalogue::kProjectFileName + "\" does not exist");
      }
      WriteBoxLine(kErrorCaption, "Can't open project database!");
      status.Note(RunOutcome::CatalogueFailed);
      return;
    }
    TSwitchRun(catalogue, host).Run(arguments);
  });
  guarded([&] { catalogue.CloseCatalogue(); });
  // After a catalogue that did not open no project was shown: writing would only forget
  // the one the user had open.
  if (opened) {
    guarded([&] { TSettings(settingsPath).Write(kProject, host.CurrentProject()); });
  }
  return status.Value();
}

}  // namespace console
