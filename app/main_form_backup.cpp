// Backup runs, the log and help windows, and the command-line switches.
#include "app/main_form.h"

namespace app {

void TMainForm::Button6Click() {}
void TMainForm::Startallprojects1Click() {}
void TMainForm::Button9Click() {}
void TMainForm::Commandline1Click() {}
void TMainForm::About1Click() {}

void TMainForm::ProcessCommandLine(const QStringList& arguments) { (void)arguments; }

}  // namespace app
