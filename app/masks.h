// The folder dialog's mask list and the folder's stored mask text (catalogue/masks.h, where
// the rule lives), converted into each other.
#pragma once

#include <QString>
#include <QStringList>

namespace app {

QString JoinMasks(const QStringList& masks);
QStringList SplitMasks(const QString& text);

}  // namespace app
