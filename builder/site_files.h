#pragma once

#include "builder/left_out_files.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

namespace builder {

// The files of a site as "/"-separated paths relative to its top, in walk order, with the lookups
// that resolving a page's references needs.
class SiteFiles final
{
public:
    SiteFiles() = default;
    explicit SiteFiles(QStringList files);

    const QStringList& list() const { return m_list; }
    bool contains(const QString& path) const { return m_files.contains(path); }
    // A folder holding at least one listed file, at any depth; "" is the site's top.
    bool isFolder(const QString& path) const { return m_folders.contains(path); }
    // The files whose paths equal path when letter case is ignored.
    QStringList equalIgnoringCase(const QString& path) const
    {
        return m_byFoldedPath.value(path.toCaseFolded());
    }

    // Records a file (or, with a trailing "/", a folder) of the site folder that is not shipped.
    void addLeftOut(const QString& path, LeftOutKind kind);
    // Why path, a file that is not in the list, was left out: None when it was not.
    LeftOutKind leftOutKind(const QString& path) const;

private:
    QStringList m_list;
    QHash<QString, LeftOutKind> m_leftOutFiles;
    QHash<QString, LeftOutKind> m_leftOutFolders; // without the trailing "/"
    QSet<QString> m_files;
    QSet<QString> m_folders;
    QHash<QString, QStringList> m_byFoldedPath;
};

} // namespace builder
