// The restore command of the main window.
#include "app/main_form.h"

namespace app {

void TMainForm::Button10Click() {}

}  // namespace app
