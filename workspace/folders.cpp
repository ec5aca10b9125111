#include "workspace/folders.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace workspace {
namespace {

QString inside(const QString& folder, const QString& name)
{
    return QDir::cleanPath(QDir(folder).filePath(name));
}

Folders laidOut(const QString& programFolder, const QString& resourceFolder, const QString& dataFolder,
                const QString& outputFolder)
{
    Folders folders;
    folders.installFolder = programFolder;
    folders.dataFolder = QDir::cleanPath(dataFolder);
    folders.workingFolder = inside(dataFolder, QStringLiteral("tmp"));
    folders.outputFolder = QDir::cleanPath(outputFolder);
    folders.templateFolder = inside(resourceFolder, QStringLiteral("plugintemplate"));
    folders.blankPage = inside(resourceFolder, QStringLiteral("blank.html"));
    const QString bundled = inside(resourceFolder, QStringLiteral("7za"));
    folders.archiver = QFileInfo::exists(bundled) ? bundled : QStringLiteral("7za");
    folders.saveMarker = inside(dataFolder, QStringLiteral("save.alt"));
    folders.workingLock = inside(dataFolder, QStringLiteral("tmp.lock"));
    folders.recoveryFolder = inside(dataFolder, QStringLiteral("recovery"));
    folders.settingsFile = inside(dataFolder, QStringLiteral("settings.ini"));
    // Local socket names share one folder among all users: the home folder sets each user apart.
    const QByteArray owner = (QDir::homePath() + QLatin1Char('\n') + folders.dataFolder).toUtf8();
    folders.windowChannel =
        QStringLiteral("vantor-") +
        QString::fromLatin1(QCryptographicHash::hash(owner, QCryptographicHash::Sha256).toHex().left(24));
    return folders;
}

} // namespace

Folders Folders::forRunningProgram()
{
    const QString program = QCoreApplication::applicationDirPath();
    // One data folder for both programs, whatever each one's own name.
    const UserFolders user{QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
                               .filePath(QStringLiteral("vantor")),
                           QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation),
                           QDir::homePath()};
    return resolve(program, QFileInfo(program).isWritable(), user);
}

Folders Folders::resolve(const QString& programFolder, bool programFolderWritable, const UserFolders& user)
{
    const QString shared = inside(programFolder, QStringLiteral("../share/vantor"));
    const bool forEveryone = !QFileInfo(inside(programFolder, QStringLiteral("plugintemplate"))).isDir() &&
                             QFileInfo(inside(shared, QStringLiteral("plugintemplate"))).isDir();
    if (!forEveryone && programFolderWritable)
        return selfContained(programFolder);
    // A visible folder the user finds: among the documents where there is such a folder.
    const QString under = QFileInfo(user.documents).isDir() ? user.documents : user.home;
    return laidOut(programFolder, forEveryone ? shared : programFolder, user.appData,
                   inside(under, QStringLiteral("Vantor Plugins")));
}

Folders Folders::selfContained(const QString& folder)
{
    return laidOut(folder, folder, folder, inside(folder, QStringLiteral("output")));
}

} // namespace workspace
