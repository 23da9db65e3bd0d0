#include "dialogs/prompter.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include <cstdio>

namespace dialogs {

namespace {

QString ApplicationTitle() {
  // The executable's file name, cut before its first dot.
  QString name = QCoreApplication::applicationName();
  const qsizetype dot = name.indexOf(QLatin1Char('.'));
  return dot >= 0 ? name.left(dot) : name;
}

void WriteToStderr(const QString& caption, const QString& text) {
  const QByteArray line = (caption + QStringLiteral(": ") + text).toUtf8();
  std::fprintf(stderr, "%s\n", line.constData());
  std::fflush(stderr);
}

}  // namespace

void QtPrompter::ShowMessage(QWidget* parent, const QString& text, const QString& caption) {
  QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, parent);
  box.exec();
}

bool QtPrompter::AskYesNo(QWidget* parent, const QString& text, const QString& caption) {
  QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Yes | QMessageBox::No, parent);
  return box.exec() == QMessageBox::Yes;
}

Answer QtPrompter::AskYesNoAbortAll(QWidget* parent, const QString& text,
                                    const QString& caption) {
  QMessageBox box(QMessageBox::Question, caption, text,
                  QMessageBox::Yes | QMessageBox::No | QMessageBox::Abort | QMessageBox::YesToAll,
                  parent);
  box.button(QMessageBox::YesToAll)->setText(QStringLiteral("All"));
  switch (box.exec()) {
    case QMessageBox::Yes:
      return Answer::Yes;
    case QMessageBox::Abort:
      return Answer::Abort;
    case QMessageBox::YesToAll:
      return Answer::All;
    default:
      return Answer::No;
  }
}

void QtPrompter::ShowFatal(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::Critical, ApplicationTitle(), text, QMessageBox::Ok, parent);
  box.exec();
}

void QtPrompter::Beep() { QApplication::beep(); }

void StderrPrompter::ShowMessage(QWidget*, const QString& text, const QString& caption) {
  WriteToStderr(caption, text);
}

bool StderrPrompter::AskYesNo(QWidget*, const QString& text, const QString& caption) {
  WriteToStderr(caption, text + QStringLiteral(" [answered No]"));
  return false;
}

Answer StderrPrompter::AskYesNoAbortAll(QWidget*, const QString& text, const QString& caption) {
  WriteToStderr(caption, text + QStringLiteral(" [answered No]"));
  return Answer::No;
}

void StderrPrompter::ShowFatal(QWidget*, const QString& text) {
  WriteToStderr(ApplicationTitle(), text);
}

void StderrPrompter::Beep() {}

void StderrPrompter::Report(const QString& line) {
  const QByteArray bytes = line.toUtf8();
  std::fprintf(stderr, "%s\n", bytes.constData());
  std::fflush(stderr);
}

}  // namespace dialogs
