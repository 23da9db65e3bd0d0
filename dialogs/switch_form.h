// The command-line help: the switches and what they do (the four backup switches, then
// the restore and verify ones).
#pragma once

#include "dialogs/form_util.h"

class QLabel;
class QPushButton;

namespace dialogs {

class TSwitchForm : public CenteredDialog {
 public:
  explicit TSwitchForm(QWidget* parent);

  QLabel* Label1;
  QLabel* Label2;
  QLabel* Label3;
  QLabel* Label4;
  QLabel* Label5;        // /R:
  QLabel* Label6;        // /F:
  QLabel* Label7;        // /T:
  QLabel* Label8;        // /O:
  QLabel* Label9;        // /V:
  QLabel* Label10;       // /W:
  QPushButton* Button1;  // OK
};

}  // namespace dialogs
