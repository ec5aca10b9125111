#include "app/app_state.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace app {

InstallPaths InstallPaths::ForRunningProgram()
{
    const QString program = QCoreApplication::applicationDirPath();
    // One data folder for both programs, whatever each one's own name.
    const UserFolders user{QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
                               .filePath(QStringLiteral("vantor")),
                           QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation),
                           QDir::homePath()};
    return Resolve(program, QFileInfo(program).isWritable(), user);
}

InstallPaths InstallPaths::Resolve(const QString& programFolder, bool programFolderWritable,
                                   const UserFolders& user)
{
    InstallPaths paths;
    paths.installFolder = programFolder;
    const QString shared = QDir::cleanPath(QDir(programFolder).filePath(QStringLiteral("../share/vantor")));
    const bool forEveryone =
        !QFileInfo(QDir(programFolder).filePath(QStringLiteral("plugintemplate"))).isDir() &&
        QFileInfo(QDir(shared).filePath(QStringLiteral("plugintemplate"))).isDir();
    paths.resourceFolder = forEveryone ? shared : programFolder;
    if (!forEveryone && programFolderWritable) {
        paths.dataFolder = programFolder;
        paths.outputFolder = QDir(programFolder).filePath(QStringLiteral("output"));
        return paths;
    }
    paths.dataFolder = user.appData;
    // A visible folder the user finds: among the documents where there is such a folder.
    const QString under = QFileInfo(user.documents).isDir() ? user.documents : user.home;
    paths.outputFolder = QDir(under).filePath(QStringLiteral("Vantor Plugins"));
    return paths;
}

QString InstallPaths::workingFolder() const
{
    return QDir(dataFolder).filePath(QStringLiteral("tmp"));
}

QString InstallPaths::templateFolder() const
{
    return QDir(resourceFolder).filePath(QStringLiteral("plugintemplate"));
}

QString InstallPaths::blankPage() const
{
    return QDir(resourceFolder).filePath(QStringLiteral("blank.html"));
}

QString InstallPaths::archiver() const
{
    const QString bundled = QDir(resourceFolder).filePath(QStringLiteral("7za"));
    return QFileInfo::exists(bundled) ? bundled : QStringLiteral("7za");
}

QString InstallPaths::saveMarker() const
{
    return QDir(dataFolder).filePath(QStringLiteral("save.alt"));
}

} // namespace app
