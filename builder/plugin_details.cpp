#include "builder/plugin_details.h"

#include "support/mortar_tools.h"

namespace builder {

PluginDetails PluginDetails::defaults(const QString& appName)
{
    const QString credit = QString::fromUtf16(kCreditAddress);
    PluginDetails d;
    d.identifier = GenerateIdentifier();
    d.name = QStringLiteral("My Plugin");
    d.uri = QString::fromUtf16(kDefaultPluginUri);
    d.description =
        QStringLiteral("Plugin Created with ") + appName + QStringLiteral(" - ") + credit + QLatin1Char('.');
    d.version = QStringLiteral("1.0");
    d.author = QStringLiteral("Converted by ") + appName;
    d.authorUri = credit;
    d.license = QStringLiteral("GPL");
    return d;
}

QString GenerateIdentifier()
{
    const auto first = qint16(support::MortarTools::RandomNumber(999));
    const auto second = qint16(support::MortarTools::RandomNumber(999));
    return QStringLiteral("p") + QString::number(first) + QString::number(second);
}

} // namespace builder
