// The test both the project and the folder dialog make on a folder field.
#pragma once

#include <QString>

namespace dialogs {

// At least three characters and a full path: on Linux one that begins with "/" (the
// test that once looked for a drive letter's ":" or a share's "\" as second character).
inline bool IsFullFolderPath(const QString& text) {
  return text.size() >= 3 && text.front() == QLatin1Char('/');
}

}  // namespace dialogs
