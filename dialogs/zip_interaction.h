// The archive reader's and writer's way to the user inside the application.
//
// Boxes go through the window's Prompter, so they behave as every other box of the program
// (scripted in tests, on standard error without a display). Pending window messages are
// handled at most every 15 ms while one archive is read or written: a single large file
// then no longer freezes the window, and its Cancel button can be pressed meanwhile.
#pragma once

#include <QString>
#include <string>

#include "archive/zip_interaction.h"
#include "dialogs/pace.h"

class QWidget;

namespace dialogs {

class Prompter;

// The reader's "Caption (*.EXT)|*.ext|..." filter as a Qt file-dialog filter
// ("Caption (*.ext);;...").
QString QtFileFilter(const std::string& filter);

class TPromptingZipInteraction : public archive::TZipInteraction {
 public:
  // parent: the window the boxes and dialogs belong to (may be null).
  TPromptingZipInteraction(Prompter& prompter, QWidget* parent);
  ~TPromptingZipInteraction() override;

  bool ChooseFile(const std::string& title, const std::string& filter,
                  const std::string& startDirectory, std::string& chosen) override;
  bool ChooseDirectory(const std::string& startDirectory, std::string& chosen) override;
  bool ConfirmOkCancel(const std::string& text, const std::string& caption) override;
  bool AskYesNo(const std::string& text, const std::string& caption) override;
  void ShowMessage(const std::string& text, const std::string& caption) override;
  void ProcessMessages() override;
  void SetBusy(bool busy) override;

 private:
  Prompter& prompter_;
  QWidget* parent_;
  Pace pump_{kPumpInterval};
  int busyDepth_ = 0;
};

}  // namespace dialogs
