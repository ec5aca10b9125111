#pragma once

#include <QString>

namespace builder {

// The WordPress plugin header block: eleven CR LF-joined lines from "<?php" to "?>", values
// inserted as they are, no line break after the last line.
QString BuildPluginHeader(const QString& name, const QString& uri, const QString& description,
                          const QString& version, const QString& author, const QString& authorUri,
                          const QString& license);

// The PHP fragment put before the path of a site file so that it names the file inside the
// installed plugin: it prints the address of the plugin's modules/template/ folder as WordPress
// reports it, which the plugin works out before it includes a converted page.
QString GetAssetUrlPrefix();

} // namespace builder
