#pragma once

#include <QString>
#include <QStringList>

namespace builder {

// For each file, in list order, every "file" (the exact path between double quotes) becomes
// "<prefix>file", each file working on the result of the one before. Costs one pass over the
// text for the whole list, not one per file.
QString RewriteAssetPaths(const QString& text, const QStringList& files, const QString& prefix);

// The same rule applied literally, one whole-text replacement per file: the yardstick the fast
// version is tested against, and what it falls back on where it cannot vouch for the result.
QString RewriteAssetPathsReference(const QString& text, const QStringList& files, const QString& prefix);

} // namespace builder
