#include "builder/asset_rewrite.h"

#include "support/mortar_parser.h"

#include <QHash>
#include <QStringView>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <limits>
#include <vector>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace builder {
namespace {

// A rewritten page of megabytes is written once, front to back: on huge pages that costs a few
// page faults instead of thousands, which dominate the whole rewrite on a virtual machine.
void preferHugePages(QString& s)
{
#ifdef __linux__
    constexpr std::uintptr_t huge = std::uintptr_t(2) << 20;
    const auto begin = (reinterpret_cast<std::uintptr_t>(s.data()) + huge - 1) & ~(huge - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(s.data() + s.size())) & ~(huge - 1);
    if (end > begin)
        madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
    Q_UNUSED(s);
#endif
}

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
    // One bucket per distinct file name; a gap whose value is no file name never changes.
    QHash<QStringView, int> bucketOf;
    qsizetype longest = 0;
    for (qsizetype f = first; f < last; ++f) {
        if (!bucketOf.contains(files[f]))
            bucketOf.insert(files[f], int(bucketOf.size()));
        longest = std::max(longest, files[f].size());
    }

    // The gaps equal to some file name, in text order: which gap it is and where its text starts.
    struct Candidate
    {
        qsizetype gap;
        qsizetype start;
    };
    std::vector<Candidate> candidates;
    std::vector<std::vector<std::uint32_t>> buckets(bucketOf.size());
    const QStringView view(text);
    qsizetype gap = 0;
    for (qsizetype open = view.indexOf(kQuote); open >= 0; ++gap) {
        const qsizetype close = view.indexOf(kQuote, open + 1);
        if (close < 0)
            break;
        if (close - open - 1 <= longest) {
            const auto it = bucketOf.constFind(view.sliced(open + 1, close - open - 1));
            if (it != bucketOf.cend()) {
                buckets[it.value()].push_back(std::uint32_t(candidates.size()));
                candidates.push_back({gap, open + 1});
            }
        }
        open = close;
    }
    if (candidates.empty())
        return text;
    // More candidates than a 32-bit index holds would need a page of many gigabytes.
    Q_ASSERT(candidates.size() < std::numeric_limits<std::uint32_t>::max());

    // Where a gap goes once prefixed: the bucket of prefix + value, or none.
    std::vector<int> nextBucket(bucketOf.size(), -1);
    for (auto it = bucketOf.cbegin(); it != bucketOf.cend(); ++it)
        nextBucket[it.value()] = bucketOf.value(QString(prefix + it.key().toString()), -1);

    std::vector<std::uint32_t> depth(candidates.size(), 0);
    std::vector<std::uint32_t> kept;
    std::vector<std::uint32_t> moved;
    std::vector<std::uint32_t> merged;
    for (qsizetype f = first; f < last; ++f) {
        const int b = bucketOf.value(files[f]);
        std::vector<std::uint32_t>& here = buckets[b];
        if (here.empty())
            continue;
        kept.clear();
        moved.clear();
        qsizetype lastMatchedGap = -2;
        for (const std::uint32_t c : here) {
            if (candidates[c].gap == lastMatchedGap + 1) {
                kept.push_back(c);
            } else {
                moved.push_back(c);
                lastMatchedGap = candidates[c].gap;
                ++depth[c];
            }
        }
        here.swap(kept);
        if (const int next = nextBucket[b]; next >= 0) {
            std::vector<std::uint32_t>& target = buckets[next];
            merged.clear();
            merged.reserve(target.size() + moved.size());
            std::merge(target.begin(), target.end(), moved.begin(), moved.end(), std::back_inserter(merged));
            target.swap(merged);
        }
    }

    qsizetype added = 0;
    for (const std::uint32_t d : depth)
        added += qsizetype(d) * prefix.size();
    if (added == 0)
        return text;
    QString result(text.size() + added, Qt::Uninitialized);
    preferHugePages(result);
    QChar* out = result.data();
    const QChar* in = text.constData();
    qsizetype copied = 0;
    for (size_t c = 0; c < candidates.size(); ++c) {
        if (depth[c] == 0)
            continue;
        const qsizetype start = candidates[c].start;
        out = std::copy(in + copied, in + start, out);
        for (std::uint32_t k = 0; k < depth[c]; ++k)
            out = std::copy(prefix.cbegin(), prefix.cend(), out);
        copied = start;
    }
    std::copy(in + copied, in + text.size(), out);
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
