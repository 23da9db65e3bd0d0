// The project dialog: a project's name, its store folder and its error flag, for the
// Project menu's "New..." and "Edit...". The caller sets the caption and, for an edit, the
// fields; after OK it reads them back. The dialog never touches the catalogue.
#pragma once

#include "dialogs/form_util.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace dialogs {

class Prompter;

// The refusal of a store folder that is the root folder.
inline constexpr char kRootStoreFolderText[] = "Folder to store can't be the root folder!";

class TProjectForm : public CenteredDialog {
 public:
  TProjectForm(QWidget* parent, Prompter* prompter);

  QLabel* Label1;
  QLineEdit* Edit1;      // project name
  QCheckBox* CheckBox1;  // raise errors
  QLabel* Label2;
  QLineEdit* Edit2;      // store folder
  QPushButton* Button1;  // Browse
  QPushButton* Button2;  // OK
  QPushButton* Button3;  // Cancel

  void Button1Click();
  void Button2Click();

 private:
  Prompter* prompter_;
};

}  // namespace dialogs
