// The restore window: what to restore (every folder of the project in place, or the folder
// selected in the main window into a chosen folder), which files ("Rewrite all files",
// "Append missed", "Refresh"), whether to ask first, and the progress of a run.
//
// The window only routes: "Start!" hands the choices to the restore engine
// (restore/restore_run.h) and shows what the engine reports. The caller creates it for
// one opening, sets the caption, offers the selected folder when there is one, shows it
// modally and destroys it.
#pragma once

#include <QGroupBox>
#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "dialogs/form_util.h"
#include "dialogs/pace.h"
#include "restore/restore_run.h"

class QButtonGroup;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QCheckBox;
class QRadioButton;

namespace catalogue {
class TCatalogue;
}

namespace dialogs {

class Prompter;

// A group box of radio items with an item index, as the window's two option groups are.
class TRestoreRadioGroup : public QGroupBox {
 public:
  TRestoreRadioGroup(const QString& caption, QWidget* parent);
  QRadioButton* AddItem(const QString& text);
  int Count() const { return static_cast<int>(items_.size()); }
  QRadioButton* Item(int index) const { return items_.at(static_cast<std::size_t>(index)); }
  int ItemIndex() const;
  void SetItemIndex(int index);
  // Called after the user clicked an item.
  std::function<void()> onClick;

 private:
  std::vector<QRadioButton*> items_;
  QButtonGroup* buttons_;
};

class TRestoreForm : public CenteredDialog, private restore::RestoreObserver {
 public:
  // projectName: the project whose folders a run restores. viewLog runs the main window's
  // "View log" command.
  TRestoreForm(QWidget* parent, catalogue::TCatalogue& catalogue,
               restore::ArchiveUnpacker& unpacker, Prompter* prompter, const QString& projectName,
               std::function<void()> viewLog);

  // Offers "Selected folder" for the folder path (a folder stored at least once), selects
  // it and puts the path into the destination field.
  void OfferSelectedFolder(const QString& folderPath);
  // Unpacks several archives at once (restore::TRestoreRun::SetWorkers).
  void SetWorkers(int count, std::function<std::unique_ptr<restore::ArchiveUnpacker>()> make) {
    run_.SetWorkers(count, std::move(make));
  }
  bool Running() const { return running_; }

  // The run of a command-line switch: the window shows the request's choices and its
  // progress, and the run starts without the warning question. Errors that end the run
  // (the log's) pass on to the caller. Returns what the run did.
  restore::RestoreTotals RunRequest(const restore::RestoreRequest& request);
  // Told of every archive that was not unpacked, with the reason (the log only names it).
  std::function<void(const std::string& archivePath, const std::string& reason)> onArchiveFailed;

  TRestoreRadioGroup* RadioGroup1;  // " Restore: "
  TRestoreRadioGroup* RadioGroup2;  // " Options "
  QCheckBox* CheckBox1;             // "Prompt to overwrite files"
  QLabel* Label3;                   // "Restore to:"
  QLineEdit* Edit1;                 // destination folder
  QPushButton* Button4;             // "Browse..."
  QGroupBox* GroupBox1;             // " Progress "
  QLabel* Label1;                   // "Folder:"
  SunkenPanel* Panel1;              // the source folder being restored
  QLabel* Label2;                   // "File:"
  SunkenPanel* Panel2;              // the archive being unpacked
  QProgressBar* ProgressBar1;       // one step per folder
  QPushButton* Button1;             // "Start!"
  QPushButton* Button2;             // "Close"
  QPushButton* Button3;             // "View log..."

  void RadioGroup1Click();
  void Button1Click();
  void Button2Click();
  void Button3Click();
  void Button4Click();
  void reject() override;  // Esc and Close do nothing while a run goes on

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  // RestoreObserver: everything is called on this thread, inside Button1Click.
  void ProgressStarted(int folderCount) override;
  void FolderStarted(const std::string& sourcePath) override;
  void ArchiveStarted(const std::string& targetAndArchive) override;
  void FolderFinished() override;
  void ProcessMessages() override;
  void ShowError(const std::string& text) override;
  restore::ReplaceAnswer AskReplace(const std::string& question) override;
  void ArchiveFailed(const std::string& archivePath, const std::string& reason) override;

  // Runs the request with the controls held; errors pass on once they are given back.
  void Start(const restore::RestoreRequest& request);
  bool SelectedFolderChosen() const { return RadioGroup1->ItemIndex() == 1; }
  void EnableDestination(bool enabled);
  void EnableControls(bool enabled);
  void ShowPendingArchive();

  Prompter* prompter_;
  std::string projectName_;
  std::string selectedFolder_;
  std::function<void()> viewLog_;
  restore::TRestoreRun run_;
  bool running_ = false;
  QString pendingArchive_;  // named in Panel2 when the next paint is due
  Pace archivePaint_{kFileFieldInterval};
  Pace pump_{kPumpInterval};
};

}  // namespace dialogs
