#pragma once

#include "builder/build_plugin.h"
#include "workspace/folders.h"

#include <QString>

namespace testsupport {

// The request the build tests start from: the site's index.html and download.html, the
// template from the sources, identifier p4217 and the name "My Plugin".
builder::BuildRequest exampleRequest(const QString& site, const QString& output,
                                     const QString& identifier = QStringLiteral("p4217"));

// A small site for exampleRequest(): index.html with an image and #FRONT#, download.html with a
// link to a guide and #BACK#, the image and the guide.
void writeSmallSite(const QString& site);

// An installation folder at root laid out for a build: the example site as the working copy, the
// plugin template, an empty output folder and the build tree's 7za.
workspace::Folders exampleBuildFolders(const QString& root);

} // namespace testsupport
