// The folder dialog: one source folder of a project, its file masks, include or exclude,
// and its compression level. The caller sets the caption and, for an edit, the fields; after
// OK it reads them back and writes the catalogue.
#pragma once

#include <QStringList>

#include "dialogs/form_util.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSpinBox;

namespace dialogs {

class Prompter;

class TFolderForm : public CenteredDialog {
 public:
  TFolderForm(QWidget* parent, Prompter* prompter);

  // The list's masks in order, and filling the list.
  QStringList Masks() const;
  void SetMasks(const QStringList& masks);
  // The compression level, always 1 to 9: text that is no whole number reads as 1, and a
  // number outside the range is brought to the nearer bound.
  int Level() const;

  QLabel* Label1;
  QLineEdit* Edit1;      // folder path
  QPushButton* Button1;  // Browse...
  QGroupBox* GroupBox1;
  QLabel* Label2;
  QLineEdit* Edit2;       // mask being entered
  QListWidget* ListBox1;  // the masks
  QPushButton* Button2;   // Clear list
  QPushButton* Button3;   // Delete
  QPushButton* Button4;   // Add
  QCheckBox* CheckBox1;   // checked: the masks exclude files
  QLabel* Label3;
  QSpinBox* SpinEdit1;   // compression
  QPushButton* Button5;  // OK
  QPushButton* Button6;  // Cancel

  void Button1Click();
  void Button2Click();
  void Button3Click();
  void Button4Click();
  void Button5Click();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  Prompter* prompter_;
};

}  // namespace dialogs
