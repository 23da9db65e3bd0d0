// The folder's mask text and the folder dialog's mask list, converted into each other.
// Stored, every mask is followed by "; " (a semicolon and a blank).
#pragma once

#include <QString>
#include <QStringList>

namespace app {

// Every entry in list order, each followed by "; "; an empty list gives the empty text.
QString JoinMasks(const QStringList& masks);
// The reverse: the text before each "; " is one entry. A rest without a closing "; " (a
// text cut at the catalogue's 100 characters) is one more entry, so nothing is dropped.
QStringList SplitMasks(const QString& text);

}  // namespace app
