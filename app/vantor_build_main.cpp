// vantor-build: the plugin build without a window, for scripts and batch use.

#include "app/app_state.h"
#include "builder/build_plugin.h"
#include "builder/install_notes.h"
#include "builder/plugin_rules.h"
#include "builder/tag_check.h"
#include "support/io_error.h"
#include "support/memory_advice.h"
#include "support/mortar_file.h"
#include "support/paths.h"
#include "workspace/folders.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSet>

#include <csignal>
#include <cstdio>
#include <optional>
#include <utility>

namespace {

builder::BuildStop g_stop;
volatile std::sig_atomic_t g_stopSignal = 0;

extern "C" void onStopSignal(int signal)
{
    g_stopSignal = signal;
    g_stop.request();
}

enum ExitCode
{
    kOk = 0,
    kBuildFailed = 1,
    kBadUsage = 2
};

void err(const QString& text)
{
    std::fputs(qPrintable(text + QLatin1Char('\n')), stderr);
    std::fflush(stderr);
}

// The tags check before the build; returns false when it found missing tags.
bool checkTags(const QString& frontPage, const QString& downloadPage)
{
    QString front, download;
    try {
        front = support::MortarFile::ReadTextFile(frontPage);
        download = support::MortarFile::ReadTextFile(downloadPage);
    } catch (const support::IoError&) {
        return true; // the build reports the unreadable page itself
    }
    const QString missing = builder::MissingTags(front, download);
    if (missing.isEmpty())
        return true;
    err(QStringLiteral("warning: ") + builder::MissingTagsMessage(missing, false));
    return false;
}

// A build that made no plugin, in the command line's words: what went wrong, then what to do.
QString failureText(const builder::BuildResult& result, const builder::PluginDetails& details)
{
    using Status = builder::BuildResult::Status;
    const QString nothingKept = QStringLiteral("Nothing of it was kept; the output folder is as it was.");
    switch (result.status) {
    case Status::Done:
        break;
    case Status::Stopped:
        return QStringLiteral("stopped: the build was stopped before it finished. ") + nothingKept;
    case Status::MissingFields: {
        // Only these details come from options; the credit texts are always set.
        QStringList empty;
        const std::pair<const char*, const QString*> options[] = {{"--name", &details.name},
                                                                  {"--uri", &details.uri},
                                                                  {"--version", &details.version},
                                                                  {"--license", &details.license}};
        for (const auto& [option, value] : options) {
            if (value->isEmpty())
                empty << QLatin1String(option);
        }
        return QStringLiteral("error: %1 must not be empty: give a value, or leave the option out for "
                              "its default.")
            .arg(empty.isEmpty() ? QStringLiteral("the plugin details") : empty.join(QStringLiteral(", ")));
    }
    case Status::Refused:
        return QStringLiteral("error: ") + result.description;
    case Status::Failed: {
        QString todo;
        switch (result.errorNumber) {
        case support::kDiskFull:
            todo = QStringLiteral(
                "Make room on the disk (or raise the file size limit) and run the build again.");
            break;
        case support::kPermissionDenied:
            todo = QStringLiteral("Check that you may read the site and the template and write to the output "
                                  "folder, then run the build again.");
            break;
        default:
            todo = QStringLiteral("Remove the cause named above and run the build again.");
            break;
        }
        return QStringLiteral("error: the build failed: %1\n%2 %3")
            .arg(result.description, nothingKept, todo);
    }
    }
    return {};
}

// What the command line asks for: a build to run, or the exit status to end with at once.
struct Invocation
{
    std::optional<int> exitStatus;
    builder::BuildRequest request;
    bool strict = false;
    qint64 uploadLimit = builder::kDefaultUploadLimit;
};

// An option with no value name takes no value.
QCommandLineOption option(const char* name, const QString& description, const char* valueName = "")
{
    return QCommandLineOption(QLatin1String(name), description, QLatin1String(valueName));
}

QString value(const QCommandLineParser& parser, const char* name)
{
    return parser.value(QLatin1String(name));
}

bool isSet(const QCommandLineParser& parser, const char* name)
{
    return parser.isSet(QLatin1String(name));
}

void addOptions(QCommandLineParser& parser, const builder::PluginDetails& defaults,
                const workspace::Folders& folders)
{
    parser.addOptions({
        option("front", QStringLiteral("Front-end page, relative to SITE."), "PAGE"),
        option("download", QStringLiteral("Download page, relative to SITE."), "PAGE"),
        option("name", QStringLiteral("Plugin name (default \"%1\").").arg(defaults.name), "NAME"),
        option("id",
               QStringLiteral("Unique identifier: a small letter, then small letters, digits or "
                              "underscores, 20 at most (default: a new one like p4217)."),
               "ID"),
        option("uri", QStringLiteral("Plugin URI (default %1).").arg(defaults.uri), "URL"),
        option("version", QStringLiteral("Plugin version (default %1).").arg(defaults.version), "V"),
        option("license", QStringLiteral("Plugin license (default %1).").arg(defaults.license), "L"),
        option("output",
               QStringLiteral("Folder for the ZIP, created when missing (default: %1).")
                   .arg(folders.outputFolder),
               "DIR"),
        option("template",
               QStringLiteral("Plugin template folder (default: %1).").arg(folders.templateFolder), "DIR"),
        option("archiver", QStringLiteral("The 7za program (default: %1).").arg(folders.archiver), "PATH"),
        option("archive-compat",
               QStringLiteral("Deflate every file with one 7za call, as earlier versions did, instead of "
                              "storing images, video, audio, archives and WOFF2 fonts as they are.")),
        option("strict", QStringLiteral("Fail when #FRONT# or #BACK# is missing instead of warning.")),
        option("deliver",
               QStringLiteral("Hand out this site file (path relative to SITE) only at the keyed download "
                              "address, besides the files that only the download page links to. Repeatable."),
               "FILE"),
        option("no-deliver",
               QStringLiteral(
                   "Keep this site file public even though only the download page links to it. Repeatable."),
               "FILE"),
        option("lean", QStringLiteral(
                           "Leave the delivery files' bytes out of the ZIP, so that it passes a small upload "
                           "limit: the plugin still lists them, and the owner uploads them on the funnel's "
                           "screen. Their list (names, sizes, SHA-256) goes beside the ZIP as "
                           "<zip name>-delivery.json.")),
        option("public-delivery",
               QStringLiteral("Keep every file public, for files that are handed out from elsewhere.")),
        option(
            "ship",
            QStringLiteral("Put this site file (path relative to SITE) into the plugin although its kind is "
                           "left out: server scripts and configuration (.php, .htaccess...), secrets and "
                           "version control (.env, .git/...), editor and upload litter (.bak, _notes/...). "
                           "Repeatable."),
            "FILE"),
        option("site-url",
               QStringLiteral("The site's old web address, such as http://www.old-domain.com/ or "
                              "http://127.0.0.1:4000/: absolute references under it point at the site's own "
                              "files like relative ones. Repeatable."),
               "URL"),
        option(
            "upload-limit",
            QStringLiteral("Warn when the plugin ZIP is larger than the WordPress site's upload limit (PHP's "
                           "upload_max_filesize: bytes, or a number with K, M or G; default 2M)."),
            "SIZE"),
    });
}

void printHelp(const QCommandLineParser& parser, const builder::PluginDetails& defaults)
{
    std::fputs(qPrintable(parser.helpText()), stdout);
    std::fputs("\nAuthor, author URI and description are the credit texts:\n", stdout);
    std::fputs(qPrintable(QStringLiteral("  %1\n  %2\n  %3\n")
                              .arg(defaults.author, defaults.authorUri, defaults.description)),
               stdout);
}

builder::BuildRequest requestFrom(const QCommandLineParser& parser, const builder::PluginDetails& defaults,
                                  const workspace::Folders& folders)
{
    const QDir site(QFileInfo(parser.positionalArguments().first()).absoluteFilePath());
    builder::BuildRequest request;
    request.siteFolder = site.absolutePath();
    request.frontPage = site.absoluteFilePath(value(parser, "front"));
    request.downloadPage = site.absoluteFilePath(value(parser, "download"));
    request.details = defaults;
    const std::pair<const char*, QString*> details[] = {{"name", &request.details.name},
                                                        {"id", &request.details.identifier},
                                                        {"uri", &request.details.uri},
                                                        {"version", &request.details.version},
                                                        {"license", &request.details.license}};
    for (const auto& [name, field] : details) {
        if (isSet(parser, name))
            *field = value(parser, name);
    }
    request.outputFolder = QFileInfo(isSet(parser, "output") ? value(parser, "output") : folders.outputFolder)
                               .absoluteFilePath();
    request.templateFolder = isSet(parser, "template") ? value(parser, "template") : folders.templateFolder;
    request.archiver = isSet(parser, "archiver") ? value(parser, "archiver") : folders.archiver;
    if (isSet(parser, "archive-compat"))
        request.archiveLayout = builder::ArchiveLayout::DeflateAll;
    request.deliver = parser.values(QStringLiteral("deliver"));
    request.keepPublic = parser.values(QStringLiteral("no-deliver"));
    request.publicDelivery = isSet(parser, "public-delivery");
    request.leanDelivery = isSet(parser, "lean");
    request.shipAnyway = parser.values(QStringLiteral("ship"));
    request.siteUrls = parser.values(QStringLiteral("site-url"));
    return request;
}

Invocation readCommandLine(const builder::PluginDetails& defaults, const workspace::Folders& folders)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Builds a WordPress plugin ZIP from an HTML site folder.\n\n"
        "The front-end page should carry the tag #FRONT# where the buy button or opt-in form goes,\n"
        "the download page the tag #BACK# where the download links go. SITE is only read.\n"
        "On success the archive's path is printed alone on standard output; progress, warnings\n"
        "and errors go to standard error. An earlier ZIP of the same name is replaced, and\n"
        "standard error says so. SIGINT or SIGTERM stops the build, leaving the output folder\n"
        "as it was; the program then ends by that signal.\n\n"
        "Exit status: 0 the plugin was built, 1 the build failed or was refused, 2 bad usage."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("SITE"), QStringLiteral("The site folder."));
    addOptions(parser, defaults, folders);

    Invocation invocation;
    if (!parser.parse(QCoreApplication::arguments())) {
        err(parser.errorText() + QStringLiteral("\nTry 'vantor-build --help'."));
        invocation.exitStatus = kBadUsage;
        return invocation;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        printHelp(parser, defaults);
        invocation.exitStatus = kOk;
        return invocation;
    }
    if (parser.positionalArguments().size() != 1 || !isSet(parser, "front") || !isSet(parser, "download")) {
        err(QStringLiteral("usage: vantor-build SITE --front PAGE --download PAGE [options]\n"
                           "Try 'vantor-build --help'."));
        invocation.exitStatus = kBadUsage;
        return invocation;
    }
    if (isSet(parser, "upload-limit")) {
        invocation.uploadLimit = builder::ParseUploadLimit(value(parser, "upload-limit"));
        if (invocation.uploadLimit < 0) {
            err(QStringLiteral("--upload-limit: '%1' is not a size such as 2M, 512K or 8388608.\n"
                               "Try 'vantor-build --help'.")
                    .arg(value(parser, "upload-limit")));
            invocation.exitStatus = kBadUsage;
            return invocation;
        }
    }
    invocation.request = requestFrom(parser, defaults, folders);
    invocation.strict = isSet(parser, "strict");
    return invocation;
}

