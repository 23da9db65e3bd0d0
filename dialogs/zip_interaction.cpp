#include "dialogs/zip_interaction.h"

#include <QApplication>
#include <QCoreApplication>
#include <QCursor>
#include <QFileDialog>
#include <QStringList>

#include "dialogs/prompter.h"
#include "dialogs/qt_text.h"

namespace dialogs {

QString QtFileFilter(const std::string& filter) {
  const QStringList parts = ToQString(filter).split(QLatin1Char('|'));
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QString caption = parts[i].trimmed();
    // Qt reads the patterns from the last parentheses: the caption's own "(*.ZIP)" gives
    // way to the pair's pattern.
    const qsizetype open = caption.lastIndexOf(QLatin1Char('('));
    if (open > 0 && caption.endsWith(QLatin1Char(')'))) caption = caption.left(open).trimmed();
    QString patterns = parts[i + 1].trimmed();
    patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
    filters << caption + QStringLiteral(" (") + patterns + QLatin1Char(')');
  }
  return filters.join(QStringLiteral(";;"));
}

TPromptingZipInteraction::TPromptingZipInteraction(Prompter& prompter, QWidget* parent)
    : prompter_(prompter), parent_(parent) {}

TPromptingZipInteraction::~TPromptingZipInteraction() {
  while (busyDepth_ > 0) SetBusy(false);
}

bool TPromptingZipInteraction::ChooseFile(const std::string& title, const std::string& filter,
                                          const std::string& startDirectory, std::string& chosen) {
  const QString name = QFileDialog::getOpenFileName(
      parent_, ToQString(title), ToQString(startDirectory), QtFileFilter(filter));
  if (name.isEmpty()) return false;
  chosen = ToUtf8(name);
  return true;
}

bool TPromptingZipInteraction::ChooseDirectory(const std::string& startDirectory,
                                               std::string& chosen) {
  const QString name =
      QFileDialog::getExistingDirectory(parent_, QString(), ToQString(startDirectory));
  chosen = ToUtf8(name);
  return !name.isEmpty();
}

bool TPromptingZipInteraction::ConfirmOkCancel(const std::string& text,
                                               const std::string& caption) {
  // The Prompter's Yes and No stand for OK and Cancel; No is the default either way.
  return prompter_.AskYesNo(parent_, ToQString(text), ToQString(caption));
}

bool TPromptingZipInteraction::AskYesNo(const std::string& text, const std::string& caption) {
  return prompter_.AskYesNo(parent_, ToQString(text), ToQString(caption));
}

void TPromptingZipInteraction::ShowMessage(const std::string& text, const std::string& caption) {
  prompter_.ShowMessage(parent_, ToQString(text), ToQString(caption));
}

void TPromptingZipInteraction::ProcessMessages() {
  // Called for every block of an archive: the clock keeps the cost of the calls small.
  if (pump_.Due()) QCoreApplication::processEvents();
}

void TPromptingZipInteraction::SetBusy(bool busy) {
  if (busy) {
    QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    ++busyDepth_;
  } else if (busyDepth_ > 0) {
    QApplication::restoreOverrideCursor();
    --busyDepth_;
  }
}

}  // namespace dialogs
