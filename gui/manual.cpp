#include "gui/manual.h"

#include "gui/message_box_prompter.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>

namespace gui {
namespace {

const QString kTitle = QStringLiteral("User Manual");

} // namespace

QStringList ManualSections()
{
    return {QString::fromUtf16(kManualSiteFolder),  QString::fromUtf16(kManualRoles),
            QString::fromUtf16(kManualTags),        QString::fromUtf16(kManualPluginDetails),
            QString::fromUtf16(kManualInstalling),  QString::fromUtf16(kManualMessages),
            QString::fromUtf16(kManualEditProblems)};
}

QStringList ManualPlaces(const QString& programFolder)
{
    const QDir program(programFolder);
    return {QDir::cleanPath(program.filePath(QStringLiteral("manual/index.html"))),
            QDir::cleanPath(program.filePath(QStringLiteral("../share/vantor/manual/index.html")))};
}

QUrl ManualUrlIn(const QString& programFolder, const QString& section)
{
    for (const QString& place : ManualPlaces(programFolder)) {
        if (!QFileInfo(place).isFile())
            continue;
        QUrl url = QUrl::fromLocalFile(QFileInfo(place).absoluteFilePath());
        if (!section.isEmpty())
            url.setFragment(section);
        return url;
    }
    return {};
}

QUrl ManualUrl(const QString& section)
{
    return ManualUrlIn(QCoreApplication::applicationDirPath(), section);
}

bool OpenManualIn(const QString& programFolder, workspace::Prompter& prompter, const QString& section)
{
    const QUrl url = ManualUrlIn(programFolder, section);
    if (url.isEmpty()) {
        QStringList places;
        for (const QString& place : ManualPlaces(programFolder))
            places << QDir::toNativeSeparators(place);
        prompter.inform(kTitle,
                        QStringLiteral("The user manual was not found. It is installed with the program, "
                                       "and was looked for here:\n%1\n\nInstalling the program again "
                                       "brings it back.")
                            .arg(places.join(QLatin1Char('\n'))),
                        workspace::MessageIcon::Warning);
        return false;
    }
    if (QDesktopServices::openUrl(url))
        return true;
    prompter.inform(kTitle,
                    QStringLiteral("No web browser could be started to show the user manual. Please open "
                                   "this file in your web browser:\n%1")
                        .arg(QDir::toNativeSeparators(url.toLocalFile())),
                    workspace::MessageIcon::Warning);
    return false;
}

bool OpenManual(workspace::Prompter& prompter, const QString& section)
{
    return OpenManualIn(QCoreApplication::applicationDirPath(), prompter, section);
}

bool OpenManual(QWidget* parent, const QString& section)
{
    MessageBoxPrompter prompter(parent);
    return OpenManual(prompter, section);
}

} // namespace gui
