// Project, folder and log commands of the main window: each opens its dialog, calls the
// catalogue with what the dialog hands back and shows the project again.
#include <QCheckBox>
#include <QLineEdit>
#include <QSpinBox>

#include "app/main_form.h"
#include "app/masks.h"
#include "app/qt_text.h"
#include "catalogue/catalogue.h"
#include "dialogs/folder_form.h"
#include "dialogs/open_form.h"
#include "dialogs/project_form.h"
#include "dialogs/prompter.h"
#include "platform/clock.h"

namespace app {

namespace {

const QString kError = QStringLiteral("Error!");
const QString kWarning = QStringLiteral("Warning!");
const QString kProjectNotWritten =
    QStringLiteral("Can't write new project! Check name for unique.");
const QString kSureToDelete = QStringLiteral("Are you sure to delete?");

}  // namespace

void TMainForm::Button4Click() {
  dialogs::TProjectForm form(this, &prompter_);
  form.setWindowTitle(QStringLiteral("New project"));
  if (form.exec() != QDialog::Accepted) return;
  if (catalogue_.AddProject(ToUtf8(form.Edit1->text()), ToUtf8(form.Edit2->text()),
                            form.CheckBox1->isChecked())) {
    CurrentProject = form.Edit1->text();
    LoadProject(CurrentProject);
  } else {
    prompter_.ShowMessage(this, kProjectNotWritten, kError);
  }
}

void TMainForm::Button7Click() {
  dialogs::TOpenForm form(this, &prompter_);
  form.setWindowTitle(QStringLiteral("Select Project"));
  catalogue::TProjectRecord project;
  for (bool found = catalogue_.FirstProject(project); found;
       found = catalogue_.NextProject(project)) {
    form.AddRow(ToQString(project.Name), ToQString(project.StoreFolder),
                ToQString(catalogue::TCatalogue::BoolToText(project.RaiseErrors)),
                ToQString(platform::TimestampText(project.Created)));
  }
  if (form.exec() != QDialog::Accepted) return;
  CurrentProject = form.SelectedName();
  LoadProject(CurrentProject);
}

void TMainForm::Button8Click() {
  catalogue::TProjectRecord project;
  if (!catalogue_.GetProject(ToUtf8(CurrentProject), project)) return;
  dialogs::TProjectForm form(this, &prompter_);
  form.setWindowTitle(QStringLiteral("Edit project - ") + CurrentProject);
  form.Edit1->setText(CurrentProject);
  form.Edit2->setText(ToQString(project.StoreFolder));
  form.CheckBox1->setChecked(project.RaiseErrors);
  if (form.exec() != QDialog::Accepted) return;
  if (catalogue_.UpdateProject(ToUtf8(CurrentProject), ToUtf8(form.Edit1->text()),
                               ToUtf8(form.Edit2->text()), form.CheckBox1->isChecked())) {
    CurrentProject = form.Edit1->text();
    LoadProject(CurrentProject);
  } else {
    prompter_.ShowMessage(this, kProjectNotWritten, kError);
  }
}

void TMainForm::Button5Click() {
  if (CurrentProject.isEmpty() || !prompter_.AskYesNo(this, kSureToDelete, kWarning)) return;
  catalogue_.DeleteProject(ToUtf8(CurrentProject));
  CloseProject();
}

void TMainForm::Exit1Click() { RequestEnd(); }

void TMainForm::Button1Click() {
  if (CurrentProject.isEmpty()) {
    prompter_.Beep();
    return;
  }
  dialogs::TFolderForm form(this, &prompter_);
  form.setWindowTitle(QStringLiteral("New folder"));
  if (form.exec() != QDialog::Accepted) return;
  if (catalogue_.AddFolder(ToUtf8(CurrentProject), ToUtf8(form.Edit1->text()),
                           ToUtf8(JoinMasks(form.Masks())), !form.CheckBox1->isChecked(),
                           form.Level())) {
    LoadProject(CurrentProject);
  } else {
    prompter_.ShowMessage(this, QStringLiteral("Can't add the folder!"), kError);
  }
}

void TMainForm::Button3Click() {
  if (!HasSelectedRow()) {
    prompter_.Beep();
    return;
  }
  const QString path = SelectedPath();
  catalogue::TFolderRecord folder;
  if (!catalogue_.GetFolder(ToUtf8(CurrentProject), ToUtf8(path), folder)) {
    prompter_.Beep();
    return;
  }
  dialogs::TFolderForm form(this, &prompter_);
  form.setWindowTitle(QStringLiteral("Edit folder - ") + path);
  form.Edit1->setText(path);
  form.CheckBox1->setChecked(!folder.Include);
  form.SpinEdit1->setValue(folder.Level);
  form.SetMasks(SplitMasks(ToQString(folder.Masks)));
  if (form.exec() != QDialog::Accepted) return;
  if (catalogue_.UpdateFolder(ToUtf8(CurrentProject), ToUtf8(path), ToUtf8(form.Edit1->text()),
                              ToUtf8(JoinMasks(form.Masks())), !form.CheckBox1->isChecked(),
                              form.Level())) {
    LoadProject(CurrentProject);
  } else {
    prompter_.ShowMessage(this, QStringLiteral("Can't change the folder! Check folder for unique"),
                          kError);
  }
}

void TMainForm::Button2Click() {
  if (!HasSelectedRow() || !prompter_.AskYesNo(this, kSureToDelete, kWarning)) return;
  catalogue_.DeleteFolder(ToUtf8(CurrentProject), ToUtf8(SelectedPath()));
  LoadProject(CurrentProject);
}

void TMainForm::Deleteall1Click() {
  if (!prompter_.AskYesNo(
          this,
          QStringLiteral("This will delete all your folders in the current project!\n"
                         "Are you sure?"),
          kWarning)) {
    return;
  }
  catalogue_.DeleteAllFolders(ToUtf8(CurrentProject));
  RemoveAllRows();
}

void TMainForm::Clearlog1Click() { catalogue_.ClearLog(); }

void TMainForm::Clearallprojects1Click() {
  if (!prompter_.AskYesNo(
          this,
          QStringLiteral("This will delete all your projects with all folders!\nAre you sure?"),
          kWarning)) {
    return;
  }
  catalogue_.ClearCatalogue();
  CloseProject();
}

}  // namespace app
