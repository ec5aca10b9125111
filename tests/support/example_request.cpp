#include "tests/support/example_request.h"

#include "support/mortar_file.h"
#include "tests/support/test_files.h"

#include <QDir>

namespace testsupport {

builder::BuildRequest exampleRequest(const QString& site, const QString& output, const QString& identifier)
{
    builder::BuildRequest r;
    r.siteFolder = site;
    r.frontPage = site + "/index.html";
    r.downloadPage = site + "/download.html";
    r.details = builder::PluginDetails::defaults("Vantor!");
    r.details.identifier = identifier;
    r.details.name = "My Plugin";
    r.templateFolder = QStringLiteral(VANTOR_SOURCE_DIR "/resources/plugintemplate");
    r.outputFolder = output;
    r.archiver = archiverPath();
    return r;
}

void writeSmallSite(const QString& site)
{
    writeFile(site + "/index.html", "<html><img src=\"images/a.png\">#FRONT#</html>");
    writeFile(site + "/download.html", "<html><a href=\"files/guide.pdf\">Guide</a>#BACK#</html>");
    writeFile(site + "/images/a.png", "\x89PNG fake");
    writeFile(site + "/files/guide.pdf", "%PDF-1.4 fake");
}

workspace::Folders exampleBuildFolders(const QString& root)
{
    workspace::Folders folders = workspace::Folders::selfContained(root);
    folders.archiver = QStringLiteral(VANTOR_INSTALL_DIR "/7za");
    support::MortarFile::CopyFolder(QStringLiteral(VANTOR_SOURCE_DIR "/examples/reseller-site"),
                                    folders.workingFolder);
    support::MortarFile::CopyFolder(QStringLiteral(VANTOR_SOURCE_DIR "/resources/plugintemplate"),
                                    folders.templateFolder);
    QDir().mkpath(folders.outputFolder);
    return folders;
}

} // namespace testsupport
