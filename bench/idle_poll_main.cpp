// The CPU the page list's five-times-a-second refresh costs while nothing in the working folder
// changes: the workspace's own refreshPageList, driven by a 200 ms timer as the main window does.

#include "tests/support/scripted_prompter.h"
#include "workspace/folders.h"
#include "workspace/page_workspace.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>
#include <QTimer>

#include <cstdio>

#include <sys/resource.h>

namespace {

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Idle CPU of the page list's 200 ms refresh."));
    parser.addHelpOption();
    const QCommandLineOption siteOpt(QStringLiteral("site"),
                                     QStringLiteral("Site copied into the working folder."),
                                     QStringLiteral("DIR"));
    const QCommandLineOption workOpt(
        QStringLiteral("work"), QStringLiteral("Scratch folder, removed afterwards."), QStringLiteral("DIR"));
    const QCommandLineOption secondsOpt(QStringLiteral("seconds"),
                                        QStringLiteral("How long to watch (default 60)."),
                                        QStringLiteral("N"), QStringLiteral("60"));
    parser.addOptions({siteOpt, workOpt, secondsOpt});
    parser.process(application);
    if (!parser.isSet(siteOpt) || !parser.isSet(workOpt)) {
        std::fputs("usage: vantor-bench-idle --site DIR --work DIR [--seconds N]\n", stderr);
        return 2;
    }

    QDir work(QFileInfo(parser.value(workOpt)).absoluteFilePath());
    work.removeRecursively();
    const workspace::Folders folders = workspace::Folders::selfContained(work.absolutePath());
    QDir().mkpath(folders.workingFolder);
    if (QProcess::execute(QStringLiteral("cp"),
                          {QStringLiteral("-r"), parser.value(siteOpt) + QStringLiteral("/."),
                           folders.workingFolder}) != 0) {
        std::fputs("cannot copy the site\n", stderr);
        return 1;
    }

    testsupport::ScriptedPrompter prompter;
    workspace::PageWorkspace pages(folders, prompter);
    int changes = 0;
    QObject::connect(&pages, &workspace::PageWorkspace::pageListChanged, [&] { ++changes; });
    pages.refreshPageList();
    const qsizetype listed = pages.pages().size();
    changes = 0;

    const int seconds = std::max(1, parser.value(secondsOpt).toInt());
    // The same timer with an empty slot first, so the event loop's own cost can be told apart.
    const auto watch = [&](int forSeconds, bool refresh, int& ticks) {
        QTimer timer;
        timer.setInterval(200);
        QObject::connect(&timer, &QTimer::timeout, [&] {
            if (refresh)
                pages.refreshPageList();
            ++ticks;
        });
        QEventLoop loop;
        QTimer::singleShot(forSeconds * 1000, &loop, &QEventLoop::quit);
        QElapsedTimer wall;
        const double cpuStart = cpuSeconds();
        wall.start();
        timer.start();
        loop.exec();
        return std::pair{cpuSeconds() - cpuStart, double(wall.nsecsElapsed()) / 1e9};
    };
    int idleTicks = 0;
    const auto [idleCpu, idleWall] = watch(std::max(1, seconds / 6), false, idleTicks);
    int refreshes = 0;
    const auto [cpu, elapsed] = watch(seconds, true, refreshes);

    std::printf(
        "page list idle: %lld pages listed, %d refreshes in %.1f s, %d list changes; CPU %.3f s = %.3f%% of "
        "one core, %.0f us per refresh (an empty 200 ms timer: %.0f us per tick)\n",
        qlonglong(listed), refreshes, elapsed, changes, cpu, 100.0 * cpu / elapsed,
        refreshes > 0 ? 1e6 * cpu / refreshes : 0.0, idleTicks > 0 ? 1e6 * idleCpu / idleTicks : 0.0);
    Q_UNUSED(idleWall);
    work.removeRecursively();
    return listed > 0 && changes == 0 ? 0 : 1;
}
