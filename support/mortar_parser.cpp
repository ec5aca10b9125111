#include "support/mortar_parser.h"

#include <QStringMatcher>

namespace support {

QString MortarParser::ReplaceText(const QString& text, const QString& find, const QString& replacement)
{
    if (find.isEmpty())
        return text;
    // Counted first, then built in one exactly sized string: replacing in place moves the tail of
    // the text once per batch of matches, which a large page with many matches does not survive.
    const QStringMatcher matcher(find, Qt::CaseSensitive);
    qsizetype at = matcher.indexIn(text, 0);
    if (at < 0)
        return text;
    qsizetype matches = 0;
    for (qsizetype i = at; i >= 0; i = matcher.indexIn(text, i + find.size()))
        ++matches;
    QString result;
    result.reserve(text.size() + matches * (replacement.size() - find.size()));
    qsizetype copied = 0;
    while (at >= 0) {
        result.append(QStringView(text).sliced(copied, at - copied));
        result.append(replacement);
        copied = at + find.size();
        at = matcher.indexIn(text, copied);
    }
    result.append(QStringView(text).sliced(copied));
    return result;
}

} // namespace support
