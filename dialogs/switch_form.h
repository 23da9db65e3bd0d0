// The command-line help: the four switches and what they do.
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
  QPushButton* Button1;  // OK
};

}  // namespace dialogs
