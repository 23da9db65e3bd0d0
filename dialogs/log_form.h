// The log window: every entry of the event log, one line each, with "Clear log" and
// "Exit". Shown modally by View log; the caller loads the lines.
#pragma once

#include <QStringList>
#include <functional>

#include "dialogs/form_util.h"

class QListWidget;
class QPushButton;

namespace dialogs {

class Prompter;

class TLogForm : public CenteredDialog {
 public:
  // lines: the log's lines, oldest first; the last one is selected and scrolled to.
  // clearLog: empties the log file (an error it throws is shown through prompter).
  TLogForm(QWidget* parent, Prompter* prompter, const QStringList& lines,
           std::function<void()> clearLog);

  QListWidget* ListBox1;
  QWidget* Panel1;       // button bar
  QPushButton* Button1;  // Clear log
  QPushButton* Button2;  // Exit

  void Button1Click();

 private:
  Prompter* prompter_;
  std::function<void()> clearLog_;
};

}  // namespace dialogs
