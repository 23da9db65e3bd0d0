// How a backup run talks to whoever started it: the main window (progress window, message
// pumping, message boxes) or a test script.
//
// Threading contract: a run is synchronous. Every call comes on the thread that started
// the run, from inside that call, in the order the run makes progress; nothing is called
// after the run returned. PumpMessages may run the caller's event loop; whatever handlers
// run there must not start another run or touch the catalogue (the main window disables
// those commands while a run is going), but they may request cancellation, which the run
// polls through CancelRequested between folders.
#pragma once

#include <string>

namespace backup {

class BackupObserver {
 public:
  virtual ~BackupObserver() = default;

  // A project run begins. Any earlier cancel request is forgotten here: every project run
  // starts uncancelled, so Cancel ends only the project in progress. folderCount is the
  // number of the project's folders (the progress bar's maximum).
  virtual void RunStarted(const std::string& project, int folderCount) = 0;
  // The run is about to process the folder with this stored path.
  virtual void FolderStarted(const std::string& path) = 0;
  // A store attempt ended without the writer failing outright; filePath is
  // "<source directory>/<file name>".
  virtual void FileAttempted(const std::string& filePath) = 0;
  // A folder is done (marked stored and logged): step the progress bar.
  virtual void FolderFinished() = 0;
  // The project run ended, normally, cancelled, or by a catalogue or log error that is
  // about to be passed on: remove the progress window and show the project again.
  virtual void RunFinished(const std::string& project) = 0;

  // Let pending window messages be handled (after every directory entry, every store
  // attempt and every folder).
  virtual void PumpMessages() = 0;
  // Polled before each folder.
  virtual bool CancelRequested() = 0;
  // The box "Unable to process file ..." of a project with RaiseErrors set: a modal message
  // without icon, captioned with the application's title, OK only. The run goes on after it.
  virtual void ShowMessage(const std::string& text) = 0;
  // A project that cannot run (unknown, store folder refused): a box captioned "Error!",
  // whatever RaiseErrors says.
  virtual void ShowError(const std::string& text) { ShowMessage(text); }
  // One line in words for standard error without a display: a file that was not stored or
  // a directory that could not be read, and the system's reason. Called for every such
  // failure, before its log entry and box.
  virtual void ReportFailure(const std::string& line) { (void)line; }
};

}  // namespace backup
