// vantor-build: the plugin build without a window, for scripts and batch use.

#include "app/app_state.h"
#include "builder/build_plugin.h"
#include "builder/install_notes.h"
#include "builder/plugin_rules.h"
#include "builder/tag_check.h"
#include "support/io_error.h"
#include "support/mortar_file.h"
#include "workspace/folders.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSet>

#include <csignal>
#include <cstdio>
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

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vantor-build"));
    const workspace::Folders folders = workspace::Folders::forRunningProgram();
    const builder::PluginDetails defaults =
        builder::PluginDetails::defaults(QString::fromUtf16(app::kAppName));

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
    const QCommandLineOption front({QStringLiteral("front")},
                                   QStringLiteral("Front-end page, relative to SITE."),
                                   QStringLiteral("PAGE"));
    const QCommandLineOption download({QStringLiteral("download")},
                                      QStringLiteral("Download page, relative to SITE."),
                                      QStringLiteral("PAGE"));
    const QCommandLineOption name({QStringLiteral("name")},
                                  QStringLiteral("Plugin name (default \"%1\").").arg(defaults.name),
                                  QStringLiteral("NAME"));
    const QCommandLineOption id(
        {QStringLiteral("id")},
        QStringLiteral("Unique identifier: a small letter, then small letters, digits or "
                       "underscores, 20 at most (default: a new one like p4217)."),
        QStringLiteral("ID"));
    const QCommandLineOption uri({QStringLiteral("uri")},
                                 QStringLiteral("Plugin URI (default %1).").arg(defaults.uri),
                                 QStringLiteral("URL"));
    const QCommandLineOption version({QStringLiteral("version")},
                                     QStringLiteral("Plugin version (default %1).").arg(defaults.version),
                                     QStringLiteral("V"));
    const QCommandLineOption license({QStringLiteral("license")},
                                     QStringLiteral("Plugin license (default %1).").arg(defaults.license),
                                     QStringLiteral("L"));
    const QCommandLineOption output(
        {QStringLiteral("output")},
        QStringLiteral("Folder for the ZIP, created when missing (default: %1).").arg(folders.outputFolder),
        QStringLiteral("DIR"));
    const QCommandLineOption templ(
        {QStringLiteral("template")},
        QStringLiteral("Plugin template folder (default: %1).").arg(folders.templateFolder),
        QStringLiteral("DIR"));
    const QCommandLineOption archiver({QStringLiteral("archiver")},
                                      QStringLiteral("The 7za program (default: %1).").arg(folders.archiver),
                                      QStringLiteral("PATH"));
    const QCommandLineOption strict(
        {QStringLiteral("strict")},
        QStringLiteral("Fail when #FRONT# or #BACK# is missing instead of warning."));
    const QCommandLineOption deliver(
        {QStringLiteral("deliver")},
        QStringLiteral("Hand out this site file (path relative to SITE) only at the keyed download address, "
                       "besides the files that only the download page links to. Repeatable."),
        QStringLiteral("FILE"));
    const QCommandLineOption noDeliver(
        {QStringLiteral("no-deliver")},
        QStringLiteral(
            "Keep this site file public even though only the download page links to it. Repeatable."),
        QStringLiteral("FILE"));
    const QCommandLineOption publicDelivery(
        {QStringLiteral("public-delivery")},
        QStringLiteral("Keep every file public, for files that are handed out from elsewhere."));
    const QCommandLineOption uploadLimit(
        {QStringLiteral("upload-limit")},
        QStringLiteral("Warn when the plugin ZIP is larger than the WordPress site's upload limit (PHP's "
                       "upload_max_filesize: bytes, or a number with K, M or G; default 2M)."),
        QStringLiteral("SIZE"));
    parser.addOptions({front, download, name, id, uri, version, license, output, templ, archiver, strict,
                       deliver, noDeliver, publicDelivery, uploadLimit});

    if (!parser.parse(QCoreApplication::arguments())) {
        err(parser.errorText() + QStringLiteral("\nTry 'vantor-build --help'."));
        return kBadUsage;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        std::fputs("\nAuthor, author URI and description are the credit texts:\n", stdout);
        std::fputs(qPrintable(QStringLiteral("  %1\n  %2\n  %3\n")
                                  .arg(defaults.author, defaults.authorUri, defaults.description)),
                   stdout);
        return kOk;
    }
    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 1 || !parser.isSet(front) || !parser.isSet(download)) {
        err(QStringLiteral("usage: vantor-build SITE --front PAGE --download PAGE [options]\n"
                           "Try 'vantor-build --help'."));
        return kBadUsage;
    }

    qint64 limit = builder::kDefaultUploadLimit;
    if (parser.isSet(uploadLimit)) {
        limit = builder::ParseUploadLimit(parser.value(uploadLimit));
        if (limit < 0) {
            err(QStringLiteral("--upload-limit: '%1' is not a size such as 2M, 512K or 8388608.\n"
                               "Try 'vantor-build --help'.")
                    .arg(parser.value(uploadLimit)));
            return kBadUsage;
        }
    }

    const QDir site(QFileInfo(positional.first()).absoluteFilePath());
    builder::BuildRequest request;
    request.siteFolder = site.absolutePath();
    request.frontPage = site.absoluteFilePath(parser.value(front));
    request.downloadPage = site.absoluteFilePath(parser.value(download));
    request.details = defaults;
    if (parser.isSet(name))
        request.details.name = parser.value(name);
    if (parser.isSet(id))
        request.details.identifier = parser.value(id);
    if (parser.isSet(uri))
        request.details.uri = parser.value(uri);
    if (parser.isSet(version))
        request.details.version = parser.value(version);
    if (parser.isSet(license))
        request.details.license = parser.value(license);
    request.outputFolder =
        QFileInfo(parser.isSet(output) ? parser.value(output) : folders.outputFolder).absoluteFilePath();
    request.templateFolder = parser.isSet(templ) ? parser.value(templ) : folders.templateFolder;
    request.archiver = parser.isSet(archiver) ? parser.value(archiver) : folders.archiver;
    request.deliver = parser.values(deliver);
    request.keepPublic = parser.values(noDeliver);
    request.publicDelivery = parser.isSet(publicDelivery);

    if (!checkTags(request.frontPage, request.downloadPage) && parser.isSet(strict)) {
        err(QStringLiteral("error: --strict: the tags above are required."));
        return kBuildFailed;
    }
    // The output folder is made only for a build that can go ahead; otherwise the build says why not.
    // A path with a name that is not UTF-8 would be made anew beside the one meant.
    if (!builder::AnyFieldEmpty(request.details) && builder::DetailsProblem(request.details).isEmpty() &&
        QFileInfo(request.siteFolder).isDir() && !support::NameNotUtf8(request.outputFolder) &&
        !QDir().mkpath(request.outputFolder)) {
        err(QStringLiteral("error: Cannot create the output folder '%1'.").arg(request.outputFolder));
        return kBuildFailed;
    }

    // Only a name the build accepts can replace an earlier archive.
    const QString archive =
        QDir(request.outputFolder)
            .filePath(builder::ArchiveName(request.details.name) + QStringLiteral(".zip"));
    const bool replaces =
        builder::PluginNameProblem(request.details.name).isEmpty() && QFileInfo::exists(archive);

    // From here a stop signal ends the build cleanly instead of the program.
    struct sigaction action
    {
    };
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM})
        sigaction(signal, &action, nullptr);
    request.stop = &g_stop;

    QString lastStep;
    const builder::BuildResult result = builder::BuildPlugin(request, [&](int percent, const QString& step) {
        if (step != lastStep) {
            err(QStringLiteral("[%1%] %2").arg(percent, 3).arg(step));
            lastStep = step;
        }
    });
    for (const QString& warning : result.warnings)
        err(QStringLiteral("warning: ") + warning);
    // A page full of broken links would bury everything else: the first ones and a count.
    constexpr std::size_t kShownReferences = 40;
    for (std::size_t i = 0; i < result.references.size() && i < kShownReferences; ++i)
        err(QStringLiteral("warning: ") + builder::DescribeReferenceNote(result.references[i]));
    if (result.references.size() > kShownReferences) {
        err(QStringLiteral("warning: ... and %1 more references like these")
                .arg(result.references.size() - kShownReferences));
    }
    if (result.status == builder::BuildResult::Status::Stopped) {
        err(failureText(result, request.details));
        // The caller learns how the program ended, as if the signal had ended it.
        if (const int signal = g_stopSignal) {
            std::signal(signal, SIG_DFL);
            std::raise(signal);
        }
        return kBuildFailed;
    }
    if (!result.ok()) {
        err(failureText(result, request.details));
        return kBuildFailed;
    }
    // What WordPress will do with the plugin: the files the download page links itself go to every
    // funnel's buyers, and a large ZIP may not get through the upload form.
    QSet<QString> named;
    for (const QString& file : request.deliver)
        named.insert(QDir::cleanPath(file));
    QStringList linked;
    for (const QString& file : result.delivered) {
        if (!named.contains(file))
            linked << file;
    }
    if (const QString warning = builder::PageDeliveryWarning(linked.size()); !warning.isEmpty())
        err(QStringLiteral("warning: ") + warning + QStringLiteral(" The page links: ") +
            linked.join(QStringLiteral(", ")) + QLatin1Char('.'));
    if (const QString warning = builder::UploadSizeWarning(QFileInfo(result.archivePath).size(), limit);
        !warning.isEmpty())
        err(QStringLiteral("warning: ") + warning);
    for (const QString& file : result.delivered)
        err(QStringLiteral("delivered only at the download address, with its key: ") + file);
    if (replaces)
        err(QStringLiteral("note: replaced the earlier archive '%1'").arg(QDir::toNativeSeparators(archive)));
    std::fputs(qPrintable(QDir::toNativeSeparators(result.archivePath) + QLatin1Char('\n')), stdout);
    return kOk;
}
