#pragma once

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

private:
    QStringList m_list;
    QSet<QString> m_files;
    QSet<QString> m_folders;
    QHash<QString, QStringList> m_byFoldedPath;
};

} // namespace builder
