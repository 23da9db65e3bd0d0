// How the windows talk to the user in message boxes.
//
// Every window and command asks through a Prompter it was given, never through QMessageBox
// directly, so that the same code runs interactively (QtPrompter) and under test (scripted
// answers). A start without a display shows no window at all (console/unattended.h). All calls
// happen on the user-interface thread and block until answered.
#pragma once

#include <QString>

class QWidget;

namespace dialogs {

enum class Answer { Ok, Yes, No, Abort, All };

class Prompter {
 public:
  virtual ~Prompter() = default;
  // A box without icon with an OK button (errors use the caption "Error!").
  virtual void ShowMessage(QWidget* parent, const QString& text, const QString& caption) = 0;
  // A box without icon with Yes and No; true on Yes. The default answer is No.
  virtual bool AskYesNo(QWidget* parent, const QString& text, const QString& caption) = 0;
  // The confirmation with the question icon and Yes, No, Abort and All. The default answer
  // is No.
  virtual Answer AskYesNoAbortAll(QWidget* parent, const QString& text, const QString& caption) = 0;
  // The application's general error display: the error's text, the application title as
  // caption, a stop icon. Used for errors nothing else caught.
  virtual void ShowFatal(QWidget* parent, const QString& text) = 0;
  // The default beep of a command that cannot apply.
  virtual void Beep() = 0;
  // One line in words for whoever reads standard error when there is no display: what
  // failed and the system's reason ("Can't store file "/a/b.txt": Permission denied"). With
  // a window, boxes and the event log speak instead, so the default says nothing.
  virtual void Report(const QString& line) { (void)line; }
};

// Real message boxes (QMessageBox without icon, QApplication::beep).
class QtPrompter : public Prompter {
 public:
  void ShowMessage(QWidget* parent, const QString& text, const QString& caption) override;
  bool AskYesNo(QWidget* parent, const QString& text, const QString& caption) override;
  Answer AskYesNoAbortAll(QWidget* parent, const QString& text, const QString& caption) override;
  void ShowFatal(QWidget* parent, const QString& text) override;
  void Beep() override;
};

}  // namespace dialogs
