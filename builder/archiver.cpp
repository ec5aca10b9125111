#include "builder/archiver.h"

#include "builder/build_stop.h"
#include "builder/compressed_content.h"
#include "builder/zip_writer.h"
#include "support/io_error.h"
#include "support/process_death.h"
#include "support/read_file.h"

#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <future>
#include <vector>

namespace builder {
namespace {

namespace fs = std::filesystem;

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

// The number of a failed archiver call: that of a full disk or a refused permission when the
// archiver names the system's error ("System ERROR: errno=28 : ..."), so that the advice given
// fits; else the archiver's own.
int archiverErrorNumber(const QByteArray& output)
{
    static const QRegularExpression systemError(QStringLiteral("errno=(\\d+)"));
    const QRegularExpressionMatch m = systemError.match(QString::fromLatin1(output));
    if (m.hasMatch()) {
        const int number = support::ErrorNumberForErrno(m.captured(1).toInt());
        if (number == support::kDiskFull || number == support::kPermissionDenied)
            return number;
    }
    return kArchiverFailed;
}

// Runs the archiver with the arguments in workDir and waits for it; returns what it printed (all
// of it when keepAll, else only the end).
QByteArray runArchiverCall(const QString& archiver, const QStringList& arguments, const QString& workDir,
                           const std::function<void()>& tick, const BuildStop* stop, bool keepAll = false)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setWorkingDirectory(workDir);
    // This thread waits here until the archiver has ended, so only the program's death ends it early.
    support::EndWithThisProgram(process);
    // A path given relative to where the program was started would else be taken from workDir.
    process.start(archiver.contains(QLatin1Char('/')) ? QFileInfo(archiver).absoluteFilePath() : archiver,
                  arguments);
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
        if (!keepAll && output.size() > 65536)
            output = output.right(16384);
        if (tick)
            tick();
    }
    // A Ctrl+C in a terminal reaches the archiver too: it ended because of the stop.
    if (stop)
        stop->check();
    output += process.readAll();
    if (process.exitStatus() != QProcess::NormalExit) {
        throw support::IoError(kArchiverCrashed,
                               QStringLiteral("The archiver '%1' stopped before it finished (%2). %3")
                                   .arg(archiver, process.errorString(), lastLines(output))
                                   .trimmed());
    }
    if (process.exitCode() != 0) {
        throw support::IoError(archiverErrorNumber(output),
                               QStringLiteral("The archiver '%1' failed with exit code %2: %3")
                                   .arg(archiver)
                                   .arg(process.exitCode())
                                   .arg(lastLines(output)));
    }
    return output;
}

// No -r: with a plain folder name it would also pick up same-named entries deeper down.
QStringList addArguments(const QString& archivePath, const QString& folderName, bool store)
{
    QStringList arguments{QStringLiteral("a"), QStringLiteral("-tzip"), QStringLiteral("-bd"),
                          QStringLiteral("-y")};
    if (store)
        arguments << QStringLiteral("-mx0");
    return arguments << archivePath << QStringLiteral("--") << folderName;
}

// Whether a file in a compressed format is better stored than deflated: a JPEG whose metadata is
// more than a twentieth of it, or a file whose inner samples still deflate by 2%, is deflated.
bool worthStoring(support::ReadFile& in, QByteArrayView head, std::uintmax_t size)
{
    if (head.startsWith("\xFF\xD8\xFF")) {
        // A header longer than a twentieth of the file decides for deflating: no need to read past it.
        const std::uintmax_t enough = std::min<std::uintmax_t>(size / 20 + 4, 256 * 1024);
        QByteArray start(qsizetype(std::min(size, enough)), Qt::Uninitialized);
        const qint64 got = in.read(start.data(), start.size(), 0);
        const qsizetype header =
            JpegHeaderLength(QByteArrayView(start.constData(), std::max<qint64>(got, 0)));
        return header >= 0 && std::uintmax_t(header) * 20 <= size;
    }
    constexpr std::uintmax_t kChunk = 16 * 1024;
    // Up to four chunks' worth the whole file; beyond, the chunks around the quarters never overlap.
    const bool whole = size <= 4 * kChunk;
    const int pieces = whole ? 1 : 3;
    const qint64 piece = whole ? qint64(size) : qint64(kChunk);
    QByteArray sample(pieces * piece, Qt::Uninitialized);
    qsizetype got = 0;
    for (int i = 1; i <= pieces; ++i) {
        const qint64 n = in.read(sample.data() + got, piece, whole ? 0 : qint64(size * i / 4 - kChunk / 2));
        if (n < 0)
            return false;
        got += n;
    }
    return !ShrinksWhenDeflated(QByteArrayView(sample).first(got));
}

struct FolderFiles
{
    std::vector<fs::path> stored; // relative to the folder's parent
    int files = 0;
};

// Whether the file's content is already compressed and would not shrink. A file that cannot be
// read is left to the archiver, which names it.
bool isBetterStored(const fs::directory_entry& entry)
{
    support::ReadFile in(entry.path());
    char head[kContentSniffBytes];
    const qint64 got = in.isOpen() ? in.read(head, sizeof head) : -1;
    if (got <= 0 || !IsAlreadyCompressed(QByteArrayView(head, got)))
        return false;
    std::error_code ec;
    const std::uintmax_t size = entry.file_size(ec);
    return !ec && worthStoring(in, QByteArrayView(head, got), size);
}

