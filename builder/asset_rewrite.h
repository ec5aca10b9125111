#pragma once

#include <QString>
#include <QStringList>

namespace builder {

// For each file, in list order, every "file" (the exact path between double quotes) becomes
// "<prefix>file", each file working on the result of the one before.
QString RewriteAssetPaths(const QString& text, const QStringList& files, const QString& prefix);

} // namespace builder
