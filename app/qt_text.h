// The windows' text conversion (dialogs/qt_text.h), by its short names inside app/.
#pragma once

#include "dialogs/qt_text.h"

namespace app {

using dialogs::ToQString;
using dialogs::ToUtf8;

}  // namespace app
