#include "gui/desktop_folder_opener.h"

#include <QDesktopServices>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

namespace gui {
namespace {

QString runQuietly(const QString& program, const QStringList& arguments)
{
    const QString found = QStandardPaths::findExecutable(program);
    if (found.isEmpty())
        return {};
    QProcess process;
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.start(found, arguments, QIODevice::ReadOnly);
    if (!process.waitForFinished(3000)) {
        process.kill();
        process.waitForFinished(1000);
        return {};
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return {};
    return QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
}

bool onPath(const QProcessEnvironment& env, const QString& program)
{
    const QStringList path = env.value(QStringLiteral("PATH")).split(QLatin1Char(':'), Qt::SkipEmptyParts);
    return !QStandardPaths::findExecutable(program, path).isEmpty();
}

} // namespace

bool FolderHandlerExists(const QProcessEnvironment& env, const ProgramOutput& run)
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN) && !defined(Q_OS_ANDROID)
    // A desktop session (GNOME, KDE, Xfce, ...) opens folders through its own tools.
    if (!env.value(QStringLiteral("XDG_CURRENT_DESKTOP")).trimmed().isEmpty())
        return true;
    if (!onPath(env, QStringLiteral("xdg-open")))
        return false;
    if (!run(QStringLiteral("xdg-mime"),
             {QStringLiteral("query"), QStringLiteral("default"), QStringLiteral("inode/directory")})
             .isEmpty())
        return true;
    // Without a default, the launcher shows the folder in a browser if it finds one.
    return !env.value(QStringLiteral("BROWSER")).trimmed().isEmpty() ||
           onPath(env, QStringLiteral("x-www-browser"));
#else
    Q_UNUSED(env);
    Q_UNUSED(run);
    return true;
#endif
}

bool DesktopFolderOpener::openFolder(const QString& folder)
{
    if (!FolderHandlerExists(QProcessEnvironment::systemEnvironment(), runQuietly))
        return false;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

bool DesktopFolderOpener::openLink(const QUrl& url)
{
    return QDesktopServices::openUrl(url);
}

} // namespace gui
