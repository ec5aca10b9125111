#include "builder/site_files.h"

#include <utility>

namespace builder {

SiteFiles::SiteFiles(QStringList files) : m_list(std::move(files))
{
    m_files.reserve(m_list.size());
    m_byFoldedPath.reserve(m_list.size());
    m_folders.insert(QString());
    for (const QString& file : std::as_const(m_list)) {
        m_files.insert(file);
        QStringList& same = m_byFoldedPath[file.toCaseFolded()];
        if (!same.contains(file))
            same.append(file);
        for (qsizetype slash = file.lastIndexOf(QLatin1Char('/')); slash > 0;
             slash = file.lastIndexOf(QLatin1Char('/'), slash - 1)) {
            if (m_folders.contains(file.left(slash)))
                break;
            m_folders.insert(file.left(slash));
        }
    }
}

void SiteFiles::addLeftOut(const QString& path, LeftOutKind kind)
{
    if (path.endsWith(QLatin1Char('/')))
        m_leftOutFolders.insert(path.chopped(1), kind);
    else
        m_leftOutFiles.insert(path, kind);
}

LeftOutKind SiteFiles::leftOutKind(const QString& path) const
{
    if (m_leftOutFiles.isEmpty() && m_leftOutFolders.isEmpty())
        return LeftOutKind::None;
    if (const auto it = m_leftOutFiles.constFind(path); it != m_leftOutFiles.cend())
        return it.value();
    for (qsizetype slash = path.indexOf(QLatin1Char('/')); slash > 0;
         slash = path.indexOf(QLatin1Char('/'), slash + 1)) {
        if (const auto it = m_leftOutFolders.constFind(path.left(slash)); it != m_leftOutFolders.cend())
            return it.value();
    }
    return m_leftOutFolders.value(path, LeftOutKind::None);
}

} // namespace builder
