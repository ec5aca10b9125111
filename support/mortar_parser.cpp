#include "support/mortar_parser.h"

#include <QByteArrayMatcher>
#include <QStringMatcher>

namespace support {

namespace {

// Counted first, then built in one exactly sized result: replacing in place moves the tail of the
// text once per batch of matches, which a large page with many matches does not survive.
template <typename Text, typename Matcher, typename View>
Text replaceAll(const Text& text, const Matcher& matcher, qsizetype findSize, View replacement)
{
    qsizetype at = matcher.indexIn(text, 0);
    if (at < 0)
        return text;
    qsizetype matches = 0;
    for (qsizetype i = at; i >= 0; i = matcher.indexIn(text, i + findSize))
        ++matches;
    Text result;
    result.reserve(text.size() + matches * (replacement.size() - findSize));
    qsizetype copied = 0;
    while (at >= 0) {
        result.append(View(text).sliced(copied, at - copied));
        result.append(replacement);
        copied = at + findSize;
        at = matcher.indexIn(text, copied);
    }
    result.append(View(text).sliced(copied));
    return result;
}

} // namespace

QString MortarParser::ReplaceText(const QString& text, const QString& find, const QString& replacement)
{
    if (find.isEmpty())
        return text;
    return replaceAll(text, QStringMatcher(find, Qt::CaseSensitive), find.size(), QStringView(replacement));
}

QByteArray MortarParser::ReplaceBytes(const QByteArray& text, QByteArrayView find, QByteArrayView replacement)
{
    if (find.isEmpty())
        return text;
    return replaceAll(text, QByteArrayMatcher(find), find.size(), replacement);
}

} // namespace support
