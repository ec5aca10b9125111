#include "app/app_state.h"

#include <QCoreApplication>
#include <QDir>

namespace app {

InstallPaths InstallPaths::ForRunningProgram()
{
    return {QCoreApplication::applicationDirPath()};
}

QString InstallPaths::workingFolder() const
{
    return QDir(installFolder).filePath(QStringLiteral("tmp"));
}

QString InstallPaths::outputFolder() const
{
    return QDir(installFolder).filePath(QStringLiteral("output"));
}

QString InstallPaths::templateFolder() const
{
    return QDir(installFolder).filePath(QStringLiteral("plugintemplate"));
}

QString InstallPaths::blankPage() const
{
    return QDir(installFolder).filePath(QStringLiteral("blank.html"));
}

QString InstallPaths::archiver() const
{
    return QDir(installFolder).filePath(QStringLiteral("7za"));
}

QString InstallPaths::saveMarker() const
{
    return QDir(installFolder).filePath(QStringLiteral("save.alt"));
}

} // namespace app
