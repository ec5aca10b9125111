#include "builder/build_plugin.h"

#include "builder/archiver.h"
#include "builder/delivery_store.h"
#include "builder/file_walk.h"
#include "builder/page_converter.h"
#include "builder/plugin_header.h"
#include "builder/plugin_rules.h"
#include "builder/site_files.h"
#include "builder/work_folder.h"
#include "support/folder_deletion.h"
#include "support/io_error.h"
#include "support/mortar_file.h"
#include "support/mortar_parser.h"
#include "support/mortar_tools.h"
#include "support/paths.h"
#include "support/utf8_writer.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QStandardPaths>

#include <cerrno>
#include <filesystem>
#include <optional>
#include <tuple>
#include <utility>

namespace builder {

using support::IoError;
using support::MortarFile;
using support::MortarParser;
using support::MortarTools;
using support::StagedFolder;

namespace {

bool archiverAvailable(const QString& archiver)
{
    if (archiver.contains(QLatin1Char('/')))
        return QFileInfo(archiver).isExecutable() && QFileInfo(archiver).isFile();
    return !QStandardPaths::findExecutable(archiver).isEmpty();
}

// Why a path names nothing: a name that cannot be read back sends the user elsewhere than "missing".
QString missingProblem(const QString& what, const QString& path)
{
    if (support::NameNotUtf8(path)) {
        return QStringLiteral("The %1 '%2' cannot be read: its name is not valid UTF-8. Please rename it.")
            .arg(what, path);
    }
    return QStringLiteral("The %1 '%2' does not exist.").arg(what, path);
}

QString pageProblem(const QString& role, const QString& page)
{
    if (MortarTools::PathExists(page, false))
        return {};
    if (QFileInfo::exists(page))
        return QStringLiteral("The %1 '%2' is not a file.").arg(role, page);
    return missingProblem(role, page);
}

// The page's path relative to the site's top, or an empty string when it lies outside the site.
QString pathInSite(const QString& site, const QString& page)
{
    const QString rel =
        QDir(QFileInfo(site).absoluteFilePath()).relativeFilePath(QFileInfo(page).absoluteFilePath());
    if (rel.isEmpty() || rel == QLatin1String("..") || rel.startsWith(QLatin1String("../")) ||
        QDir::isAbsolutePath(rel))
        return {};
    return rel;
}

QString refusal(const BuildRequest& r)
{
    if (QString p = DetailsProblem(r.details); !p.isEmpty())
        return p;
    if (!MortarTools::PathExists(r.siteFolder, true))
        return missingProblem(QStringLiteral("site folder"), r.siteFolder);
    if (QString p = pageProblem(QStringLiteral("front-end page"), r.frontPage); !p.isEmpty())
        return p;
    if (QString p = pageProblem(QStringLiteral("download page"), r.downloadPage); !p.isEmpty())
        return p;
    for (const auto& [role, page] : {std::pair{QStringLiteral("front-end page"), r.frontPage},
                                     std::pair{QStringLiteral("download page"), r.downloadPage}}) {
        if (LeftOutKindOf(QFileInfo(page).fileName(), false) == LeftOutKind::ServerFile)
            return QStringLiteral("The %1 '%2' is a server script, not an HTML page: the plugin never runs "
                                  "the site's own scripts. Please choose an HTML page (.html or .htm) "
                                  "for this role.")
                .arg(role, page);
    }
    for (const QStringList* list : {&r.deliver, &r.keepPublic}) {
        for (const QString& file : *list) {
            const QString path = QDir(r.siteFolder).filePath(file);
            if (QDir::isAbsolutePath(file) || pathInSite(r.siteFolder, path).isEmpty() ||
                !QFileInfo(path).isFile())
                return QStringLiteral(
                           "'%1' is not a file of the site folder '%2': name delivery files by their "
                           "path inside the site, such as files/ebook.pdf.")
                    .arg(file, r.siteFolder);
        }
    }
    for (const QString& file : r.shipAnyway) {
        const QString path = QDir(r.siteFolder).filePath(file);
        if (QDir::isAbsolutePath(file) || pathInSite(r.siteFolder, path).isEmpty() ||
            !QFileInfo(path).isFile())
            return QStringLiteral("'%1' is not a file of the site folder '%2': name a file to ship anyway by "
                                  "its path inside the site, such as contact/send.php.")
                .arg(file, r.siteFolder);
    }
    for (const QString& url : r.siteUrls) {
        if (!ParseSiteAddress(url))
            return QStringLiteral("'%1' is not a web address such as http://www.old-domain.com/: name the "
                                  "site's old address with http:// or https:// and its host.")
                .arg(url);
    }
    // The build's work folder and earlier plugins would be packed with the site.
    if (support::IsSameOrInside(r.outputFolder, r.siteFolder))
        return QStringLiteral(
                   "The output folder '%1' lies inside the site folder '%2'. Please choose an output "
                   "folder outside the site.")
            .arg(r.outputFolder, r.siteFolder);
    if (!MortarTools::PathExists(r.outputFolder, true))
        return missingProblem(QStringLiteral("output folder"), r.outputFolder);
    if (!archiverAvailable(r.archiver))
        return QStringLiteral(
                   "The archiver '%1' was not found. Please install 7za (Debian package p7zip-full) "
                   "or name it with --archiver.")
            .arg(r.archiver);
    return {};
}

// Opened directly, outside WordPress, a converted page would run half-way and print PHP errors
// with the server's paths. PHP drops the line break after "?>", so the page's bytes follow unchanged.
constexpr char16_t kConvertedPageGuard[] = u"<?php if ( ! defined( 'ABSPATH' ) ) { exit; } ?>\n";

void writeConvertedPage(const QString& target, const QByteArray& text)
{
    if (MortarTools::PathExists(target, false) && !QFile::remove(target))
        throw IoError(support::kPermissionDenied, QStringLiteral("Cannot replace '%1'.").arg(target));
    auto file = support::OpenFileAtEnd(target);
    support::WriteUtf8Text(*file, QString::fromUtf16(kConvertedPageGuard), false);
    errno = 0;
    if (file->write(text) != text.size())
        throw IoError::fromErrno(errno, QStringLiteral("Cannot write"), target);
    support::CloseFile(*file);
}

// Reads, converts and writes one page, holding no more of it than the conversion needs.
QList<SiteAddress> siteAddresses(const BuildRequest& r)
{
    QList<SiteAddress> addresses;
    for (const QString& url : r.siteUrls) {
        if (std::optional<SiteAddress> a = ParseSiteAddress(url))
            addresses << *a;
    }
    return addresses;
}

ConvertedPage convertPage(const QString& page, const QString& target, const SiteFiles& files,
                          const FunnelPages& funnel, PageRole role, BuildResult& result,
                          const QList<SiteAddress>& addresses, const DeliveryRule* delivery = nullptr)
{
    QString text = MortarFile::ReadTextFile(page);
    if (text.contains(QChar(u'\0'))) {
        result.warnings
            << QStringLiteral(
                   "The %1 '%2' holds NUL characters: it looks like binary data, not an HTML page.")
                   .arg(role == PageRole::FrontEnd ? QStringLiteral("front-end page")
                                                   : QStringLiteral("download page"),
                        page);
    }
    QString pagePath = role == PageRole::FrontEnd ? funnel.front : funnel.download;
    if (pagePath.isEmpty())
        pagePath = QFileInfo(page).fileName();
    ConvertedPage converted =
        ConvertPage(std::move(text), pagePath, files, funnel, role, delivery, addresses);
    writeConvertedPage(target, converted.text);
    converted.text = QByteArray();
    for (ReferenceNote& note : converted.notes)
        result.references.push_back(std::move(note));
    result.scriptStrings += converted.scriptStrings;
    result.localAddresses += converted.localAddresses;
    converted.notes.clear();
    return converted;
}

void fillPlaceholders(const QString& file, const QString& templateName, const BuildRequest& r, bool mainFile)
{
    if (!MortarFile::FileExists(file)) {
        if (QFileInfo(file).isDir()) {
            throw IoError(support::kPathFileAccess,
                          QStringLiteral("The plugin template's '%1' is a folder, not a file "
                                         "(looked in '%2').")
                              .arg(templateName, r.templateFolder));
        }
        throw IoError(support::kFileNotFound,
                      QStringLiteral("The plugin template has no '%1' (looked in '%2').")
                          .arg(templateName, r.templateFolder));
    }
    const PluginDetails& d = r.details;
    QString text = MortarFile::ReadTextFile(file);
    text = MortarParser::ReplaceText(text, QStringLiteral("#prefix#"), d.identifier);
    if (mainFile) {
        text = MortarParser::ReplaceText(
            text, QStringLiteral("#header#"),
            BuildPluginHeader(d.name, d.uri, d.description, d.version, d.author, d.authorUri, d.license));
        text = MortarParser::ReplaceText(text, QStringLiteral("#menuname#"), d.name);
    }
    text = MortarParser::ReplaceText(text, QStringLiteral("?>\r\n"), QStringLiteral("?>"));
    // The staged file may share its data with the template's own: a new file takes its place.
    QFile::remove(file);
    MortarFile::WriteTextFile(text, file);
}

// The files every template must have; thanks.php is optional, but a folder in its place is an error.
constexpr const char* kRequiredTemplateFiles[] = {"modules/template/template.php", "modules/cpt.php",
                                                  "modules/cpt_template_loader.php", "plugin.php"};

// Fills the placeholders of the required files and of every other PHP file the template brings, so
// that the template can grow by modules without the build naming each one.
void fillTemplate(const QString& pluginFolder, const BuildRequest& r)
{
    const QDir plugin(pluginFolder);
    QSet<QString> filled;
    for (const char* name : kRequiredTemplateFiles) {
        const QString rel = QString::fromLatin1(name);
        fillPlaceholders(plugin.filePath(rel), rel, r, rel == QLatin1String("plugin.php"));
        filled.insert(rel);
    }
    QStringList templateFiles;
    RecurseFiles(r.templateFolder, r.templateFolder, templateFiles);
    for (const QString& rel : std::as_const(templateFiles)) {
        if (filled.contains(rel) || !rel.endsWith(QLatin1String(".php")) ||
            QFileInfo(rel).fileName() == QLatin1String("index.php"))
            continue;
        fillPlaceholders(plugin.filePath(rel), rel, r, false);
    }
    const QString thanks = plugin.filePath(QStringLiteral("modules/template/thanks.php"));
    if (QFileInfo(thanks).isDir())
        fillPlaceholders(thanks, QStringLiteral("modules/template/thanks.php"), r, false);
}

// The build's steps, in the order they run, on the staging folder of one build.
class BuildSteps
{
public:
    BuildSteps(const BuildRequest& r, const QString& staging, const BuildProgress& progress,
               BuildResult& result)
        : m_r(r), m_stagingPath(staging), m_staging(staging),
          m_pluginFolder(m_staging.filePath(r.details.identifier)),
          m_siteCopy(QDir(m_pluginFolder).filePath(QStringLiteral("modules/template"))), m_progress(progress),
          m_result(result)
    {
    }

