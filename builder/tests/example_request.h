#pragma once

#include "builder/build_plugin.h"
#include "support/tests/test_files.h"

// The request the build tests start from: the site's index.html and download.html, the
// template from the sources, identifier p4217 and the name "My Plugin".
inline builder::BuildRequest exampleRequest(const QString& site, const QString& output,
                                            const QString& identifier = QStringLiteral("p4217"))
{
    builder::BuildRequest r;
    r.siteFolder = site;
    r.frontPage = site + "/index.html";
    r.downloadPage = site + "/download.html";
    r.details = builder::PluginDetails::Defaults("Vantor!");
    r.details.identifier = identifier;
    r.details.name = "My Plugin";
    r.templateFolder = QStringLiteral(VANTOR_SOURCE_DIR "/resources/plugintemplate");
    r.outputFolder = output;
    r.archiver = testfiles::archiverPath();
    return r;
}
