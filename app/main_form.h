// The main window: the project's folder list, the menu and the three buttons.
//
// The window is a router from controls to catalogue and engine calls. Its code is split by
// command family, each file a part of this one class:
//   main_form.cpp           creation (FormCreate), shutdown (FormDestroy), layout, menu,
//                           LoadProject / CloseProject, enabling of the command groups,
//                           settings, the guard that shows uncaught errors
//   main_form_commands.cpp  project, folder and log commands (New/Open/Edit/Delete project,
//                           Exit, Add/Edit/Delete/Delete all folders, Clear log,
//                           Clear all projects)
//   main_form_backup.cpp    Start!, Start all projects, View log, Command line..., About...
//                           and the command-line switches (ProcessCommandLine)
//   main_form_restore.cpp   Restore...
//
// Every handler is run through RunGuarded: an exception that escapes it is shown in the
// application's general error box (Prompter::ShowFatal) and the window goes on.
#pragma once

#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <exception>
#include <functional>
#include <memory>
#include <string>

#include "console/exit_status.h"
#include "console/settings.h"
#include "console/switches.h"

class QAction;
namespace archive {
class TZipReader;
}  // namespace archive
class QLabel;
class QMenu;
class QPushButton;
class QTreeWidget;

namespace catalogue {
class TCatalogue;
}
namespace dialogs {
class Prompter;
class TRestoreForm;
}  // namespace dialogs

namespace app {

inline constexpr char kAppCaption[] = "Varnholt v0.1b";

// The command-line switches run through the window as their host: it shows the projects
// and runs they ask for (console/switches.h).
class TMainForm : public QMainWindow, private console::SwitchHost {
  Q_OBJECT

 public:
  // Runs FormCreate: opens the catalogue files in workingDir, reads settingsPath, then acts
  // on arguments (the command-line parameters without the program) or reopens the
  // remembered project. The caller shows the window afterwards unless EndRequested().
  TMainForm(catalogue::TCatalogue& catalogue, dialogs::Prompter& prompter, QString settingsPath,
            QString workingDir, QStringList arguments, QWidget* parent = nullptr);
  // Runs FormDestroy if it has not run yet.
  ~TMainForm() override;

  // Shutdown: closes the catalogue, writes the settings. Runs once; errors are shown.
  void FormDestroy();

  // Asks the program to end; takes effect when the message loop runs (or at once, if it
  // already runs). main() neither shows the window nor starts the message loop when the
  // end was requested during start-up.
  void RequestEnd() override;
  bool EndRequested() const { return endRequested_; }
  bool CatalogueOpened() const { return catalogueOpened_; }
  // The process's exit status (app/exit_status.h): 2 when the catalogue did not open or is
  // damaged, 1 when anything noted an incomplete outcome, else 0.
  int ExitStatus() const;
  // Every run and command that could not do all it should says so here: a run with files
  // or folders it could not store (or restore) notes RunOutcome::Incomplete. RunGuarded
  // notes every error that ends a command (NoteError).
  void NoteOutcome(console::RunOutcome outcome) override { exitStatus_.Note(outcome); }
  void NoteError(const std::exception& error);

  // Shows a project: caption, one row per folder of CurrentProject, project commands on,
  // folder commands off. Callers pass CurrentProject.
  void LoadProject(const QString& name);
  // Forgets the current project: no rows, caption "Varnholt v0.1b", project commands off.
  void CloseProject();
  void EnableProjectCommands();
  void DisableProjectCommands();
  void EnableFolderCommands();
  void DisableFolderCommands();
  void ListView1Click();
  void ListView1Deletion();

  // The first cell (folder path) of the selected row; empty when no row is selected.
  bool HasSelectedRow() const;
  QString SelectedPath() const;

