#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

namespace workspace {

// The pages of the working copy and the site folder they were copied from. Knows which pages
// differ from what was loaded (the user saved edits into them) and writes those back into the
// site folder, one whole file at a time. What it knows is kept in a record beside the working
// folder as well, so that a later run finds the edits a run that ended unexpectedly left behind.
class EditedPages final
{
public:
    struct WriteBack
    {
        QStringList written;      // names of the pages written back
        QStringList changedThere; // names whose site file someone else changed since the load
        QStringList failures;     // "name: reason" for each other page that was not written back
        bool ok() const { return failures.isEmpty() && changedThere.isEmpty(); }
    };

    // Where the record is kept; outside the working folder, so no plugin carries it. Without one
    // everything stays in memory.
    void setRecordFile(const QString& path) { m_recordFile = path; }

    // After a load: remembers the site folder and each page at the top of the working folder as
    // copied from the site, and writes the record.
    void reset(const QString& siteFolder, const QString& workingFolder);
    // Forgets the load and removes the record.
    void clear();
    // Takes up the record an earlier run left; false when there is none that can be read.
    bool restore(const QString& workingFolder);
    const QString& siteFolder() const { return m_siteFolder; }

    // Names of the loaded pages whose bytes in the working folder now differ from the load.
    QStringList changed() const;
    // The hash of the site's file as it was loaded, or as it was last written back.
    QByteArray siteHash(const QString& name) const { return m_pages.value(name).siteHash; }

    // Writes each changed page over its file in the site folder. A site file that someone else
    // changed since the load is not touched and listed in changedThere; one that vanished, or
    // that is marked read-only, is listed as a failure. A page written back counts as loaded from
    // then on. Nothing is written when the record names another load than this one: the working
    // folder then holds another site's pages.
    WriteBack writeBackChanged();

    // Where saveBeside would put the page.
    QString besideName(const QString& name) const;
    // Saves the changed page beside its site file, which someone else changed since the load
    // (BesideName), and returns that file's path; the page then counts as given back until it
    // changes again. Throws support::IoError.
    QString saveBeside(const QString& name);

private:
    struct Page
    {
        QByteArray siteHash; // the site's file as loaded or last written back
        QByteArray baseline; // the working page as loaded or last given back
    };
    void writeRecord() const;
    // The load the record on disk names: "" when there is no record.
    QString recordedLoad() const;
    QByteArray workingBytes(const QString& name, bool* ok) const;

    QString m_recordFile;
    QString m_loadId;
    QString m_siteFolder;
    QString m_workingFolder;
    QHash<QString, Page> m_pages; // page name -> what was loaded
};

} // namespace workspace
