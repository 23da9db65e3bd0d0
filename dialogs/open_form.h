// The open dialog: the projects of the catalogue in a list, one to be chosen. The caller
// sets the caption, adds one row per project and, after OK, takes the selected row's name.
#pragma once

#include <QStringList>

#include "dialogs/form_util.h"

class QGroupBox;
class QPushButton;
class QTreeWidget;

namespace dialogs {

class Prompter;

class TOpenForm : public CenteredDialog {
 public:
  TOpenForm(QWidget* parent, Prompter* prompter);

  // Appends a row: name, store folder, "TRUE"/"FALSE", created as timestamp text.
  void AddRow(const QString& name, const QString& folder, const QString& raise,
              const QString& created);
  // The first cell of the selected row; empty without a selection.
  QString SelectedName() const;

  QGroupBox* GroupBox1;
  QTreeWidget* ListView1;
  QPushButton* Button1;  // OK
  QPushButton* Button2;  // Cancel

  // OK and double click: closes with OK only when a row is selected, else beeps.
  void Button1Click();

 private:
  Prompter* prompter_;
};

}  // namespace dialogs
