#include "workspace/plugin_build.h"

#include "builder/install_notes.h"
#include "builder/plugin_rules.h"
#include "workspace/folder_opener.h"
#include "workspace/prompter.h"

#include <QDir>
#include <QFileInfo>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>

namespace workspace {
namespace {

using Status = builder::BuildResult::Status;

const QString kAllFieldsRequired = QStringLiteral("All the fields are required.");

// The message box that tells how a build ended: its title and its text.
QString outcomeTitle(const builder::BuildResult& result)
{
    switch (result.status) {
    case Status::Done:
        return QStringLiteral("Done");
    case Status::MissingFields:
    case Status::Refused:
        return QStringLiteral("Important");
    case Status::Stopped:
        return QStringLiteral("Stopped");
    case Status::Failed:
        break;
    }
    return QStringLiteral("Error");
}

QString outcomeText(const builder::BuildResult& result)
{
    switch (result.status) {
    case Status::Done:
        return QStringLiteral("Done! Your plugin is ready. The software will now open the output window.");
    case Status::MissingFields:
        return kAllFieldsRequired;
    case Status::Refused:
        return result.description;
    case Status::Stopped:
        return QStringLiteral("The build was stopped. Nothing of it was kept, and the output folder is as it "
                              "was before, with any earlier plugin ZIP unchanged.");
    case Status::Failed:
        break;
    }
    return QStringLiteral("Error during plugin creation. Error Number:") +
           QString::number(result.errorNumber) + QStringLiteral(" Description:") + result.description;
}

// A lean plugin's files for buyers go up on the site after the plugin.
QString leanNote(const builder::BuildResult& result)
{
    if (result.deliveryListPath.isEmpty())
        return {};
    return QStringLiteral(
               "The files for buyers are not in the ZIP. After installing the plugin, upload them on "
               "the funnel's edit screen in WordPress; until then buyers read that they are being "
               "prepared. Their list, with sizes and SHA-256: ") +
           QDir::toNativeSeparators(result.deliveryListPath);
}

} // namespace

QString BuildReport(const builder::BuildResult& result, qint64 uploadLimit)
{
    const std::vector<builder::ReferenceNote>& notes = result.references;
    // A message box has room for a screenful: the broken ones first, the rest is counted.
    constexpr int kShown = 12;
    std::vector<const builder::ReferenceNote*> broken;
    std::vector<const builder::ReferenceNote*> guessed;
    for (const builder::ReferenceNote& note : notes)
        (note.kind == builder::ReferenceNote::Kind::CaseOnly ? guessed : broken).push_back(&note);
    QStringList lines;
    int room = kShown;
    // The window delivers no file but those the download page links.
    if (!result.delivered.isEmpty()) {
        lines << builder::PageDeliveryWarning(result.delivered.size()) +
                     QStringLiteral(" The funnel's edit screen shows each file's own address. The files:");
        const int shown = std::min(room, int(result.delivered.size()));
        for (int i = 0; i < shown; ++i)
            lines << QStringLiteral("\u2022 ") + result.delivered[i];
        if (result.delivered.size() > shown)
            lines << QStringLiteral("\u2026 and %1 more.").arg(result.delivered.size() - shown);
        room = std::max(2, room - shown);
    }
    const auto list = [&](const std::vector<const builder::ReferenceNote*>& some, const QString& heading) {
        if (some.empty())
            return;
        if (!lines.isEmpty())
            lines << QString();
        lines << heading;
        const int shown = std::min(room, int(some.size()));
        for (int i = 0; i < shown; ++i)
            lines << QStringLiteral("\u2022 ") + builder::DescribeReferenceNote(*some[std::size_t(i)]);
        if (int(some.size()) > shown)
            lines << QStringLiteral("\u2026 and %1 more.").arg(some.size() - std::size_t(shown));
        room = std::max(2, room - shown);
    };
    if (!result.leftOut.empty()) {
        if (!lines.isEmpty())
            lines << QString();
        lines << QStringLiteral("These files of the site folder were left out of the plugin, as every build "
                                "leaves them out:");
        const int shown = std::min(room, int(result.leftOut.size()));
        for (int i = 0; i < shown; ++i) {
            const builder::LeftOutEntry& entry = result.leftOut[std::size_t(i)];
            lines << QStringLiteral("\u2022 %1: %2").arg(entry.path, builder::LeftOutReason(entry.kind));
        }
        if (int(result.leftOut.size()) > shown)
            lines << QStringLiteral("\u2026 and %1 more.").arg(result.leftOut.size() - std::size_t(shown));
        room = std::max(2, room - shown);
    }
    list(broken,
         QStringLiteral("These references in your pages name no file of the site, so they will not work "
                        "in WordPress. Put the missing files into the site folder or correct the "
                        "references, then create the plugin again:"));
    list(guessed,
         QStringLiteral("These references were matched to a file only by ignoring letter case. They work "
                        "in the plugin; renaming the file or the reference to match exactly keeps "
                        "them working elsewhere:"));
    if (!lines.isEmpty()) {
        lines << QString()
              << QStringLiteral(
                     "In all: %1 left out, %2 script strings rewritten, %3 absolute addresses made "
                     "local, %4 references that will not work as they are.")
                     .arg(result.leftOut.size())
                     .arg(result.scriptStrings)
                     .arg(result.localAddresses)
                     .arg(notes.size());
    }
    const qint64 zipSize = result.archivePath.isEmpty() ? 0 : QFileInfo(result.archivePath).size();
    for (const QString& note : {leanNote(result), builder::UploadSizeWarning(zipSize, uploadLimit)}) {
        if (!note.isEmpty())
            lines << (lines.isEmpty() ? QStringList() : QStringList(QString())) << note;
    }
    return lines.join(QLatin1Char('\n'));
}

PluginBuild::PluginBuild(const Folders& folders, const QString& frontPage, const QString& downloadPage,
                         Prompter& prompter, FolderOpener& opener, QObject* parent)
    : QObject(parent), m_folders(folders), m_frontPage(frontPage), m_downloadPage(downloadPage),
      m_prompter(prompter), m_opener(opener)
{
    connect(&m_watcher, &QFutureWatcher<builder::BuildResult>::finished, this, &PluginBuild::onBuildFinished);
}

PluginBuild::~PluginBuild()
{
    m_watcher.waitForFinished();
}

bool PluginBuild::create(const builder::PluginDetails& details)
{
    if (m_busy)
        return false;
    if (builder::AnyFieldEmpty(details)) {
        m_prompter.inform(QStringLiteral("Important"), kAllFieldsRequired);
        return false;
    }
    // Details the build refuses (an identifier, a name or a header value) are reported by the
    // build; only a build that will run may replace anything, so only that one asks.
    if (builder::DetailsProblem(details).isEmpty()) {
        const QString archive = QDir(m_folders.outputFolder)
                                    .filePath(builder::ArchiveName(details.name) + QStringLiteral(".zip"));
        if (QFileInfo::exists(archive) &&
            !m_prompter.askYesNo(
                QStringLiteral("Replace Plugin?"),
                QStringLiteral("The output folder already holds '%1' from an earlier build. Replace it "
                               "with the new plugin?\n\nNo keeps it: give the plugin another name to "
                               "build it beside the earlier one.")
                    .arg(QDir::toNativeSeparators(archive)),
                MessageIcon::Question, false))
            return false;
    }
    builder::BuildRequest request;
    request.siteFolder = m_folders.workingFolder;
    request.frontPage = m_frontPage;
    request.downloadPage = m_downloadPage;
    request.details = details;
    request.templateFolder = m_folders.templateFolder;
    request.outputFolder = m_folders.outputFolder;
    request.archiver = m_folders.archiver;
    request.leanDelivery = details.leanDelivery;
    if (!details.siteUrl.trimmed().isEmpty()) {
        request.siteUrls << details.siteUrl.trimmed();
    } else if (const QString proposed = builder::ProposeSiteUrl(request); !proposed.isEmpty()) {
        if (m_prompter.askYesNo(
                QStringLiteral("Site Address?"),
                QStringLiteral(
                    "Several references in your pages name files of this site by the address %1.\n\n"
                    "Was that the site's own address? Yes points them at the files inside the "
                    "plugin; No leaves them as they are.")
                    .arg(proposed),
                MessageIcon::Question, false))
            request.siteUrls << proposed;
    }
    m_stop.reset();
    request.stop = &m_stop;

    m_busy = true;
    emit busyChanged(true);
    emit progress(0, QStringLiteral("Starting"));
    // The worker hands each report to this object's thread; the destructor waits for the worker,
    // so `this` is alive whenever a report is posted.
    const builder::BuildProgress report = [this](int percent, const QString& step) {
        QMetaObject::invokeMethod(
            this, [this, percent, step] { emit progress(percent, step); }, Qt::QueuedConnection);
    };
    m_watcher.setFuture(
        QtConcurrent::run(&m_pool, [request, report] { return builder::BuildPlugin(request, report); }));
    return true;
}

void PluginBuild::stop()
{
    if (!m_busy || m_stop.requested())
        return;
    m_stop.request();
}

void PluginBuild::onBuildFinished()
{
    m_lastResult = m_watcher.result();
    m_busy = false;
    emit busyChanged(false);
    const bool ok = m_lastResult.ok();
    // Where the plugin is, wherever the output folder lies for this user.
    const QString where =
        ok ? QStringLiteral("\n\nThe plugin: %1").arg(QDir::toNativeSeparators(m_lastResult.archivePath))
           : QString();
    // "Done", "Stopped", "Important" and "Error" alike come with the information icon.
    m_prompter.inform(outcomeTitle(m_lastResult), outcomeText(m_lastResult) + where,
                      MessageIcon::Information);
    if (const QString report = ok ? BuildReport(m_lastResult) : QString(); !report.isEmpty())
        m_prompter.inform(QStringLiteral("Important"), report);
    if (ok)
        openOutputFolder();
    emit finished(ok);
}

bool PluginBuild::openOutputFolder()
{
    if (m_opener.openFolder(m_folders.outputFolder))
        return true;
    // Each path on a line of its own, where the box does not break it.
    QString text = QStringLiteral("The file manager could not be started to show the output folder:\n%1")
                       .arg(QDir::toNativeSeparators(m_folders.outputFolder));
    if (m_lastResult.ok()) {
        text += QStringLiteral("\n\nThe plugin: %1\n\nThe plugin details window shows this path too, with "
                               "a button that copies it.")
                    .arg(QDir::toNativeSeparators(m_lastResult.archivePath));
    }
    m_prompter.inform(QStringLiteral("Output Folder"), text, MessageIcon::Warning);
    return false;
}

} // namespace workspace
