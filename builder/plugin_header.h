#pragma once

#include <QString>

namespace builder {

// The WordPress plugin header block: eleven CR LF-joined lines from "<?php" to "?>", values
// inserted as they are, no line break after the last line.
QString BuildPluginHeader(const QString& name, const QString& uri, const QString& description,
                          const QString& version, const QString& author, const QString& authorUri,
                          const QString& license);

// The PHP fragment put before a page-relative asset path so that it names the file inside the
// installed plugin: "<?php bloginfo('wpurl'); ?>/wp-content/plugins/<id>/modules/template/".
QString GetAssetUrlPrefix(const QString& identifier);

} // namespace builder
