#pragma once

#include <QString>

#include <functional>

namespace builder {

// Error numbers of the archiver step, after the file-error numbers.
enum ArchiverError : int
{
    kArchiverNotStarted = 1001,
    kArchiverFailed = 1002,
    kArchiverCrashed = 1003,
    kArchiveMissing = 1004,
    kArchiveIncomplete = 1005,
};

enum class ArchiveLayout
{
    // Already compressed files (by their content, see IsAlreadyCompressed) are stored, the rest
    // deflated: two archiver calls on the same archive.
    StoreCompressed,
    // One archiver call that deflates everything, as earlier versions made the archive.
    DeflateAll,
};

struct PackedFolder
{
    int storedFiles = 0;   // files put in the archive as they are
    int deflatedFiles = 0; // files the archiver compressed
};

class BuildStop;

// Packs the folder folderName (inside workDir) into a new ZIP at archivePath with 7za, as an
// argument list, and waits for it. tick runs about five times a second while it works.
// Throws support::IoError with the archiver's own message when it cannot start, fails, is
// killed, or leaves no archive. A stop requested meanwhile kills the archiver and throws
// BuildStopped. On Linux the archiver is killed too when this program dies first.
void RunArchiver(const QString& archiver, const QString& archivePath, const QString& workDir,
                 const QString& folderName, const std::function<void()>& tick = {},
                 const BuildStop* stop = nullptr);

// Packs the folder folderName (inside workDir) into a new ZIP at archivePath, laid out as asked,
// and checks that the archive lists every file of the folder. For StoreCompressed the already
// compressed files are moved out of the folder into a sibling folder while it runs (the folder is
// meant to be thrown away afterwards). Throws as RunArchiver does, and kArchiveIncomplete when
// the finished archive lists fewer files than the folder held.
PackedFolder PackFolder(const QString& archiver, const QString& archivePath, const QString& workDir,
                        const QString& folderName, ArchiveLayout layout,
                        const std::function<void()>& tick = {}, const BuildStop* stop = nullptr);

} // namespace builder