// The checks before the build: the tags, and the output folder made for a build that can go ahead
// (otherwise the build says why not). Returns the exit status when the build must not start.
std::optional<int> prepare(const Invocation& invocation)
{
    const builder::BuildRequest& request = invocation.request;
    if (!checkTags(request.frontPage, request.downloadPage) && invocation.strict) {
        err(QStringLiteral("error: --strict: the tags above are required."));
        return kBuildFailed;
    }
    // A path with a name that is not UTF-8 would be made anew beside the one meant.
    if (!builder::AnyFieldEmpty(request.details) && builder::DetailsProblem(request.details).isEmpty() &&
        QFileInfo(request.siteFolder).isDir() && !support::NameNotUtf8(request.outputFolder) &&
        !support::IsSameOrInside(request.outputFolder, request.siteFolder) &&
        !QDir().mkpath(request.outputFolder)) {
        err(QStringLiteral("error: Cannot create the output folder '%1'.").arg(request.outputFolder));
        return kBuildFailed;
    }
    return std::nullopt;
}

// The earlier archive the build will replace, or an empty string. Only a name the build accepts
// can replace one.
QString replacedArchive(const builder::BuildRequest& request)
{
    const QString archive =
        QDir(request.outputFolder)
            .filePath(builder::ArchiveName(request.details.name) + QStringLiteral(".zip"));
    if (builder::PluginNameProblem(request.details.name).isEmpty() && QFileInfo::exists(archive))
        return archive;
    return {};
}

