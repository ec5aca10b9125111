#include "builder/asset_rewrite.h"

#include "support/mortar_parser.h"

#include <QHash>
#include <QStringView>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <vector>

namespace builder {
namespace {

constexpr char16_t kQuote = u'"';

QString quoted(const QString& s)
{
    return QLatin1Char('"') + s + QLatin1Char('"');
}

// Applies files[first, last), none of which holds a double quote, with a prefix that is not empty
// and holds none either. Then "R" can only match where R fills the whole gap between two
// neighbouring quotes, and a replacement keeps every quote where it was. So the text is a row of
// gaps, each file's pass turns the gaps equal to it into prefix + gap, and one pass of the rule
// differs from "every equal gap" only in that a match consumes its closing quote: a gap right
// after a gap matched in the same pass is left for a later pass. Gaps are grouped by their
// current value, so a pass touches only the gaps that equal its file.
QString rewriteQuoteFreeRun(const QString& text, const QStringList& files, qsizetype first, qsizetype last,
                            const QString& prefix)
{
    const char16_t* data = reinterpret_cast<const char16_t*>(text.constData());
    std::vector<qsizetype> quotes;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (data[i] == kQuote)
            quotes.push_back(i);
    }
    if (quotes.size() < 2)
        return text;

    // One bucket per distinct file name; a gap whose value is no file name never changes.
    QHash<QStringView, int> bucketOf;
    qsizetype longest = 0;
    for (qsizetype f = first; f < last; ++f) {
        if (!bucketOf.contains(files[f]))
            bucketOf.insert(files[f], int(bucketOf.size()));
        longest = std::max(longest, files[f].size());
    }
    // Where a gap goes once prefixed: the bucket of prefix + value, or none.
    std::vector<int> nextBucket(bucketOf.size(), -1);
    for (auto it = bucketOf.cbegin(); it != bucketOf.cend(); ++it) {
        const QString grown = prefix + it.key().toString();
        nextBucket[it.value()] = bucketOf.value(grown, -1);
    }

    const qsizetype gaps = qsizetype(quotes.size()) - 1;
    std::vector<std::vector<qsizetype>> buckets(bucketOf.size());
    for (qsizetype g = 0; g < gaps; ++g) {
        const qsizetype length = quotes[g + 1] - quotes[g] - 1;
        if (length > longest)
            continue;
        const auto it = bucketOf.constFind(QStringView(data + quotes[g] + 1, length));
        if (it != bucketOf.cend())
            buckets[it.value()].push_back(g);
    }

    std::vector<std::uint32_t> depth(gaps, 0);
    std::vector<qsizetype> kept;
    std::vector<qsizetype> moved;
    std::vector<qsizetype> merged;
    for (qsizetype f = first; f < last; ++f) {
        const int b = bucketOf.value(files[f]);
        std::vector<qsizetype>& gapsHere = buckets[b];
        if (gapsHere.empty())
            continue;
        kept.clear();
        moved.clear();
        qsizetype lastMatched = -2;
        for (const qsizetype g : gapsHere) {
            if (g == lastMatched + 1) {
                kept.push_back(g);
            } else {
                moved.push_back(g);
                lastMatched = g;
                ++depth[g];
            }
        }
        gapsHere.swap(kept);
        if (const int next = nextBucket[b]; next >= 0) {
            std::vector<qsizetype>& target = buckets[next];
            merged.clear();
            merged.reserve(target.size() + moved.size());
            std::merge(target.begin(), target.end(), moved.begin(), moved.end(), std::back_inserter(merged));
            target.swap(merged);
        }
    }

    qsizetype added = 0;
    for (qsizetype g = 0; g < gaps; ++g)
        added += qsizetype(depth[g]) * prefix.size();
    if (added == 0)
        return text;
    QString result;
    result.reserve(text.size() + added);
    qsizetype copied = 0;
    for (qsizetype g = 0; g < gaps; ++g) {
        if (depth[g] == 0)
            continue;
        const qsizetype start = quotes[g] + 1;
        result.append(QStringView(data + copied, start - copied));
        for (std::uint32_t k = 0; k < depth[g]; ++k)
            result.append(prefix);
        copied = start;
    }
    result.append(QStringView(data + copied, text.size() - copied));
    return result;
}

} // namespace

QString RewriteAssetPathsReference(const QString& text, const QStringList& files, const QString& prefix)
{
    QString result = text;
    for (const QString& file : files)
        result = support::MortarParser::ReplaceText(result, quoted(file), quoted(prefix + file));
    return result;
}

QString RewriteAssetPaths(const QString& text, const QStringList& files, const QString& prefix)
{
    // With no prefix every replacement equals what it replaces.
    if (prefix.isEmpty() || files.isEmpty())
        return text;
    // A quote in the prefix would move the gaps between quotes as the text is rewritten.
    if (prefix.contains(QLatin1Char('"')))
        return RewriteAssetPathsReference(text, files, prefix);

    // A file name with a quote in it gets its own literal pass, in its place in the order; the
    // runs of ordinary names between such files go in one pass each.
    QString result = text;
    qsizetype runStart = 0;
    for (qsizetype f = 0; f <= files.size(); ++f) {
        if (f < files.size() && !files[f].contains(QLatin1Char('"')))
            continue;
        if (f > runStart)
            result = rewriteQuoteFreeRun(result, files, runStart, f, prefix);
        if (f < files.size())
            result = support::MortarParser::ReplaceText(result, quoted(files[f]), quoted(prefix + files[f]));
        runStart = f + 1;
    }
    return result;
}

} // namespace builder
