// The command-line switches: what each one does, in their order, whoever shows the runs.
//
// The main window and an unattended start (no display) run the same switches through this
// one interpreter; they differ only in how they show a project, a run and a box, which is
// the SwitchHost's part.
#pragma once

#include <exception>
#include <string>
#include <vector>

#include "console/exit_status.h"
#include "restore/restore_run.h"
#include "restore/verify_run.h"

namespace catalogue {
class TCatalogue;
}

namespace console {

class SwitchHost {
 public:
  virtual ~SwitchHost() = default;
  // The named project becomes the current one, and is shown (a name no project has too).
  virtual void ShowProject(const std::string& name) = 0;
  // "Start!" on the current project, and "Start all projects"; each notes its outcome.
  virtual void BackUpCurrent() = 0;
  virtual void BackUpAll() = 0;
  // The restore of a switch: the request's choices shown, no question asked. Errors that
  // end the run pass on.
  virtual restore::RestoreTotals Restore(const restore::RestoreRequest& request) = 0;
  virtual restore::VerifyResult Verify(const std::string& project) = 0;
  // "/W:": the number of files the later runs handle at once.
  virtual void ChooseWorkers(int workers) = 0;
  // A box with an OK button.
  virtual void ShowMessage(const std::string& text, const std::string& caption) = 0;
  // The general error display, for an error that ended a switch.
  virtual void ShowError(const std::string& text) = 0;
  // A line for standard error without a display (see dialogs::Prompter::Report).
  virtual void Report(const std::string& line) = 0;
  virtual void RequestEnd() = 0;
  virtual void NoteOutcome(RunOutcome outcome) = 0;
};

// The outcome an error that ended a command stands for: a damaged catalogue file, or else
// an incomplete run.
RunOutcome OutcomeOfError(const std::exception& error);

class TSwitchRun {
 public:
  TSwitchRun(catalogue::TCatalogue& catalogue, SwitchHost& host)
      : catalogue_(catalogue), host_(host) {}

  // Logs the command line, then acts on each switch in turn. A switch that fails (a
  // catalogue or log error) is shown and noted, and the later switches still act, as they
  // would after the error box of a command in the window.
  void Run(const std::vector<std::string>& arguments);

 private:
  // What /F:, /T: and /O: chose for the next /R: (the option holds for every later one).
  struct RestoreSwitches {
    std::string folder;
    std::string target;
    bool hasFolder = false;
    bool hasTarget = false;
    restore::RestoreOption option = restore::RestoreOption::AppendMissed;
  };

  void Act(const std::string& argument);
  // The restore and verify switches (/R: /F: /T: /O: /V:).
  void ActOnRestoreSwitch(const std::string& argument, const std::string& upper);
  void RestoreProject(const std::string& project, const RestoreSwitches& chosen);
  void VerifyProject(const std::string& project);
  void Refuse(const std::string& text);

  catalogue::TCatalogue& catalogue_;
  SwitchHost& host_;
  RestoreSwitches restoreSwitches_;
};

}  // namespace console