// Runs the build with its progress on standard error; a stop signal ends it cleanly instead of
// the program.
builder::BuildResult runBuild(builder::BuildRequest request)
{
    struct sigaction action
    {
    };
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM})
        sigaction(signal, &action, nullptr);
    request.stop = &g_stop;

    QString lastStep;
    return builder::BuildPlugin(request, [&](int percent, const QString& step) {
        if (step != lastStep) {
            err(QStringLiteral("[%1%] %2").arg(percent, 3).arg(step));
            lastStep = step;
        }
    });
}

void reportWarnings(const builder::BuildResult& result)
{
    for (const QString& warning : result.warnings)
        err(QStringLiteral("warning: ") + warning);
    for (const builder::LeftOutEntry& entry : result.leftOut)
        err(QStringLiteral("left out: %1 (%2)").arg(entry.path, builder::LeftOutReason(entry.kind)));
    if (!result.leftOut.empty())
        err(QStringLiteral("note: --ship FILE puts a left-out file into the plugin all the same."));
    // A page full of broken links would bury everything else: the first ones and a count.
    constexpr std::size_t kShownReferences = 40;
    for (std::size_t i = 0; i < result.references.size() && i < kShownReferences; ++i)
        err(QStringLiteral("warning: ") + builder::DescribeReferenceNote(result.references[i]));
    if (result.references.size() > kShownReferences) {
        err(QStringLiteral("warning: ... and %1 more references like these")
                .arg(result.references.size() - kShownReferences));
    }
    if (result.ok()) {
        err(QStringLiteral(
                "note: %1 left out, %2 script strings rewritten, %3 absolute addresses made local, "
                "%4 references that will not work as they are")
                .arg(result.leftOut.size())
                .arg(result.scriptStrings)
                .arg(result.localAddresses)
                .arg(result.references.size()));
    }
    if (!result.proposedSiteUrl.isEmpty()) {
        err(QStringLiteral("note: several references name files of this site by the address %1. If that was "
                           "the site's own address, build again with --site-url %1 to point them into the "
                           "plugin.")
                .arg(result.proposedSiteUrl));
    }
}

