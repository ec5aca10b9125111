#include "builder/archiver.h"

#include "builder/build_stop.h"
#include "support/io_error.h"
#include "support/process_death.h"

#include <QFileInfo>
#include <QProcess>

namespace builder {
namespace {

// The last lines the archiver printed, which carry its reason.
QString lastLines(const QByteArray& output)
{
    QStringList lines = QString::fromLocal8Bit(output).split(QLatin1Char('\n'));
    for (QString& l : lines)
        l = l.trimmed();
    lines.removeAll(QString());
    if (lines.size() > 6)
        lines = lines.mid(lines.size() - 6);
    return lines.join(QLatin1Char(' '));
}

} // namespace

void RunArchiver(const QString& archiver, const QString& archivePath, const QString& workDir,
                 const QString& folderName, const std::function<void()>& tick, const BuildStop* stop)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setWorkingDirectory(workDir);
    // This thread waits here until the archiver has ended, so only the program's death ends it early.
    support::EndWithThisProgram(process);
    // No -r: with a plain folder name it would also pick up same-named entries deeper down.
    process.start(archiver, {QStringLiteral("a"), QStringLiteral("-tzip"), QStringLiteral("-bd"),
                             QStringLiteral("-y"), archivePath, QStringLiteral("--"), folderName});
    if (!process.waitForStarted(-1)) {
        throw support::IoError(kArchiverNotStarted,
                               QStringLiteral("The archiver '%1' could not be started: %2")
                                   .arg(archiver, process.errorString()));
    }
    QByteArray output;
    while (!process.waitForFinished(200)) {
        if (process.state() == QProcess::NotRunning)
            break;
        if (stop && stop->requested()) {
            process.kill();
            process.waitForFinished(-1);
            throw BuildStopped();
        }
        output += process.readAll();
        if (output.size() > 65536)
            output = output.right(16384);
        if (tick)
            tick();
    }
    // A Ctrl+C in a terminal reaches the archiver too: it ended because of the stop.
    if (stop)
        stop->check();
    output += process.readAll();
    const QString said = lastLines(output);
    if (process.exitStatus() != QProcess::NormalExit) {
        throw support::IoError(kArchiverCrashed,
                               QStringLiteral("The archiver '%1' stopped before it finished (%2). %3")
                                   .arg(archiver, process.errorString(), said)
                                   .trimmed());
    }
    if (process.exitCode() != 0) {
        throw support::IoError(kArchiverFailed,
                               QStringLiteral("The archiver '%1' failed with exit code %2: %3")
                                   .arg(archiver)
                                   .arg(process.exitCode())
                                   .arg(said));
    }
    if (!QFileInfo(archivePath).isFile()) {
        throw support::IoError(
            kArchiveMissing,
            QStringLiteral("The archiver '%1' ended without making '%2'.").arg(archiver, archivePath));
    }
}

} // namespace builder
