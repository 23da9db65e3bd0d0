// The restore command of the main window.
#include <QTreeWidget>

#include "app/main_form.h"
#include "archive/zip_reader.h"
#include "dialogs/restore_form.h"
#include "dialogs/zip_interaction.h"
#include "restore/zip_reader_unpacker.h"

namespace app {

void TMainForm::Button10Click() {
  restore::ZipReaderUnpacker unpacker(*ZipReader1);
  dialogs::TRestoreForm form(this, catalogue_, unpacker, &prompter_, CurrentProject,
                             [this] { RunGuarded(&TMainForm::Button9Click); });
  // Boxes of the reader come from the restore window, which stays painted while one large
  // archive is unpacked.
  dialogs::TPromptingZipInteraction interaction(prompter_, &form);
  struct InteractionScope {
    TZipReader& reader;
    ~InteractionScope() { reader.Interaction = nullptr; }
  } scope{*ZipReader1};
  ZipReader1->Interaction = &interaction;
  form.setWindowTitle(QStringLiteral("Restore - ") + CurrentProject);
  // Only a folder that has been stored at least once has a backup to restore from.
  const QList<QTreeWidgetItem*> selected = ListView1->selectedItems();
  if (!selected.isEmpty() && selected.first()->text(3) != QStringLiteral("N/A")) {
    form.OfferSelectedFolder(SelectedPath());
  }
  form.exec();
}

}  // namespace app
