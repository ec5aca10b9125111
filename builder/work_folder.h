#pragma once

#include "support/file_lock.h"

#include <QString>
#include <QStringList>

namespace builder {

// A build's private folder inside the output folder, named .vantor-build-XXXXXX. A lock on its
// file ".lock", held for the object's life, tells other builds (also in other processes) that its
// owner is alive; once the owner is gone, killed or crashed, the lock goes with it.
class WorkFolder final
{
public:
    // Makes and locks a new work folder; throws support::IoError when it cannot.
    explicit WorkFolder(const QString& outputFolder);
    // Removes the folder when remove() has not, then lets go of the lock.
    ~WorkFolder();
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;

    const QString& path() const { return m_path; }
    // Deletes the folder with everything in it, still holding the lock; false when something
    // could not be deleted.
    bool remove();

    static QString namePrefix() { return QStringLiteral(".vantor-build-"); }

private:
    QString m_path;
    support::FileLock m_lock;
    bool m_removed = false;
};

// Removes the work folders in outputFolder whose owner is gone: a killed or crashed build left
// them. Folders that a running build holds are never touched. Returns one warning for each
// abandoned folder that could not be removed.
QStringList RemoveAbandonedWorkFolders(const QString& outputFolder);

} // namespace builder
