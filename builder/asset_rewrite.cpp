#include "builder/asset_rewrite.h"

#include "support/mortar_parser.h"

namespace builder {

QString RewriteAssetPaths(const QString& text, const QStringList& files, const QString& prefix)
{
    const QString quote(QLatin1Char('"'));
    QString result = text;
    for (const QString& file : files)
        result = support::MortarParser::ReplaceText(result, quote + file + quote, quote + prefix + file + quote);
    return result;
}

} // namespace builder
