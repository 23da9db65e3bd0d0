#include "dialogs/prompter.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace dialogs {

namespace {

QString ApplicationTitle() {
  // The executable's file name, cut before its first dot.
  QString name = QCoreApplication::applicationName();
  const qsizetype dot = name.indexOf(QLatin1Char('.'));
  return dot >= 0 ? name.left(dot) : name;
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

Answer QtPrompter::AskYesNoAbortAll(QWidget* parent, const QString& text, const QString& caption) {
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

}  // namespace dialogs
