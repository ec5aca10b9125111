#include "gui/site_request_filter.h"

#include "support/paths.h"

#include <QMutexLocker>
#include <QUrl>

namespace gui {

SiteRequestFilter::SiteRequestFilter(QObject* parent) : QWebEngineUrlRequestInterceptor(parent) {}

void SiteRequestFilter::setPageFolder(const QString& folder)
{
    const QString resolved = support::ResolvedPath(folder);
    QMutexLocker lock(&m_mutex);
    m_pageFolder = resolved;
}

void SiteRequestFilter::setSiteFolder(const QString& folder)
{
    const QString resolved = support::ResolvedPath(folder);
    QMutexLocker lock(&m_mutex);
    m_siteFolder = resolved;
}

bool SiteRequestFilter::allows(const QUrl& url) const
{
    if (!url.isLocalFile())
        return true;
    const QString path = url.toLocalFile();
    QString pageFolder, siteFolder;
    {
        QMutexLocker lock(&m_mutex);
        pageFolder = m_pageFolder;
        siteFolder = m_siteFolder;
    }
    // Symbolic links are resolved so that a link inside the site cannot reach out of it.
    return support::IsSameOrInside(path, pageFolder) || support::IsSameOrInside(path, siteFolder);
}

void SiteRequestFilter::interceptRequest(QWebEngineUrlRequestInfo& info)
{
    if (!allows(info.requestUrl()))
        info.block(true);
}

} // namespace gui
