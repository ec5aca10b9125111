#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

namespace workspace {

// The pages of the working copy and the site folder they were copied from. Knows which pages
// differ from what was loaded (the user saved edits into them) and writes those back into the
// site folder, one whole file at a time.
class EditedPages final
{
public:
    struct WriteBack
    {
        QStringList written;  // names of the pages written back
        QStringList failures; // "name: reason" for each page that was not
        bool ok() const { return failures.isEmpty(); }
    };

    // After a load: remembers the site folder and a fingerprint of each page at the top of the
    // working folder, as copied from the site.
    void reset(const QString& siteFolder, const QString& workingFolder);
    void clear();
    const QString& siteFolder() const { return m_siteFolder; }

    // Names of the loaded pages whose bytes in the working folder now differ from the load.
    QStringList changed() const;

    // Writes each changed page over its file in the site folder. A site file that changed or
    // vanished since the load, or that is marked read-only, is not touched and is listed as a
    // failure; a page written back counts as loaded from then on.
    WriteBack writeBackChanged();

private:
    QString m_siteFolder;
    QString m_workingFolder;
    QHash<QString, QByteArray> m_loaded; // page name -> fingerprint at load
};

} // namespace workspace
