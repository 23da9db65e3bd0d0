// Message boxes without a display: each is one line on standard error ("<caption>: <text>")
// and takes its default answer (OK, or No for a question), as a scheduler needs.
#pragma once

#include <string>

#include "archive/zip_interaction.h"

namespace console {

// "<caption>: <text>", flushed at once so that the lines keep their order with the log's.
void WriteBoxLine(const std::string& caption, const std::string& text);
// A question: its line, marked with the default answer; always false (No).
bool AnswerNo(const std::string& text, const std::string& caption);
// One line in words for whoever reads standard error.
void WriteReportLine(const std::string& line);
// The application's title, which captions the general error display and the backup's
// "Unable to process file" box: the executable's file name, cut before its first dot.
std::string ApplicationTitle();

// The archive components' boxes on standard error; their dialogs are cancelled.
class StderrZipInteraction : public archive::TZipInteraction {
 public:
  bool ChooseFile(const std::string&, const std::string&, const std::string&,
                  std::string&) override {
    return false;
  }
  bool ChooseDirectory(const std::string&, std::string& chosen) override {
    chosen.clear();
    return false;
  }
  bool ConfirmOkCancel(const std::string& text, const std::string& caption) override {
    return AnswerNo(text, caption);
  }
  bool AskYesNo(const std::string& text, const std::string& caption) override {
    return AnswerNo(text, caption);
  }
  void ShowMessage(const std::string& text, const std::string& caption) override {
    WriteBoxLine(caption, text);
  }
};

}  // namespace console
