// Text crossing between the windows (QString) and the engines (UTF-8 std::string).
#pragma once

#include <QString>
#include <string>

namespace app {

inline QString ToQString(const std::string& utf8) { return QString::fromStdString(utf8); }
inline std::string ToUtf8(const QString& text) { return text.toStdString(); }

}  // namespace app