// What WordPress will do with the plugin: the files the download page links itself go to every
// funnel's buyers, and a large ZIP may not get through the upload form.
void reportDelivery(const builder::BuildResult& result, const Invocation& invocation)
{
    QSet<QString> named;
    for (const QString& file : invocation.request.deliver)
        named.insert(QDir::cleanPath(file));
    QStringList linked;
    for (const QString& file : result.delivered) {
        if (!named.contains(file))
            linked << file;
    }
    if (const QString warning = builder::PageDeliveryWarning(linked.size()); !warning.isEmpty())
        err(QStringLiteral("warning: ") + warning + QStringLiteral(" The page links: ") +
            linked.join(QStringLiteral(", ")) + QLatin1Char('.'));
    if (const QString warning =
            builder::UploadSizeWarning(QFileInfo(result.archivePath).size(), invocation.uploadLimit);
        !warning.isEmpty())
        err(QStringLiteral("warning: ") + warning);
    for (const QString& file : result.delivered)
        err(QStringLiteral("delivered only at the download address, with its key: ") + file);
    if (!result.deliveryListPath.isEmpty())
        err(QStringLiteral("note: the delivery files are not in the ZIP; after installing the plugin, upload "
                           "them on the funnel's screen in WordPress. Their list: ") +
            QDir::toNativeSeparators(result.deliveryListPath));
}

// Says how the build went and returns the exit status.
int report(const builder::BuildResult& result, const Invocation& invocation, const QString& replaced)
{
    reportWarnings(result);
    if (result.status == builder::BuildResult::Status::Stopped) {
        err(failureText(result, invocation.request.details));
        // The caller learns how the program ended, as if the signal had ended it.
        if (const int signal = g_stopSignal) {
            std::signal(signal, SIG_DFL);
            std::raise(signal);
        }
        return kBuildFailed;
    }
    if (!result.ok()) {
        err(failureText(result, invocation.request.details));
        return kBuildFailed;
    }
    reportDelivery(result, invocation);
    if (!replaced.isEmpty())
        err(QStringLiteral("note: replaced the earlier archive '%1'")
                .arg(QDir::toNativeSeparators(replaced)));
    std::fputs(qPrintable(QDir::toNativeSeparators(result.archivePath) + QLatin1Char('\n')), stdout);
    return kOk;
}

} // namespace

int main(int argc, char* argv[])
{
    // The build's few threads read and write files; their allocations need no heaps of their own.
    support::ShareOneHeap();
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vantor-build"));
    const workspace::Folders folders = workspace::Folders::forRunningProgram();
    const builder::PluginDetails defaults =
        builder::PluginDetails::defaults(QString::fromUtf16(app::kAppName));

    const Invocation invocation = readCommandLine(defaults, folders);
    if (invocation.exitStatus)
        return *invocation.exitStatus;
    if (const std::optional<int> status = prepare(invocation))
        return *status;
    const QString replaced = replacedArchive(invocation.request);
    const builder::BuildResult result = runBuild(invocation.request);
    return report(result, invocation, replaced);
}