    void run()
    {
        const SiteFiles files = stage();
        warnAboutNames(files);
        const FunnelPages funnel{pathInSite(m_r.siteFolder, m_r.frontPage),
                                 pathInSite(m_r.siteFolder, m_r.downloadPage)};
        leaveOutFunnelPages(files, funnel);
        convertPages(files, funnel);
        report(60, QStringLiteral("Filling in the plugin template"));
        fillTemplate(m_pluginFolder, m_r);
        pack();
    }

private:
    const BuildRequest& m_r;
    const QString m_stagingPath;
    const QDir m_staging;
    const QString m_pluginFolder;
    const QString m_siteCopy;
    const BuildProgress& m_progress;
    BuildResult& m_result;
    QList<StoredFile> m_leftOutDelivery;

    void checkStop() const
    {
        if (m_r.stop)
            m_r.stop->check();
    }

    void report(int percent, const QString& step) const
    {
        checkStop();
        if (m_progress)
            m_progress(percent, step);
    }

    // The archiver only reads the plugin folder: it is made of links to the template's and the
    // site's files where the file systems allow, copies where not. What the build changes in it,
    // it replaces or removes, never writes in place.
    // Stages the template and the site's files that ship; returns those files.
    SiteFiles stage()
    {
        const auto stop = [this] { checkStop(); };
        report(5, QStringLiteral("Staging the plugin template"));
        StagedFolder staged = MortarFile::StageFolder(m_r.templateFolder, m_pluginFolder, stop);
        m_result.warnings += staged.warnings;
        report(8, QStringLiteral("Staged the plugin template: %1").arg(staged.methods()));
        MortarTools::Pause(1);

        // What ships is what the references resolve against: one listing decides both.
        report(15, QStringLiteral("Listing the site's files"));
        QSet<QString> shipAnyway;
        for (const QString& file : m_r.shipAnyway)
            shipAnyway.insert(QDir::cleanPath(file));
        SiteListing listing = ListSiteFiles(m_r.siteFolder, shipAnyway);
        m_result.warnings += listing.warnings;
        m_result.leftOut = listing.leftOut;

        report(18, QStringLiteral("Staging the site"));
        staged = MortarFile::StageFiles(m_r.siteFolder, m_siteCopy, listing.paths, stop);
        report(38, QStringLiteral("Staged the site: %1").arg(staged.methods()));
        MortarTools::Pause(1);

        SiteFiles files(std::move(listing.files));
        for (const LeftOutEntry& entry : listing.leftOut)
            files.addLeftOut(entry.path, entry.kind);
        return files;
    }

