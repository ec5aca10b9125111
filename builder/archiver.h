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

} // namespace builder
