#include "app/masks.h"

#include "catalogue/masks.h"
#include "dialogs/qt_text.h"

namespace app {

QString JoinMasks(const QStringList& masks) {
  return dialogs::ToQString(catalogue::JoinMasks(dialogs::ToUtf8List(masks)));
}

QStringList SplitMasks(const QString& text) {
  return dialogs::ToQStringList(catalogue::SplitMasks(dialogs::ToUtf8(text)));
}

}  // namespace app
