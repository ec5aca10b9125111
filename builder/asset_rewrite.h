#pragma once

#include <QString>
#include <QStringList>

#include <vector>

namespace builder {

// For each file, in list order, every "file" (the exact path between double quotes) becomes
// "<prefix>file", each file working on the result of the one before. Costs one pass over the
// text for the whole list, not one per file.
QString RewriteAssetPaths(const QString& text, const QStringList& files, const QString& prefix);

// Where the rule puts a prefix that no file name contains: the positions in text, ascending, each
// the start of a path between double quotes.
std::vector<qsizetype> LiteralRuleMatches(const QString& text, const QStringList& files);
// The same positions as byte offsets in text.toUtf8().
std::vector<qsizetype> LiteralRuleMatchesInUtf8(const QString& text, const QStringList& files);

// The same rule applied literally, one whole-text replacement per file: the yardstick the fast
// version is tested against, and what it falls back on where it cannot vouch for the result.
QString RewriteAssetPathsReference(const QString& text, const QStringList& files, const QString& prefix);

} // namespace builder
