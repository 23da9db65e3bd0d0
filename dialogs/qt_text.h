// Text crossing between the windows (QString) and the engines (UTF-8 std::string): the one
// conversion app/ and dialogs/ use.
#pragma once

#include <QString>
#include <QStringList>
#include <string>
#include <vector>

namespace dialogs {

inline QString ToQString(const std::string& utf8) { return QString::fromStdString(utf8); }
inline std::string ToUtf8(const QString& text) { return text.toStdString(); }

inline QStringList ToQStringList(const std::vector<std::string>& utf8) {
  QStringList list;
  for (const std::string& text : utf8) list.append(ToQString(text));
  return list;
}
inline std::vector<std::string> ToUtf8List(const QStringList& list) {
  std::vector<std::string> utf8;
  for (const QString& text : list) utf8.push_back(ToUtf8(text));
  return utf8;
}

}  // namespace dialogs
