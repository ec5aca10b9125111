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

} // namespace builder
