// Helpers of the main window tests: one QApplication for the test program (offscreen
// platform) and a Prompter with scripted answers that records every box.
#pragma once

#include <QApplication>
#include <QString>
#include <QStringList>
#include <cstdlib>
#include <deque>
#include <vector>

#include "dialogs/prompter.h"
#include "tests/support/files.h"

namespace app_test {

inline void EnsureApplication() {
  if (QApplication::instance() != nullptr) return;
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  static int argc = 1;
  static char name[] = "varnholt";
  static char* argv[] = {name, nullptr};
  new QApplication(argc, argv);  // lives until the test program ends
}

class ScriptedPrompter : public dialogs::Prompter {
 public:
  struct Box {
    QString kind;  // "message", "yesno", "yesnoabortall", "fatal"
    QString text;
    QString caption;
  };

  void ShowMessage(QWidget*, const QString& text, const QString& caption) override {
    boxes.push_back({QStringLiteral("message"), text, caption});
  }
  bool AskYesNo(QWidget*, const QString& text, const QString& caption) override {
    boxes.push_back({QStringLiteral("yesno"), text, caption});
    if (answers.empty()) return false;
    const dialogs::Answer answer = answers.front();
    answers.pop_front();
    return answer == dialogs::Answer::Yes;
  }
  dialogs::Answer AskYesNoAbortAll(QWidget*, const QString& text, const QString& caption) override {
    boxes.push_back({QStringLiteral("yesnoabortall"), text, caption});
    if (answers.empty()) return dialogs::Answer::No;
    const dialogs::Answer answer = answers.front();
    answers.pop_front();
    return answer;
  }
  void ShowFatal(QWidget*, const QString& text) override {
    boxes.push_back({QStringLiteral("fatal"), text, QString()});
  }
  void Beep() override { ++beeps; }

  std::vector<Box> boxes;
  std::deque<dialogs::Answer> answers;
  int beeps = 0;
};

// The scratch folder and file helpers shared with the other test folders.
using testsupport::ReadText;
using testsupport::TempDir;
using testsupport::WriteText;

}  // namespace app_test
