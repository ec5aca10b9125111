// Times vantor-build on synthetic sites against the floor of the same work done by hand: the
// template and the site copied with cp -r and zipped with the same 7za call.

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
#include <QStandardPaths>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
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

struct Tools
{
    QString vantorBuild;
    QString archiver;
    QString templateFolder;
    QString work;
};

RunFigures vantorRun(const Tools& tools, const bench::GeneratedSite& site, const QString& log)
{
    const QString out = QDir(tools.work).filePath(QStringLiteral("vantor-out"));
    removeTree(out);
    QDir().mkpath(out);
    const RunFigures f =
        runProgram({tools.vantorBuild, site.folder, QStringLiteral("--front"), site.frontPage,
                    QStringLiteral("--download"), site.downloadPage, QStringLiteral("--name"),
                    QStringLiteral("Bench Plugin"), QStringLiteral("--id"), QStringLiteral("p4217"),
                    QStringLiteral("--output"), out, QStringLiteral("--template"), tools.templateFolder,
                    QStringLiteral("--archiver"), tools.archiver},
                   tools.work, log);
    if (!QFileInfo(QDir(out).filePath(QStringLiteral("benchplugin.zip"))).isFile())
        throw std::runtime_error("vantor-build made no archive");
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
    add(runProgram({QStringLiteral("cp"), QStringLiteral("-r"), tools.templateFolder, plugin}, tools.work,
                   log));
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
    runProgram({QStringLiteral("cp"), QStringLiteral("-r"), tools.templateFolder, plugin}, tools.work, log);
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

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Times vantor-build against copying and zipping the same files."));
    parser.addHelpOption();
    const QCommandLineOption buildOpt(QStringLiteral("vantor-build"),
                                      QStringLiteral("The vantor-build program."), QStringLiteral("PATH"));
    const QCommandLineOption archiverOpt(QStringLiteral("archiver"), QStringLiteral("The 7za program."),
                                         QStringLiteral("PATH"), QStringLiteral("7za"));
    const QCommandLineOption templateOpt(
        QStringLiteral("template"), QStringLiteral("The plugin template folder."), QStringLiteral("DIR"));
    const QCommandLineOption workOpt(
        QStringLiteral("work"), QStringLiteral("Scratch folder, emptied afterwards."), QStringLiteral("DIR"));
    const QCommandLineOption runsOpt(QStringLiteral("runs"),
                                     QStringLiteral("Timed runs per scale (default: 5, 3 above 50 MB)."),
                                     QStringLiteral("N"));
    const QCommandLineOption scalesOpt(
        QStringLiteral("scales"),
        QStringLiteral("Comma-separated scale numbers, 1 to 6 (default: 1,2,3,4,6)."), QStringLiteral("LIST"),
        QStringLiteral("1,2,3,4,6"));
    parser.addOptions({buildOpt, archiverOpt, templateOpt, workOpt, runsOpt, scalesOpt});
    parser.process(application);
    if (!parser.isSet(buildOpt) || !parser.isSet(templateOpt) || !parser.isSet(workOpt)) {
        std::fputs("usage: vantor-bench --vantor-build PATH --template DIR --work DIR [--archiver PATH] "
                   "[--runs N] [--scales a,b]\n",
                   stderr);
        return 2;
    }

    Tools tools;
    tools.vantorBuild = QFileInfo(parser.value(buildOpt)).absoluteFilePath();
    tools.archiver = QStandardPaths::findExecutable(parser.value(archiverOpt));
    if (tools.archiver.isEmpty())
        tools.archiver = QFileInfo(parser.value(archiverOpt)).absoluteFilePath();
    tools.templateFolder = QFileInfo(parser.value(templateOpt)).absoluteFilePath();
    tools.work = QFileInfo(parser.value(workOpt)).absoluteFilePath();

    // The fifth scale is left out unless asked for: it keeps the whole run under ten minutes.
    const std::vector<bench::SiteShape> shapes = {
        {QStringLiteral("10 files, 50 KB pages"), 10, 50'000, 5'000'000},
        {QStringLiteral("1k files, 50 KB pages"), 1'000, 50'000, 50'000'000},
        {QStringLiteral("1k files, 5 MB pages"), 1'000, 5'000'000, 100'000'000},
        {QStringLiteral("10k files, 5 MB pages"), 10'000, 5'000'000, 500'000'000},
        {QStringLiteral("10k files, 50 KB pages"), 10'000, 50'000, 100'000'000},
        {QStringLiteral("media, 50 KB pages"), 0, 50'000, 500'000'000}, // real JPEG, PNG and MP4 files
    };
    const size_t mediaScale = 5;
    const QStringList wanted = parser.value(scalesOpt).split(QLatin1Char(','));

    std::printf("cores: %ld, archiver: %s\n", sysconf(_SC_NPROCESSORS_ONLN), qPrintable(tools.archiver));
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
    std::printf(
        "Peak memory: vantor-build's own high-water mark / the largest process of its run (7za included) / "
        "the largest process of the floor.\n\n");
    std::printf("%-24s %6s %8s %9s %5s %9s %8s %6s %10s %9s %6s %9s %8s %8s %7s %7s %8s %22s\n", "scale",
                "files", "page MB", "total MB", "runs", "vantor s", "floor s", "ratio", "vantor cpu",
                "floor cpu", "ratio", "pages s", "ratio+p", "7za s", "vs 7za", "read s", "vs read",
                "peak MB own/run/floor");
    std::fflush(stdout);

    int failures = 0;
    try {
        removeTree(tools.work);
        QDir().mkpath(tools.work);
        for (size_t s = 0; s < shapes.size(); ++s) {
            const bench::SiteShape& shape = shapes[s];
            if (!wanted.contains(QString::number(s + 1)))
                continue;
            const int runs = parser.isSet(runsOpt) ? std::max(1, parser.value(runsOpt).toInt())
                                                   : (shape.totalBytes > 50'000'000 ? 3 : 5);
            const QString siteFolder = QDir(tools.work).filePath(QStringLiteral("site"));
            removeTree(siteFolder);
            const bench::GeneratedSite site =
                s == mediaScale
                    ? bench::GenerateMediaSite(
                          siteFolder,
                          makeMediaSamples(QDir(tools.work).filePath(QStringLiteral("samples")),
                                           QDir(tools.work).filePath(QStringLiteral("samples.log"))),
                          shape.pageBytes, shape.totalBytes, 20240601 + s)
                    : bench::GenerateSite(siteFolder, shape, 20240601 + s);
            const QString log = QDir(tools.work).filePath(QStringLiteral("runs.log"));

            const QString pagesOnly = writeConvertedPages(tools, site);
            const QString laidOut = prepareArchiverTree(tools, site, pagesOnly, log);

            // The generator leaves the site in the page cache; an untimed round of each also warms
            // the programs and the template, except where it would cost a minute.
            if (shape.totalBytes < 500'000'000) {
                floorRun(tools, site, log);
                vantorRun(tools, site, log);
            }
            std::vector<double> vantor, floor, vantorCpu, floorCpu, pagesZip, archiverAlone, reads;
            long ownPeak = 0, runPeak = 0, floorPeak = 0;
            for (int r = 0; r < runs; ++r) {
                const RunFigures v = vantorRun(tools, site, log);
                const RunFigures f = floorRun(tools, site, log);
                vantor.push_back(v.seconds);
                floor.push_back(f.seconds);
                vantorCpu.push_back(v.cpuSeconds);
                floorCpu.push_back(f.cpuSeconds);
                pagesZip.push_back(zipAloneRun(tools, pagesOnly, log).seconds);
                archiverAlone.push_back(zipAloneRun(tools, laidOut, log).seconds);
                reads.push_back(readRun(site, log).seconds);
                ownPeak = std::max(ownPeak, v.ownPeakKiB);
                runPeak = std::max(runPeak, v.treePeakKiB);
                floorPeak = std::max(floorPeak, f.treePeakKiB);
            }
            const double vm = median(vantor), fm = median(floor);
            const double vc = median(vantorCpu), fc = median(floorCpu), pz = median(pagesZip);
            const double am = median(archiverAlone), rm = median(reads);
            std::printf(
                "%-24s %6d %8s %9s %5d %9.3f %8.3f %5.2fx %10.3f %9.3f %5.2fx %9.3f %7.2fx %8.3f %6.2fx "
                "%7.3f %7.1fx %8.0f /%5.0f /%5.0f\n",
                qPrintable(shape.name), site.files, qPrintable(megabytes(shape.pageBytes)),
                qPrintable(megabytes(site.bytes)), runs, vm, fm, vm / fm, vc, fc, vc / fc, pz, vm / (fm + pz),
                am, vm / am, rm, vm / rm, ownPeak / 1024.0, runPeak / 1024.0, floorPeak / 1024.0);
            std::fflush(stdout);
            removeTree(siteFolder);
            removeTree(laidOut);
        }
        removeTree(tools.work);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vantor-bench: %s\n", e.what());
        ++failures;
    }
    return failures == 0 ? 0 : 1;
}
