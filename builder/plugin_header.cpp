#include "builder/plugin_header.h"

#include <QStringList>

namespace builder {

QString BuildPluginHeader(const QString& name, const QString& uri, const QString& description,
                          const QString& version, const QString& author, const QString& authorUri,
                          const QString& license)
{
    const QStringList lines = {
        QStringLiteral("<?php"),
        QStringLiteral("/*"),
        QStringLiteral("Plugin Name: ") + name,
        QStringLiteral("Plugin URI: ") + uri,
        QStringLiteral("Description: ") + description,
        QStringLiteral("Version: ") + version,
        QStringLiteral("Author: ") + author,
        QStringLiteral("Author URI: ") + authorUri,
        QStringLiteral("License: ") + license,
        QStringLiteral("*/"),
        QStringLiteral("?>"),
    };
    return lines.join(QStringLiteral("\r\n"));
}

QString GetAssetUrlPrefix()
{
    return QStringLiteral("<?php echo $asset_base; ?>");
}

} // namespace builder