    // Names that are not UTF-8 come out of the listing with U+FFFD in them and match no link.
    void warnAboutNames(const SiteFiles& files)
    {
        for (const QString& file : files.list()) {
            if (file.contains(QChar::ReplacementCharacter)) {
                m_result.warnings
                    << QStringLiteral("The file name '%1' is not valid UTF-8: the file is packed, but links "
                                      "to it in the pages are left as they are. Rename the file to fix this.")
                           .arg(file);
            }
        }
    }

    // The funnel's pages are served only as converted pages: their own files are not shipped.
    void leaveOutFunnelPages(const SiteFiles& files, const FunnelPages& funnel) const
    {
        for (const QString& page : {funnel.front, funnel.download}) {
            const QString copy = QDir(m_siteCopy).filePath(page);
            if (!page.isEmpty() && files.contains(page) && !QFile::remove(copy) && QFileInfo::exists(copy))
                throw IoError(support::kPermissionDenied, QStringLiteral("Cannot leave out '%1'.").arg(copy));
        }
    }

    void convertPages(const SiteFiles& files, const FunnelPages& funnel)
    {
        report(45, QStringLiteral("Converting the front-end page"));
        const QList<SiteAddress> addresses = siteAddresses(m_r);
        const ConvertedPage front =
            convertPage(m_r.frontPage, QDir(m_siteCopy).filePath(QStringLiteral("converted_index.php")),
                        files, funnel, PageRole::FrontEnd, m_result, addresses);
        MortarTools::Pause(1);

        // What the front-end page shows stays public; of the rest, what only the download page links
        // to is for buyers.
        DeliveryRule delivery;
        delivery.notDelivered = front.referenced;
        for (const QString& file : m_r.keepPublic)
            delivery.notDelivered.insert(QDir::cleanPath(file));
        for (const QString& file : m_r.deliver)
            delivery.forced.insert(QDir::cleanPath(file));
        report(52, QStringLiteral("Converting the download page"));
        const ConvertedPage download = convertPage(
            m_r.downloadPage, QDir(m_siteCopy).filePath(QStringLiteral("converted_download.php")), files,
            funnel, PageRole::Download, m_result, addresses, m_r.publicDelivery ? nullptr : &delivery);
        MortarTools::Pause(1);
        if (addresses.isEmpty())
            m_result.proposedSiteUrl = ProposedSiteAddress({front.hosts, download.hosts});
        if (!download.delivered.isEmpty()) {
            const QList<StoredFile> stored =
                HoldBackDeliveryFiles(m_pluginFolder, m_siteCopy, download.delivered,
                                      m_r.leanDelivery ? DeliveryBytes::LeftOut : DeliveryBytes::InPlugin);
            if (m_r.leanDelivery)
                m_leftOutDelivery = stored;
            m_result.delivered = download.delivered;
        }
    }

