#include "builder/work_folder.h"

#include "support/folder_deletion.h"
#include "support/io_error.h"
#include "support/unique_fd.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <utility>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace builder {
namespace {

#ifdef Q_OS_UNIX
// Opens the folder's lock file (making it when missing) and locks it without waiting. Nothing
// held, with errno EWOULDBLOCK when someone holds it, ENOENT when the folder is gone.
support::UniqueFd lockFolder(const QString& folder)
{
    const QByteArray lock = QFile::encodeName(QDir(folder).filePath(QStringLiteral(".lock")));
    support::UniqueFd fd(::open(lock.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!fd.valid())
        return {};
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        fd.reset();
        errno = err;
        return {};
    }
    // A folder swept away between the open and the lock leaves a lock on a file that is gone.
    struct stat held
    {
    };
    struct stat named
    {
    };
    if (::fstat(fd.get(), &held) != 0 || ::lstat(lock.constData(), &named) != 0 ||
        held.st_dev != named.st_dev || held.st_ino != named.st_ino) {
        fd.reset();
        errno = ENOENT;
        return {};
    }
    return fd;
}
#endif

} // namespace

WorkFolder::WorkFolder(const QString& outputFolder)
{
    const QString pattern = QDir(outputFolder).filePath(namePrefix() + QStringLiteral("XXXXXX"));
    for (int attempt = 0; attempt < 20; ++attempt) {
        QTemporaryDir dir(pattern);
        if (!dir.isValid()) {
            throw support::IoError(
                support::kPermissionDenied,
                QStringLiteral("Cannot create a folder in '%1': %2").arg(outputFolder, dir.errorString()));
        }
        dir.setAutoRemove(false);
#ifdef Q_OS_UNIX
        support::UniqueFd lock = lockFolder(dir.path());
        if (!lock.valid()) {
            const int err = errno;
            // Another build's sweep took the new folder before it was locked, and removes it.
            if (err == EWOULDBLOCK || err == ENOENT)
                continue;
            support::DeleteFolder(dir.path());
            throw support::IoError::fromErrno(err, QStringLiteral("Cannot lock the work folder"), dir.path());
        }
        m_lock = std::move(lock);
#endif
        m_path = dir.path();
        return;
    }
    throw support::IoError(support::kPathFileAccess,
                           QStringLiteral("Cannot create a work folder in '%1': it was taken away each time.")
                               .arg(outputFolder));
}

WorkFolder::~WorkFolder()
{
    remove();
    // m_lock lets go only after this, once the folder it guards is gone.
}

bool WorkFolder::remove()
{
    if (!m_removed)
        m_removed = support::DeleteFolder(m_path);
    return m_removed;
}

QStringList RemoveAbandonedWorkFolders(const QString& outputFolder)
{
    QStringList warnings;
#ifdef Q_OS_UNIX
    const QDir output(outputFolder);
    const QStringList names =
        output.entryList({WorkFolder::namePrefix() + QLatin1Char('*')},
                         QDir::Dirs | QDir::Hidden | QDir::NoSymLinks | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        const QString folder = output.filePath(name);
        const support::UniqueFd lock = lockFolder(folder);
        if (!lock.valid()) {
            if (errno != EWOULDBLOCK && errno != ENOENT) {
                warnings << QStringLiteral(
                                "Could not check the work folder '%1' left by an earlier build: %2")
                                .arg(folder, QString::fromLocal8Bit(std::strerror(errno)));
            }
            continue;
        }
        if (!support::DeleteFolder(folder))
            warnings << QStringLiteral("Could not remove the work folder '%1' left by an earlier build.")
                            .arg(folder);
    }
#else
    // Without the lock a live build's folder cannot be told from an abandoned one: all stay.
    Q_UNUSED(outputFolder);
#endif
    return warnings;
}

} // namespace builder
