#include "builder/asset_rewrite.h"

#include "support/memory_advice.h"
#include "support/mortar_parser.h"

#include <QHash>
#include <QStringView>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <limits>
#include <stdexcept>
#include <vector>

namespace builder {
namespace {

// A rewritten page of megabytes is written once, front to back: on huge pages that costs a few
// page faults instead of thousands, which dominate the whole rewrite on a virtual machine.
void preferHugePages(QString& s)
{
    support::PreferHugePages(s.data(), std::size_t(s.size()) * sizeof(QChar));
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
// current value, so a pass touches only the gaps that equal its file. matchGaps works out which gaps
// get the prefix and how many times; with no prefix given it is opaque, one no file name contains.
struct GapMatches
{
    struct Candidate
    {
        qsizetype gap;
        qsizetype start;
    };
    std::vector<Candidate> candidates;
    std::vector<std::uint32_t> depth;
};

GapMatches matchGaps(const QString& text, const QStringList& files, qsizetype first, qsizetype last,
                     const QString* prefix)
{
    GapMatches out;
    // One bucket per distinct file name; a gap whose value is no file name never changes.
    QHash<QStringView, int> bucketOf;
    qsizetype longest = 0;
    for (qsizetype f = first; f < last; ++f) {
        if (!bucketOf.contains(files[f]))
            bucketOf.insert(files[f], int(bucketOf.size()));
        longest = std::max(longest, files[f].size());
    }

    // The gaps equal to some file name, in text order: which gap it is and where its text starts.
    std::vector<GapMatches::Candidate>& candidates = out.candidates;
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
        return out;
    // More candidates than a 32-bit index holds would need a page of many gigabytes.
    Q_ASSERT(candidates.size() < std::numeric_limits<std::uint32_t>::max());

    // Where a gap goes once prefixed: the bucket of prefix + value, or none.
    std::vector<int> nextBucket(bucketOf.size(), -1);
    if (prefix) {
        for (auto it = bucketOf.cbegin(); it != bucketOf.cend(); ++it)
            nextBucket[it.value()] = bucketOf.value(QString(*prefix + it.key().toString()), -1);
    }

    std::vector<std::uint32_t>& depth = out.depth;
    depth.assign(candidates.size(), 0);
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
    return out;
}

QString rewriteQuoteFreeRun(const QString& text, const QStringList& files, qsizetype first, qsizetype last,
                            const QString& prefix)
{
    const GapMatches matches = matchGaps(text, files, first, last, &prefix);
    const auto& candidates = matches.candidates;
    const auto& depth = matches.depth;
    if (candidates.empty())
        return text;
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

// Where the positions of text (ascending) fall in text.toUtf8(), which writes a surrogate pair as
// four bytes and a lone surrogate as "?".
std::vector<qsizetype> utf8Offsets(const QString& text, const std::vector<qsizetype>& at)
{
    std::vector<qsizetype> out;
    out.reserve(at.size());
    const QChar* p = text.constData();
    const qsizetype n = text.size();
    qsizetype i = 0;
    qsizetype bytes = 0;
    for (const qsizetype pos : at) {
        for (; i < pos; ++i) {
            const char16_t c = p[i].unicode();
            if (c < 0x80) {
                bytes += 1;
            } else if (c < 0x800) {
                bytes += 2;
            } else if (QChar::isHighSurrogate(c) && i + 1 < n && p[i + 1].isLowSurrogate()) {
                bytes += 4;
                ++i;
            } else {
                bytes += QChar::isSurrogate(c) ? 1 : 3;
            }
        }
        out.push_back(bytes);
    }
    return out;
}

} // namespace

std::vector<qsizetype> LiteralRuleMatchesInUtf8(const QString& text, const QStringList& files)
{
    return utf8Offsets(text, LiteralRuleMatches(text, files));
}

std::vector<qsizetype> LiteralRuleMatches(const QString& text, const QStringList& files)
{
    std::vector<qsizetype> at;
    if (files.isEmpty())
        return at;
    const bool quoted =
        std::any_of(files.cbegin(), files.cend(), [](const QString& f) { return f.contains(u'"'); });
    if (!quoted) {
        const GapMatches m = matchGaps(text, files, 0, files.size(), nullptr);
        for (std::size_t c = 0; c < m.candidates.size(); ++c) {
            if (m.depth[c] > 0)
                at.push_back(m.candidates[c].start);
        }
        return at;
    }
    // Names with quotes in them change the gaps as they are replaced: the rule itself, with a mark
    // that neither the text nor a name holds, says where.
    std::vector<bool> used(0x10000, false);
    for (const QChar c : text)
        used[c.unicode()] = true;
    for (const QString& f : files) {
        for (const QChar c : f)
            used[c.unicode()] = true;
    }
    char16_t mark = 0xE000;
    while (mark < 0xF8FF && used[mark])
        ++mark;
    if (used[mark])
        throw std::runtime_error("the page uses every private character there is");
    const QString marked = RewriteAssetPaths(text, files, QString(QChar(mark)));
    qsizetype seen = 0;
    for (qsizetype i = 0; i < marked.size(); ++i) {
        if (marked[i] == QChar(mark))
            at.push_back(i - seen++);
    }
    return at;
}

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