    // The list of the files a lean plugin expects goes beside the ZIP, written whole before the ZIP
    // takes its place.
    void placeDeliveryList(const QString& fileName)
    {
        const QString staged = m_staging.filePath(fileName);
        support::MortarFile::WriteBinaryFile(LeftOutDeliveryList(m_leftOutDelivery), staged);
        const QString target = QDir(m_r.outputFolder).filePath(fileName);
        std::error_code ec;
        std::filesystem::rename(support::ToFsPath(staged), support::ToFsPath(target), ec);
        if (ec)
            throw IoError::fromErrorCode(ec, QStringLiteral("Cannot write"), target);
        m_result.deliveryListPath = target;
    }

    // Packs the plugin folder; the finished archive replaces an earlier one of the same name in one
    // step.
    void pack()
    {
        const QString archiveFile = ArchiveName(m_r.details.name) + QStringLiteral(".zip");
        const QString stagedArchive = m_staging.filePath(archiveFile);
        report(65, QStringLiteral("Packing the plugin"));
        MortarTools::Pause(1);
        int percent = 65;
        const PackedFolder packed = PackFolder(
            m_r.archiver, stagedArchive, m_stagingPath, m_r.details.identifier, m_r.archiveLayout,
            [&] {
                percent = std::min(95, percent + 1);
                report(percent, QStringLiteral("Packing the plugin"));
            },
            m_r.stop);
        report(96, QStringLiteral("Packed the plugin: %1 files deflated, %2 stored as they are")
                       .arg(packed.deflatedFiles)
                       .arg(packed.storedFiles));
        checkStop();

        const QString finalArchive = QDir(m_r.outputFolder).filePath(archiveFile);
        const QString listFile = ArchiveName(m_r.details.name) + QStringLiteral("-delivery.json");
        if (!m_leftOutDelivery.isEmpty())
            placeDeliveryList(listFile);
        std::error_code ec;
        std::filesystem::rename(support::ToFsPath(stagedArchive), support::ToFsPath(finalArchive), ec);
        if (ec)
            throw IoError::fromErrorCode(ec, QStringLiteral("Cannot write"), finalArchive);
        m_result.archivePath = finalArchive;
        // An earlier lean build's list would name files left out that this ZIP holds.
        const QString staleList = QDir(m_r.outputFolder).filePath(listFile);
        if (m_leftOutDelivery.isEmpty() && !QFile::remove(staleList) && QFileInfo::exists(staleList))
            m_result.warnings << QStringLiteral(
                                     "Cannot remove '%1', the list of an earlier plugin's files for "
                                     "buyers; this plugin holds its files itself.")
                                     .arg(staleList);
    }
};

} // namespace

QString ProposeSiteUrl(const BuildRequest& request)
{
    try {
        const SiteListing listing = ListSiteFiles(request.siteFolder);
        const SiteFiles files(listing.files);
        const FunnelPages funnel{pathInSite(request.siteFolder, request.frontPage),
                                 pathInSite(request.siteFolder, request.downloadPage)};
        QList<QHash<QString, HostUse>> pages;
        for (const auto& [page, path, role] :
             {std::tuple{request.frontPage, funnel.front, PageRole::FrontEnd},
              std::tuple{request.downloadPage, funnel.download, PageRole::Download}}) {
            pages << ConvertPage(MortarFile::ReadTextFile(page),
                                 path.isEmpty() ? QFileInfo(page).fileName() : path, files, funnel, role)
                         .hosts;
        }
        return ProposedSiteAddress(pages);
    } catch (const IoError&) {
        return {};
    }
}

BuildResult BuildPlugin(const BuildRequest& request, const BuildProgress& progress)
{
    BuildResult result;
    if (AnyFieldEmpty(request.details)) {
        result.status = BuildResult::Status::MissingFields;
        return result;
    }
    if (QString why = refusal(request); !why.isEmpty()) {
        result.status = BuildResult::Status::Refused;
        result.description = why;
        return result;
    }

    result.warnings += RemoveAbandonedWorkFolders(request.outputFolder);
    std::optional<WorkFolder> staging;
    try {
        staging.emplace(request.outputFolder);
    } catch (const IoError& e) {
        result.status = BuildResult::Status::Failed;
        result.errorNumber = e.number();
        result.description = e.description();
        return result;
    }

    try {
        BuildSteps(request, staging->path(), progress, result).run();
        result.status = BuildResult::Status::Done;
    } catch (const BuildStopped&) {
        result.status = BuildResult::Status::Stopped;
    } catch (const IoError& e) {
        result.status = BuildResult::Status::Failed;
        result.errorNumber = e.number();
        result.description = e.description();
    } catch (const std::exception& e) {
        result.status = BuildResult::Status::Failed;
        result.errorNumber = support::kPathFileAccess;
        result.description = QString::fromLocal8Bit(e.what());
    }
    if (progress)
        progress(result.ok() ? 98 : 100, QStringLiteral("Cleaning up"));
    if (!staging->remove())
        result.warnings << QStringLiteral("Could not remove the work folder '%1'.").arg(staging->path());
    if (progress && result.ok())
        progress(100, QStringLiteral("Done"));
    return result;
}

} // namespace builder
