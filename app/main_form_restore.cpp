// The restore and verify commands of the main window, and the window's side of their
// command-line switches: /R: runs in the restore window (shown while it works, its question
// off), /V: is the verify run of the "Verify backup..." command.
#include <QCoreApplication>
#include <QLabel>
#include <QMenuBar>
#include <QTreeWidget>
#include <functional>

#include "app/main_form.h"
#include "app/qt_text.h"
#include "archive/zip_reader.h"
#include "catalogue/catalogue.h"
#include "console/workers.h"
#include "dialogs/prompter.h"
#include "dialogs/restore_form.h"
#include "dialogs/zip_interaction.h"
#include "restore/verify_run.h"
#include "restore/zip_reader_unpacker.h"

namespace app {

using console::RunWorkers;

namespace {

// The verify box lists this many damaged archives per folder; the switch lists them all.
constexpr std::size_t kBoxListed = 20;

// The verify run's window side: keeps the window painted.
class VerifyPump : public restore::VerifyObserver {
 public:
  void ProcessMessages() override { QCoreApplication::processEvents(); }
};

// The restore window's reader boxes come from the window itself.
struct ReaderInteraction {
  ReaderInteraction(archive::TZipReader& reader, dialogs::Prompter& prompter, QWidget* window)
      : reader_(reader), interaction_(prompter, window) {
    reader_.Interaction = &interaction_;
  }
  ~ReaderInteraction() { reader_.Interaction = nullptr; }
  archive::TZipReader& reader_;
  dialogs::TPromptingZipInteraction interaction_;
};

}  // namespace

void TMainForm::Button10Click() {
  WithRestoreForm([this](dialogs::TRestoreForm& form) {
    // Only a folder that has been stored at least once has a backup to restore from.
    const QList<QTreeWidgetItem*> selected = ListView1->selectedItems();
    if (!selected.isEmpty() && selected.first()->text(3) != QStringLiteral("N/A")) {
      form.OfferSelectedFolder(SelectedPath());
    }
    form.exec();
  });
}

void TMainForm::WithRestoreForm(const std::function<void(dialogs::TRestoreForm&)>& use) {
  restore::ZipReaderUnpacker unpacker(*ZipReader1);
  dialogs::TRestoreForm form(this, catalogue_, unpacker, &prompter_, CurrentProject,
                             [this] { RunGuarded(&TMainForm::Button9Click); });
  // Boxes of the reader come from the restore window, which stays painted while one large
  // archive is unpacked.
  ReaderInteraction interaction(*ZipReader1, prompter_, &form);
  form.setWindowTitle(QStringLiteral("Restore - ") + CurrentProject);
  form.SetWorkers(RunWorkers(chosenWorkers_), [&interaction] {
    return restore::MakeOwnReaderUnpacker(&interaction.interaction_);
  });
  use(form);
}

void TMainForm::Verify1Click() {
  if (CurrentProject.isEmpty()) {
    prompter_.Beep();
    return;
  }
  Panel4->setText(QStringLiteral("Please wait..."));
  Panel4->repaint();
  centralWidget()->setEnabled(false);
  menuBar()->setEnabled(false);
  struct Unlock {
    TMainForm& form;
    ~Unlock() {
      form.Panel4->clear();
      form.centralWidget()->setEnabled(true);
      form.menuBar()->setEnabled(true);
    }
  } unlock{*this};
  const std::string project = ToUtf8(CurrentProject);
  const restore::VerifyResult result = Verify(project);
  prompter_.ShowMessage(this, ToQString(restore::VerifyReport(project, result, kBoxListed, 0)),
                        QStringLiteral("Verify - ") + CurrentProject);
}

restore::RestoreTotals TMainForm::Restore(const restore::RestoreRequest& request) {
  restore::RestoreTotals totals;
  WithRestoreForm([&](dialogs::TRestoreForm& form) {
    form.onArchiveFailed = [this](const std::string& archivePath, const std::string& reason) {
      prompter_.Report(ToQString(restore::UnpackFailureLine(archivePath, reason)));
    };
    form.show();
    totals = form.RunRequest(request);
  });
  return totals;
}

restore::VerifyResult TMainForm::Verify(const std::string& project) {
  archive::TZipReader reader;
  restore::ConfigureReaderForRestore(reader);
  ReaderInteraction interaction(reader, prompter_, this);
  restore::ZipReaderTester tester(reader);
  VerifyPump pump;
  restore::TVerifyRun run(catalogue_, tester, pump);
  return run.Run(project);
}

}  // namespace app