  // Menu and button handlers (menu table of the window).
  // main_form_commands.cpp:
  void Button4Click();            // Project | New...
  void Button7Click();            // Project | Open...
  void Button8Click();            // Project | Edit...
  void Button5Click();            // Project | Delete
  void Exit1Click();              // Project | Exit
  void Button1Click();            // Folder | Add...
  void Button3Click();            // Folder | Edit...
  void Button2Click();            // Folder | Delete
  void Deleteall1Click();         // Folder | Delete all
  void Clearlog1Click();          // Cleaning | Clear log
  void Clearallprojects1Click();  // Cleaning | Clear all projects
  // main_form_backup.cpp:
  void Button6Click();            // Processing | Start!, button "Start!"
  void Startallprojects1Click();  // Processing | Start all projects
  void Button9Click();            // Processing | View log file..., button "View log"
  void Commandline1Click();       // Help | Command line...
  void About1Click();             // Help | About...
  // main_form_restore.cpp:
  void Button10Click();  // Processing | Restore..., button "Restore..."
  void Verify1Click();   // Processing | Verify backup...

  // Shared state of the commands and runs.
  QString CurrentProject;  // the project shown; empty when none
  bool CancelRequested = false;

  // Controls, with their designer names.
  QTreeWidget* ListView1 = nullptr;  // columns Folder, Mask, Mode, Last stored
  QPushButton* Button1 = nullptr;    // "Start!" (runs Button6Click; the default button)
  QPushButton* Button10 = nullptr;   // "Restore..."
  QPushButton* Button9 = nullptr;    // "View log"
  QLabel* Panel4 = nullptr;          // status line, bold red

  QMenu* ProjectMenu = nullptr;
  QMenu* FolderMenu = nullptr;
  QMenu* ProcessingMenu = nullptr;
  QMenu* CleaningMenu = nullptr;
  QMenu* HelpMenu = nullptr;
  QAction* NewProject1 = nullptr;
  QAction* OpenProject1 = nullptr;
  QAction* EditProject1 = nullptr;
  QAction* DeleteProject1 = nullptr;
  QAction* Exit1 = nullptr;
  QAction* AddFolder1 = nullptr;
  QAction* EditFolder1 = nullptr;
  QAction* DeleteFolder1 = nullptr;
  QAction* Deleteall1 = nullptr;
  QAction* Start1 = nullptr;
  QAction* Startallprojects1 = nullptr;
  QAction* Restore1 = nullptr;
  QAction* Viewlogfile1 = nullptr;
  QAction* Verify1 = nullptr;
  QAction* Clearlog1 = nullptr;
  QAction* Clearallprojects1 = nullptr;
  QAction* Commandline1 = nullptr;
  QAction* About1 = nullptr;

 private:
  void FormCreate();
  void CreateControls();
  void CreateMenu();
  void ApplySavedGeometry();
  void WriteSettings();
  void RemoveAllRows();
  // SwitchHost: what the command-line switches ask of the window. Defined in
  // main_form_backup.cpp (projects, backups, boxes) and main_form_restore.cpp.
  void ShowProject(const std::string& name) override;
  void BackUpCurrent() override { Button6Click(); }
  void BackUpAll() override { Startallprojects1Click(); }
  restore::RestoreTotals Restore(const restore::RestoreRequest& request) override;
  restore::VerifyResult Verify(const std::string& project) override;
  void ChooseWorkers(int workers) override { chosenWorkers_ = workers; }
  void ShowMessage(const std::string& text, const std::string& caption) override;
  void ShowError(const std::string& text) override;
  void Report(const std::string& line) override;
  // The restore window of one opening, set up for the current project; use shows it.
  void WithRestoreForm(const std::function<void(dialogs::TRestoreForm&)>& use);

  // Runs a handler; an exception that escapes it goes to the general error box.
  void RunGuarded(void (TMainForm::*handler)());
  void ShowError(const QString& text);
  QAction* AddMenuItem(QMenu* menu, const QString& caption, void (TMainForm::*handler)());

  catalogue::TCatalogue& catalogue_;
  dialogs::Prompter& prompter_;
  QString settingsPath_;
  QString workingDir_;
  QStringList arguments_;
  std::unique_ptr<console::TSettings> SettingsFile;
  // The archive reader of the Restore command, configured once for the restore run.
  std::unique_ptr<archive::TZipReader> ZipReader1;

  bool catalogueOpened_ = false;
  bool endRequested_ = false;
  bool destroyed_ = false;
  console::TExitStatus exitStatus_;
  int chosenWorkers_ = 0;  // /W:, 0 when none was given
};

}  // namespace app
