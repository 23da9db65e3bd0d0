// Test helpers for driving windows as a user would: a Prompter that records every box and
// answers Yes/No questions from a script, and a way to act on a modal window once it is up.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "dialogs/prompter.h"

namespace testing_support {

struct Box {
  std::string kind;  // "message", "yesno", "yesnoabortall", "fatal"
  std::string text;
  std::string caption;
};

class ScriptedPrompter : public dialogs::Prompter {
 public:
  void ShowMessage(QWidget*, const QString& text, const QString& caption) override {
    boxes.push_back({"message", text.toStdString(), caption.toStdString()});
  }
  bool AskYesNo(QWidget*, const QString& text, const QString& caption) override {
    boxes.push_back({"yesno", text.toStdString(), caption.toStdString()});
    if (yesNoAnswers.empty()) {
      ADD_FAILURE() << "unscripted question: " << text.toStdString();
      return false;
    }
    const bool answer = yesNoAnswers.front();
    yesNoAnswers.pop_front();
    return answer;
  }
  dialogs::Answer AskYesNoAbortAll(QWidget*, const QString& text, const QString& caption) override {
    boxes.push_back({"yesnoabortall", text.toStdString(), caption.toStdString()});
    return dialogs::Answer::No;
  }
  void ShowFatal(QWidget*, const QString& text) override {
    boxes.push_back({"fatal", text.toStdString(), ""});
  }
  void Beep() override { ++beeps; }
  void Report(const QString& line) override { reports.push_back(line.toStdString()); }

  std::vector<Box> boxes;
  std::vector<std::string> reports;  // lines for standard error without a display
  std::deque<bool> yesNoAnswers;
  int beeps = 0;
};

// Runs action on the modal window of type Form once the event loop shows it (call before
// the code that opens it). The action must close the window; if it does not, the window is
// rejected after a few seconds and the test fails instead of hanging.
template <class Form>
void WhenModal(std::function<void(Form*)> action) {
  QTimer::singleShot(0, [action] {
    QElapsedTimer waited;
    waited.start();
    QWidget* modal = QApplication::activeModalWidget();
    while (modal == nullptr && waited.elapsed() < 3000) {
      QApplication::processEvents(QEventLoop::AllEvents, 20);
      modal = QApplication::activeModalWidget();
    }
    Form* form = dynamic_cast<Form*>(modal);
    if (form == nullptr) {
      ADD_FAILURE() << "the expected modal window did not open";
      if (modal != nullptr) modal->close();
      return;
    }
    action(form);
    if (form->isVisible()) {
      QTimer::singleShot(3000, form, [form] {
        if (form->isVisible()) {
          ADD_FAILURE() << "the modal window stayed open";
          form->close();
        }
      });
    }
  });
}

}  // namespace testing_support