// The regular files of the folder, with those whose content is already compressed (and would not
// shrink) picked out when sniff is set. Two threads walk the folder, each sniffing every other
// file, so that no list of all its files is held. Names are taken as the file system's bytes,
// whatever their encoding.
FolderFiles listFiles(const fs::path& parent, const fs::path& folder, bool sniff, const BuildStop* stop)
{
    const auto walk = [&](int share, int shares) {
        FolderFiles found;
        for (const fs::directory_entry& entry : fs::recursive_directory_iterator(parent / folder)) {
            if (!entry.is_regular_file() || entry.is_symlink() || found.files++ % shares != share || !sniff)
                continue;
            if (stop && found.files % 256 == 0 && stop->requested())
                break;
            if (isBetterStored(entry))
                found.stored.push_back(entry.path().lexically_relative(parent));
        }
        return found;
    };
    if (!sniff)
        return walk(0, 1);
    std::future<FolderFiles> other = std::async(std::launch::async, walk, 1, 2);
    FolderFiles found = walk(0, 2);
    FolderFiles half = other.get();
    if (stop)
        stop->check();
    found.stored.insert(found.stored.end(), std::make_move_iterator(half.stored.begin()),
                        std::make_move_iterator(half.stored.end()));
    std::sort(found.stored.begin(), found.stored.end());
    return found;
}

// Moves the files (relative to from) to the same relative places below to.
void moveFiles(const std::vector<fs::path>& files, const fs::path& from, const fs::path& to)
{
    for (const fs::path& file : files) {
        const fs::path target = to / file;
        fs::create_directories(target.parent_path());
        fs::rename(from / file, target);
    }
}

// How many files the archive lists, from the summary line 7za ends its listing with
// ("... 12 files, 3 folders"); the last line, so no entry's name can pose as it.
int listedFiles(const QString& archiver, const QString& archivePath, const QString& workDir,
                const BuildStop* stop)
{
    const QByteArray listing = runArchiverCall(
        archiver, {QStringLiteral("l"), QStringLiteral("-tzip"), QStringLiteral("--"), archivePath}, workDir,
        {}, stop, true);
    const QList<QByteArray> lines = listing.trimmed().split('\n');
    static const QRegularExpression summary(QStringLiteral("(\\d+) files?(, \\d+ folders?)?\\s*$"));
    const QRegularExpressionMatch m = summary.match(QString::fromLatin1(lines.last()));
    return m.hasMatch() ? m.captured(1).toInt() : 0;
}

} // namespace

void RunArchiver(const QString& archiver, const QString& archivePath, const QString& workDir,
                 const QString& folderName, const std::function<void()>& tick, const BuildStop* stop)
{
    runArchiverCall(archiver, addArguments(archivePath, folderName, false), workDir, tick, stop);
    if (!QFileInfo(archivePath).isFile()) {
        throw support::IoError(
            kArchiveMissing,
            QStringLiteral("The archiver '%1' ended without making '%2'.").arg(archiver, archivePath));
    }
}

namespace {

// Stores the files (relative to storedWorkDir) in a new archive at archivePath while the archiver
// deflates the rest of the folder into a second one, then takes the second one's entries over.
void packStoredBesideDeflated(const QString& archiver, const QString& archivePath, const QString& workDir,
                              const QString& folderName, const QString& storedWorkDir,
                              const std::vector<fs::path>& stored, const std::function<void()>& tick,
                              const BuildStop* stop)
{
    const QString deflated = archivePath + QStringLiteral(".deflated.zip");
    StoredZipWriter writer(archivePath);
    std::atomic<bool> cancel{false};
    const fs::path storedRoot = support::ToFsPath(storedWorkDir);
    std::vector<StoredZipWriter::Source> sources;
    for (const fs::path& file : stored)
        sources.push_back({storedRoot / file, QByteArray::fromStdString(file.generic_string())});
    // Two files at a time: while the archiver deflates, reading, checking and writing keep both
    // cores busy.
    std::future<void> storing =
        std::async(std::launch::async, [&] { writer.addStoredFiles(sources, 2, &cancel); });
    try {
        RunArchiver(archiver, deflated, workDir, folderName, tick, stop);
        while (storing.wait_for(std::chrono::milliseconds(200)) != std::future_status::ready) {
            if (stop && stop->requested())
                cancel = true;
            if (tick)
                tick();
        }
    } catch (...) {
        cancel = true;
        storing.wait();
        throw;
    }
    storing.get();
    if (stop)
        stop->check();
    writer.appendArchive(deflated);
    writer.finish();
    QFile::remove(deflated);
}

} // namespace

PackedFolder PackFolder(const QString& archiver, const QString& archivePath, const QString& workDir,
                        const QString& folderName, ArchiveLayout layout, const std::function<void()>& tick,
                        const BuildStop* stop)
{
    const fs::path parent = support::ToFsPath(workDir);
    const fs::path folder = support::ToFsPath(folderName);
    const FolderFiles files = listFiles(parent, folder, layout == ArchiveLayout::StoreCompressed, stop);
    PackedFolder packed;
    packed.storedFiles = int(files.stored.size());
    packed.deflatedFiles = files.files - packed.storedFiles;

    if (files.stored.empty()) {
        RunArchiver(archiver, archivePath, workDir, folderName, tick, stop);
    } else {
        // The stored files leave the folder, so that the archiver sees only what it deflates.
        const QString storedWorkDir = workDir + QLatin1Char('/') + folderName + QStringLiteral(".stored");
        moveFiles(files.stored, parent, support::ToFsPath(storedWorkDir));
        packStoredBesideDeflated(archiver, archivePath, workDir, folderName, storedWorkDir, files.stored,
                                 tick, stop);
    }
    const int listed = listedFiles(archiver, archivePath, workDir, stop);
    if (listed != files.files) {
        throw support::IoError(kArchiveIncomplete,
                               QStringLiteral("The archive '%1' lists %2 files, but the plugin has %3: it is "
                                              "not used. Please try again.")
                                   .arg(archivePath)
                                   .arg(listed)
                                   .arg(files.files));
    }
    return packed;
}

} // namespace builder
