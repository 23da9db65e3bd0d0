#include "app/masks.h"

namespace app {

namespace {
const QString kSeparator = QStringLiteral("; ");
}

QString JoinMasks(const QStringList& masks) {
  QString text;
  for (const QString& mask : masks) text += mask + kSeparator;
  return text;
}

QStringList SplitMasks(const QString& text) {
  QStringList masks;
  qsizetype start = 0;
  while (start < text.size()) {
    const qsizetype end = text.indexOf(kSeparator, start);
    if (end < 0) {
      masks.append(text.mid(start));
      break;
    }
    masks.append(text.mid(start, end - start));
    start = end + kSeparator.size();
  }
  return masks;
}

}  // namespace app
