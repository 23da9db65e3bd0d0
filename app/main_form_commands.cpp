// Project, folder and log commands of the main window.
#include "app/main_form.h"

namespace app {

void TMainForm::Button4Click() {}
void TMainForm::Button7Click() {}
void TMainForm::Button8Click() {}
void TMainForm::Button5Click() {}
void TMainForm::Exit1Click() {}
void TMainForm::Button1Click() {}
void TMainForm::Button3Click() {}
void TMainForm::Button2Click() {}
void TMainForm::Deleteall1Click() {}
void TMainForm::Clearlog1Click() {}
void TMainForm::Clearallprojects1Click() {}

}  // namespace app
