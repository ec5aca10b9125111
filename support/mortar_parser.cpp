#include "support/mortar_parser.h"

namespace support {

QString MortarParser::ReplaceText(const QString& text, const QString& find, const QString& replacement)
{
    if (find.isEmpty())
        return text;
    QString result = text;
    result.replace(find, replacement, Qt::CaseSensitive);
    return result;
}

} // namespace support
