#include "builder/work_folder.h"

#include "support/folder_deletion.h"
#include "support/io_error.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstring>
#include <utility>

namespace builder {
namespace {

// Locks the folder's lock file, making it when missing.
support::FileLock::Outcome lockFolder(const QString& folder, support::FileLock& lock)
{
    return lock.tryLock(QDir(folder).filePath(QStringLiteral(".lock")));
}

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
        switch (lockFolder(dir.path(), m_lock)) {
        case support::FileLock::Outcome::Locked:
            break;
        case support::FileLock::Outcome::HeldElsewhere:
        case support::FileLock::Outcome::Gone:
            // Another build's sweep took the new folder before it was locked, and removes it.
            continue;
        case support::FileLock::Outcome::Failed:
            support::DeleteFolder(dir.path());
            throw support::IoError::fromErrno(m_lock.error(), QStringLiteral("Cannot lock the work folder"),
                                              dir.path());
        }
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
    const QDir output(outputFolder);
    const QStringList names =
        output.entryList({WorkFolder::namePrefix() + QLatin1Char('*')},
                         QDir::Dirs | QDir::Hidden | QDir::NoSymLinks | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        const QString folder = output.filePath(name);
        support::FileLock lock;
        const support::FileLock::Outcome outcome = lockFolder(folder, lock);
        if (outcome == support::FileLock::Outcome::Failed) {
            warnings << QStringLiteral("Could not check the work folder '%1' left by an earlier build: %2")
                            .arg(folder, QString::fromLocal8Bit(std::strerror(lock.error())));
        }
        if (outcome != support::FileLock::Outcome::Locked)
            continue;
        if (!support::DeleteFolder(folder))
            warnings << QStringLiteral("Could not remove the work folder '%1' left by an earlier build.")
                            .arg(folder);
    }
    return warnings;
}

} // namespace builder
