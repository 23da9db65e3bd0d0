// TZipInteraction: how the archive components reach the user, for the few moments they need
// to: the "?" forms of ZipName and DestDir (a file-open and a folder dialog), the disk
// request of split archives, the message boxes of extraction and of the writer's commit,
// the busy cursor and the handling of pending window messages inside long loops.
//
// The application implements it with Qt, tests with scripted answers; the engine never
// includes a window header. Every call is made on the thread that runs the component's
// operation and blocks until answered. A component without an interaction installed
// behaves as if every dialog was cancelled, every question answered with its default
// (No / Cancel) and every message box dismissed.
#pragma once

#include <string>

namespace archive {

class TZipInteraction {
 public:
  virtual ~TZipInteraction() = default;

  // File-open dialog. filter uses the "Caption (*.ext)|*.ext|..." form. Returns false when
  // cancelled; otherwise chosen is the file's path.
  virtual bool ChooseFile(const std::string& title, const std::string& filter,
                          const std::string& startDirectory, std::string& chosen) = 0;
  // Folder selection that allows typing a new folder. Returns false when cancelled;
  // chosen may then be empty (nothing chosen) or name a folder that does not exist yet.
  virtual bool ChooseDirectory(const std::string& startDirectory, std::string& chosen) = 0;
  // A confirmation box with OK and Cancel; true for OK.
  virtual bool ConfirmOkCancel(const std::string& text, const std::string& caption) = 0;
  // A box without icon with Yes and No; true for Yes.
  virtual bool AskYesNo(const std::string& text, const std::string& caption) = 0;
  // A box without icon with an OK button.
  virtual void ShowMessage(const std::string& text, const std::string& caption) = 0;
  // Handles pending window messages (repaints, the Cancel button of a progress window).
  virtual void ProcessMessages() {}
  // The busy cursor around a header scan.
  virtual void SetBusy(bool /*busy*/) {}
};

}  // namespace archive
