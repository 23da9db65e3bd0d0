// Helpers of the main window tests: one QApplication for the test program (offscreen
// platform), a Prompter with scripted answers that records every box, and a fresh
// temporary working folder per test.
#pragma once

#include <QApplication>
#include <QString>
#include <QStringList>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "dialogs/prompter.h"

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

class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vrn-app-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  std::string Path() const { return path_.string(); }
  std::string File(const std::string& name) const { return (path_ / name).string(); }
  QString QPath() const { return QString::fromStdString(Path()); }
  QString QFile(const std::string& name) const { return QString::fromStdString(File(name)); }

 private:
  std::filesystem::path path_;
};

inline std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

}  // namespace app_test
