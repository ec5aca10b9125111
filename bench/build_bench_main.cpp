// Times vantor-build on synthetic sites against the floor of the same work done by hand: the
// template and the site copied with cp -r and zipped with the same 7za call; with --baseline, also
// against an older vantor-build on the same sites in the same runs.

#include "synthetic_site.h"

#include "builder/file_walk.h"
#include "builder/page_converter.h"
#include "support/mortar_file.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

struct RunFigures
{
    double seconds = 0;
    double cpuSeconds = 0; // user + system time of it and of the programs it waited for
    long ownPeakKiB = 0;   // the started program itself
    long treePeakKiB = 0;  // the largest single process among it and the programs it waited for
};

long highWaterMarkKiB(pid_t pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return 0;
}

// Runs a program with an argument list and waits for it. QProcess would hide the child's resource
// usage, which is what the memory column needs, so the child is started with posix_spawn.
RunFigures runProgram(const QStringList& command, const QString& workDir, const QString& logFile)
{
    std::vector<QByteArray> args;
    for (const QString& a : command)
        args.push_back(QFile::encodeName(a));
    std::vector<char*> argv;
    for (QByteArray& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const QByteArray log = QFile::encodeName(logFile);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.constData(), O_WRONLY | O_CREAT | O_APPEND,
                                     0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    const QByteArray dir = QFile::encodeName(workDir);
    posix_spawn_file_actions_addchdir_np(&actions, dir.constData());

    QElapsedTimer timer;
    timer.start();
    pid_t pid = 0;
    const int started = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (started != 0)
        throw std::runtime_error("cannot start " + command.first().toStdString());

    // The program's own high-water mark, read while it runs; the exit status leaves the process
    // as a zombie (WNOWAIT) until the sampler has stopped, so its id cannot be reused meanwhile.
    std::atomic<bool> done{false};
    std::atomic<long> ownPeak{0};
    std::thread sampler([&] {
        while (!done.load()) {
            ownPeak = std::max(ownPeak.load(), highWaterMarkKiB(pid));
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    siginfo_t info{};
    waitid(P_PID, id_t(pid), &info, WEXITED | WNOWAIT);
    RunFigures figures;
    figures.seconds = double(timer.nsecsElapsed()) / 1e9;
    done = true;
    sampler.join();

    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    figures.treePeakKiB = usage.ru_maxrss;
    figures.cpuSeconds = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                         double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    figures.ownPeakKiB = std::max(ownPeak.load(), 0L);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        QFile f(logFile);
        f.open(QIODevice::ReadOnly);
        std::fprintf(stderr, "%s failed:\n%s\n", qPrintable(command.join(QLatin1Char(' '))),
                     f.readAll().right(4000).constData());
        throw std::runtime_error("a benchmarked program failed");
    }
    return figures;
}

void removeTree(const QString& path)
{
    if (QFileInfo::exists(path) && !QDir(path).removeRecursively())
        throw std::runtime_error("cannot remove " + path.toStdString());
}

QString loadAverage()
{
    QFile f(QStringLiteral("/proc/loadavg"));
    if (!f.open(QIODevice::ReadOnly))
        return QStringLiteral("unknown");
    return QString::fromLatin1(f.readAll()).section(QLatin1Char(' '), 0, 2);
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

QString megabytes(qint64 bytes)
{
    return QString::number(double(bytes) / 1e6, 'f', bytes < 10'000'000 ? 2 : 0);
}

// A vantor-build program with its plugin template, and the options of the bench's command line that
// it does not know (an older build may lack some), which are then left out of its command.
struct BuildProgram
{
    QString path;
    QString templateFolder;
    QStringList unknownOptions;
};

struct Tools
{
    BuildProgram vantor;
    BuildProgram baseline; // path empty: none
    QString archiver;
    QString work;
};

// Without these the bench cannot run a build and find its archive.
const QStringList kRequiredOptions = {QStringLiteral("front"), QStringLiteral("download"),
                                      QStringLiteral("output")};

// The options of the bench's build command that the program's --help does not name.
QStringList optionsNotKnownTo(const QString& program)
{
    QProcess help;
    help.setProcessChannelMode(QProcess::MergedChannels);
    help.start(program, {QStringLiteral("--help")});
    if (!help.waitForFinished(60'000) || help.exitStatus() != QProcess::NormalExit)
        throw std::runtime_error("cannot run " + program.toStdString() + " --help");
    const QString text = QString::fromLocal8Bit(help.readAll());
    QStringList unknown;
    for (const char* name : {"front", "download", "name", "id", "output", "template", "archiver"}) {
        const QRegularExpression option(QStringLiteral("(?<![\\w-])--%1(?![\\w-])").arg(QLatin1String(name)));
        if (!option.match(text).hasMatch())
            unknown << QLatin1String(name);
    }
    for (const QString& name : kRequiredOptions) {
        if (unknown.contains(name))
            throw std::runtime_error(program.toStdString() + " lacks --" + name.toStdString() +
                                     ", which the bench needs");
    }
    return unknown;
}

RunFigures buildRun(const Tools& tools, const BuildProgram& program, const bench::GeneratedSite& site,
                    const QString& log)
{
    const QString out = QDir(tools.work).filePath(QStringLiteral("vantor-out"));
    removeTree(out);
    QDir().mkpath(out);
    const std::pair<const char*, QString> options[] = {{"front", site.frontPage},
                                                       {"download", site.downloadPage},
                                                       {"name", QStringLiteral("Bench Plugin")},
                                                       {"id", QStringLiteral("p4217")},
                                                       {"output", out},
                                                       {"template", program.templateFolder},
                                                       {"archiver", tools.archiver}};
    QStringList command = {program.path, site.folder};
    for (const auto& [name, value] : options) {
        if (!program.unknownOptions.contains(QLatin1String(name)))
            command << QStringLiteral("--") + QLatin1String(name) << value;
    }
    const RunFigures f = runProgram(command, tools.work, log);
    if (QDir(out).entryList({QStringLiteral("*.zip")}, QDir::Files).isEmpty())
        throw std::runtime_error(program.path.toStdString() + " made no archive");
    removeTree(out);
    return f;
}

// The same bytes copied the way a user would, and zipped with the very call the build makes.
RunFigures floorRun(const Tools& tools, const bench::GeneratedSite& site, const QString& log)
{
    const QString staging = QDir(tools.work).filePath(QStringLiteral("floor-staging"));
    removeTree(staging);
    QDir().mkpath(staging);
    const QString plugin = QDir(staging).filePath(QStringLiteral("p4217"));
    const QString siteCopy = QDir(plugin).filePath(QStringLiteral("modules/template"));
    RunFigures total;
    const auto add = [&](const RunFigures& f) {
        total.seconds += f.seconds;
        total.cpuSeconds += f.cpuSeconds;
        total.ownPeakKiB = std::max(total.ownPeakKiB, f.ownPeakKiB);
        total.treePeakKiB = std::max(total.treePeakKiB, f.treePeakKiB);
    };
    add(runProgram({QStringLiteral("cp"), QStringLiteral("-r"), tools.vantor.templateFolder, plugin},
                   tools.work, log));
    add(runProgram({QStringLiteral("cp"), QStringLiteral("-r"), site.folder + QStringLiteral("/."), siteCopy},
                   tools.work, log));
    add(runProgram({tools.archiver, QStringLiteral("a"), QStringLiteral("-tzip"), QStringLiteral("-bd"),
                    QStringLiteral("-y"), QDir(staging).filePath(QStringLiteral("benchplugin.zip")),
                    QStringLiteral("--"), QStringLiteral("p4217")},
                   staging, log));
    removeTree(staging);
    return total;
}

// The two converted pages are part of what the build must zip but not of the floor's tree; this
// zips them alone with the same call, to show how much of the gap they account for.
QString writeConvertedPages(const Tools& tools, const bench::GeneratedSite& site)
{
    const QString folder = QDir(tools.work).filePath(QStringLiteral("pages-only"));
    removeTree(folder);
    const QDir target(QDir(folder).filePath(QStringLiteral("p4217/modules/template")));
    QDir().mkpath(target.path());
    const builder::SiteFiles files(builder::ListWorkingFolderFiles(site.folder));
    const builder::FunnelPages funnel{site.frontPage, site.downloadPage};
    const QDir root(site.folder);
    support::MortarFile::WriteBinaryFile(
        builder::ConvertPage(support::MortarFile::ReadTextFile(root.filePath(site.frontPage)), site.frontPage,
                             files, funnel, builder::PageRole::FrontEnd)
            .text,
        target.filePath(QStringLiteral("converted_index.php")));
    support::MortarFile::WriteBinaryFile(
        builder::ConvertPage(support::MortarFile::ReadTextFile(root.filePath(site.downloadPage)),
                             site.downloadPage, files, funnel, builder::PageRole::Download)
            .text,
        target.filePath(QStringLiteral("converted_download.php")));
    return folder;
}

// The build's own 7za call on folder/p4217, already in place.
RunFigures zipAloneRun(const Tools& tools, const QString& folder, const QString& log)
{
    const QString archive = QDir(folder).filePath(QStringLiteral("pages.zip"));
    QFile::remove(archive);
    const RunFigures f =
        runProgram({tools.archiver, QStringLiteral("a"), QStringLiteral("-tzip"), QStringLiteral("-bd"),
                    QStringLiteral("-y"), archive, QStringLiteral("--"), QStringLiteral("p4217")},
                   folder, log);
    QFile::remove(archive);
    return f;
}

// The tree the build hands the archiver, laid out once beforehand: the template, the site and the
// two converted pages. Zipping it alone is the limit of the build's own work.
QString prepareArchiverTree(const Tools& tools, const bench::GeneratedSite& site, const QString& pagesOnly,
                            const QString& log)
{
    const QString folder = QDir(tools.work).filePath(QStringLiteral("archiver-alone"));
    removeTree(folder);
    const QString plugin = QDir(folder).filePath(QStringLiteral("p4217"));
    QDir().mkpath(folder);
    runProgram({QStringLiteral("cp"), QStringLiteral("-r"), tools.vantor.templateFolder, plugin}, tools.work,
               log);
    runProgram({QStringLiteral("cp"), QStringLiteral("-r"), site.folder + QStringLiteral("/."),
                QDir(plugin).filePath(QStringLiteral("modules/template"))},
               tools.work, log);
    runProgram({QStringLiteral("cp"), QStringLiteral("-r"), pagesOnly + QStringLiteral("/p4217/."), plugin},
               tools.work, log);
    return folder;
}

// Every file of the site read once, as the build must at least: cat of each to /dev/null.
RunFigures readRun(const bench::GeneratedSite& site, const QString& log)
{
    return runProgram({QStringLiteral("sh"), QStringLiteral("-c"),
                       QStringLiteral("find . -type f -exec cat -- {} + > /dev/null")},
                      site.folder, log);
}

// A few real media files, made once per run with ImageMagick and ffmpeg: photos (JPEG), pictures
// (PNG) and short videos (H.264 in MP4), with noise so that they are as dense as real ones.
QStringList makeMediaSamples(const QString& folder, const QString& log)
{
    QDir().mkpath(folder);
    for (const char* tool : {"convert", "ffmpeg"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            throw std::runtime_error(std::string("the media scale needs ") + tool +
                                     " (Debian packages imagemagick and ffmpeg; scripts/install-deps.sh)");
    }
    QStringList samples;
    for (int i = 0; i < 6; ++i) {
        const bool png = i >= 4;
        const QString file =
            QDir(folder).filePath(QStringLiteral("sample%1.%2").arg(i).arg(png ? "png" : "jpg"));
        runProgram({QStringLiteral("convert"), QStringLiteral("-seed"), QString::number(11 + i),
                    QStringLiteral("-size"), png ? QStringLiteral("600x450") : QStringLiteral("1200x900"),
                    QStringLiteral("plasma:fractal"), QStringLiteral("-quality"), QStringLiteral("90"), file},
                   folder, log);
        samples << file;
    }
    for (int i = 0; i < 2; ++i) {
        const QString file = QDir(folder).filePath(QStringLiteral("sample%1.mp4").arg(i));
        runProgram({QStringLiteral("ffmpeg"), QStringLiteral("-v"), QStringLiteral("error"),
                    QStringLiteral("-y"), QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                    QStringLiteral("testsrc2=size=640x360:rate=25"), QStringLiteral("-t"),
                    QStringLiteral("3"), QStringLiteral("-vf"),
                    QStringLiteral("noise=alls=%1:allf=t").arg(20 + 10 * i), QStringLiteral("-c:v"),
                    QStringLiteral("libx264"), QStringLiteral("-preset"), QStringLiteral("ultrafast"),
                    QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p"), file},
                   folder, log);
        samples << file;
    }
    return samples;
}

struct ScaleSamples
{
    std::vector<double> vantor, floor, vantorCpu, floorCpu, pagesZip, archiverAlone, reads, old, oldCpu;
    long ownPeak = 0, runPeak = 0, floorPeak = 0, oldOwnPeak = 0, oldRunPeak = 0;
};

// With a baseline, the two builds take turns at going first, so that drift during the run (load,
// page cache, the disk's write-back) falls on both alike.
void timeBuilds(const Tools& tools, const bench::GeneratedSite& site, int round, const QString& log,
                ScaleSamples& s)
{
    const bool hasBaseline = !tools.baseline.path.isEmpty();
    RunFigures v, b;
    if (hasBaseline && round % 2 == 1)
        b = buildRun(tools, tools.baseline, site, log);
    v = buildRun(tools, tools.vantor, site, log);
    if (hasBaseline && round % 2 == 0)
        b = buildRun(tools, tools.baseline, site, log);
    s.vantor.push_back(v.seconds);
    s.vantorCpu.push_back(v.cpuSeconds);
    s.ownPeak = std::max(s.ownPeak, v.ownPeakKiB);
    s.runPeak = std::max(s.runPeak, v.treePeakKiB);
    if (hasBaseline) {
        s.old.push_back(b.seconds);
        s.oldCpu.push_back(b.cpuSeconds);
        s.oldOwnPeak = std::max(s.oldOwnPeak, b.ownPeakKiB);
        s.oldRunPeak = std::max(s.oldRunPeak, b.treePeakKiB);
    }
}

ScaleSamples timeScale(const Tools& tools, const bench::GeneratedSite& site, const QString& pagesOnly,
                       const QString& laidOut, int runs, const QString& log)
{
    ScaleSamples s;
    for (int r = 0; r < runs; ++r) {
        timeBuilds(tools, site, r, log, s);
        const RunFigures f = floorRun(tools, site, log);
        s.floor.push_back(f.seconds);
        s.floorCpu.push_back(f.cpuSeconds);
        s.floorPeak = std::max(s.floorPeak, f.treePeakKiB);
        s.pagesZip.push_back(zipAloneRun(tools, pagesOnly, log).seconds);
        s.archiverAlone.push_back(zipAloneRun(tools, laidOut, log).seconds);
        s.reads.push_back(readRun(site, log).seconds);
    }
    return s;
}

void printHeader(const Tools& tools)
{
    const bool hasBaseline = !tools.baseline.path.isEmpty();
    std::printf("cores: %ld, archiver: %s\n", sysconf(_SC_NPROCESSORS_ONLN), qPrintable(tools.archiver));
    if (hasBaseline) {
        std::printf("Baseline (old): %s with the template %s; each timed run builds with both, taking turns "
                    "at going first.\n",
                    qPrintable(tools.baseline.path), qPrintable(tools.baseline.templateFolder));
        if (!tools.baseline.unknownOptions.isEmpty())
            std::printf("The baseline does not know, so its command leaves out: --%s\n",
                        qPrintable(tools.baseline.unknownOptions.join(QStringLiteral(", --"))));
        std::printf("old s, old cpu: the baseline's wall and CPU time; vs old: vantor s / old s.\n");
    }
    std::printf("Medians of the timed runs; the floor is cp -r of the template and of the site plus the same "
                "7za call.\n");
    std::printf("Wall time (s) and CPU time (user + system of the whole process tree, cpu); load average at "
                "start: %s\n",
                qPrintable(loadAverage()));
    std::printf("pages s: the same 7za call on the two converted pages alone, which the floor's tree lacks; "
                "ratio+p: vantor s / (floor s + pages s).\n");
    std::printf("7za s: the same 7za call alone on the plugin's tree already laid out (template, site and "
                "converted pages); vs 7za: vantor s / 7za s.\n");
    std::printf(
        "read s: cat of every file of the site to /dev/null (from the page cache); vs read: vantor s / "
        "read s.\n");
    std::printf("Peak memory: vantor-build's own high-water mark%s / the largest process of its run (7za "
                "included)%s / the largest process of the floor.\n\n",
                hasBaseline ? " and the baseline's" : "", hasBaseline ? " and of the baseline's run" : "");
    QString line = QString::asprintf("%-24s %6s %8s %9s %5s %9s %8s %6s", "scale", "files", "page MB",
                                     "total MB", "runs", "vantor s", "floor s", "ratio");
    if (hasBaseline)
        line += QString::asprintf(" %8s %6s", "old s", "vs old");
    line += QString::asprintf(" %10s %9s %6s", "vantor cpu", "floor cpu", "ratio");
    if (hasBaseline)
        line += QString::asprintf(" %8s", "old cpu");
    line += QString::asprintf(" %9s %8s %8s %7s %7s %8s", "pages s", "ratio+p", "7za s", "vs 7za", "read s",
                              "vs read");
    line += hasBaseline ? QString::asprintf(" %35s", "peak MB own/old run/old floor")
                        : QString::asprintf(" %22s", "peak MB own/run/floor");
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

void printRow(const bench::SiteShape& shape, const bench::GeneratedSite& site, int runs,
              const ScaleSamples& s)
{
    const bool hasBaseline = !s.old.empty();
    const double vm = median(s.vantor), fm = median(s.floor);
    const double vc = median(s.vantorCpu), fc = median(s.floorCpu), pz = median(s.pagesZip);
    const double am = median(s.archiverAlone), rm = median(s.reads);
    QString line = QString::asprintf("%-24s %6d %8s %9s %5d %9.3f %8.3f %5.2fx", qPrintable(shape.name),
                                     site.files, qPrintable(megabytes(shape.pageBytes)),
                                     qPrintable(megabytes(site.bytes)), runs, vm, fm, vm / fm);
    if (hasBaseline)
        line += QString::asprintf(" %8.3f %5.2fx", median(s.old), vm / median(s.old));
    line += QString::asprintf(" %10.3f %9.3f %5.2fx", vc, fc, vc / fc);
    if (hasBaseline)
        line += QString::asprintf(" %8.3f", median(s.oldCpu));
    line += QString::asprintf(" %9.3f %7.2fx %8.3f %6.2fx %7.3f %7.1fx", pz, vm / (fm + pz), am, vm / am, rm,
                              vm / rm);
    line += hasBaseline ? QString::asprintf(" %6.0f /%5.0f %6.0f /%5.0f %6.0f", s.ownPeak / 1024.0,
                                            s.oldOwnPeak / 1024.0, s.runPeak / 1024.0, s.oldRunPeak / 1024.0,
                                            s.floorPeak / 1024.0)
                        : QString::asprintf(" %8.0f /%5.0f /%5.0f", s.ownPeak / 1024.0, s.runPeak / 1024.0,
                                            s.floorPeak / 1024.0);
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

// The fifth scale is left out unless asked for: it keeps the whole run under ten minutes.
const std::vector<bench::SiteShape> kShapes = {
    {QStringLiteral("10 files, 50 KB pages"), 10, 50'000, 5'000'000},
    {QStringLiteral("1k files, 50 KB pages"), 1'000, 50'000, 50'000'000},
    {QStringLiteral("1k files, 5 MB pages"), 1'000, 5'000'000, 100'000'000},
    {QStringLiteral("10k files, 5 MB pages"), 10'000, 5'000'000, 500'000'000},
    {QStringLiteral("10k files, 50 KB pages"), 10'000, 50'000, 100'000'000},
    {QStringLiteral("media, 50 KB pages"), 0, 50'000, 500'000'000}, // real JPEG, PNG and MP4 files
};
const size_t kMediaScale = 5;

// Generates the site of one scale, times it and prints its row.
void runScale(const Tools& tools, size_t s, int runs)
{
    const bench::SiteShape& shape = kShapes[s];
    const QString siteFolder = QDir(tools.work).filePath(QStringLiteral("site"));
    removeTree(siteFolder);
    const bench::GeneratedSite site =
        s == kMediaScale ? bench::GenerateMediaSite(
                               siteFolder,
                               makeMediaSamples(QDir(tools.work).filePath(QStringLiteral("samples")),
                                                QDir(tools.work).filePath(QStringLiteral("samples.log"))),
                               shape.pageBytes, shape.totalBytes, 20240601 + s)
                         : bench::GenerateSite(siteFolder, shape, 20240601 + s);
    const QString log = QDir(tools.work).filePath(QStringLiteral("runs.log"));

    const QString pagesOnly = writeConvertedPages(tools, site);
    const QString laidOut = prepareArchiverTree(tools, site, pagesOnly, log);

    // The generator leaves the site in the page cache; an untimed round of each also warms the
    // programs and the template, except where it would cost a minute.
    if (shape.totalBytes < 500'000'000) {
        floorRun(tools, site, log);
        buildRun(tools, tools.vantor, site, log);
        if (!tools.baseline.path.isEmpty())
            buildRun(tools, tools.baseline, site, log);
    }
    printRow(shape, site, runs, timeScale(tools, site, pagesOnly, laidOut, runs, log));
    removeTree(siteFolder);
    removeTree(laidOut);
}

Tools readTools(const QCommandLineParser& parser)
{
    const auto value = [&](const char* name) { return parser.value(QLatin1String(name)); };
    const auto absolute = [](const QString& path) { return QFileInfo(path).absoluteFilePath(); };
    Tools tools;
    tools.vantor.path = absolute(value("vantor-build"));
    tools.vantor.templateFolder = absolute(value("template"));
    tools.archiver = QStandardPaths::findExecutable(value("archiver"));
    if (tools.archiver.isEmpty())
        tools.archiver = absolute(value("archiver"));
    tools.work = absolute(value("work"));
    if (parser.isSet(QStringLiteral("baseline"))) {
        tools.baseline.path = absolute(value("baseline"));
        tools.baseline.templateFolder = parser.isSet(QStringLiteral("baseline-template"))
                                            ? absolute(value("baseline-template"))
                                            : tools.vantor.templateFolder;
        tools.baseline.unknownOptions = optionsNotKnownTo(tools.baseline.path);
    }
    return tools;
}

void addOptions(QCommandLineParser& parser)
{
    const auto option = [](const char* name, const char* description, const char* valueName) {
        return QCommandLineOption(QLatin1String(name), QString::fromLatin1(description),
                                  QLatin1String(valueName));
    };
    QCommandLineOption archiver = option("archiver", "The 7za program.", "PATH");
    archiver.setDefaultValue(QStringLiteral("7za"));
    QCommandLineOption scales =
        option("scales", "Comma-separated scale numbers, 1 to 6 (default: 1,2,3,4,6).", "LIST");
    scales.setDefaultValue(QStringLiteral("1,2,3,4,6"));
    parser.addOptions({
        option("vantor-build", "The vantor-build program.", "PATH"),
        archiver,
        option("template", "The plugin template folder.", "DIR"),
        option("work", "Scratch folder, emptied afterwards.", "DIR"),
        option("runs", "Timed runs per scale (default: 5, 3 above 50 MB).", "N"),
        scales,
        option("baseline", "An older vantor-build, timed on the same sites in the same runs.", "PATH"),
        option("baseline-template", "The baseline's plugin template folder (default: --template).", "DIR"),
    });
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Times vantor-build against copying and zipping the same files."));
    parser.addHelpOption();
    addOptions(parser);
    parser.process(application);
    for (const char* required : {"vantor-build", "template", "work"}) {
        if (!parser.isSet(QLatin1String(required))) {
            std::fputs("usage: vantor-bench --vantor-build PATH --template DIR --work DIR [--archiver PATH] "
                       "[--runs N] [--scales a,b] [--baseline PATH [--baseline-template DIR]]\n",
                       stderr);
            return 2;
        }
    }
    const QStringList wanted = parser.value(QStringLiteral("scales")).split(QLatin1Char(','));
    try {
        const Tools tools = readTools(parser);
        printHeader(tools);
        removeTree(tools.work);
        QDir().mkpath(tools.work);
        for (size_t s = 0; s < kShapes.size(); ++s) {
            if (!wanted.contains(QString::number(s + 1)))
                continue;
            const int runs = parser.isSet(QStringLiteral("runs"))
                                 ? std::max(1, parser.value(QStringLiteral("runs")).toInt())
                                 : (kShapes[s].totalBytes > 50'000'000 ? 3 : 5);
            runScale(tools, s, runs);
        }
        removeTree(tools.work);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vantor-bench: %s\n", e.what());
        return 1;
    }
    return 0;
}
