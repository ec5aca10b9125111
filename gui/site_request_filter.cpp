#include "gui/site_request_filter.h"

#include <QDir>
#include <QFileInfo>
#include <QMutexLocker>
#include <QUrl>

namespace gui {

namespace {

// Symbolic links are resolved so that a link inside the site cannot reach out of it.
QString resolvedPath(const QString& path)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(QFileInfo(path).absoluteFilePath()) : canonical;
}

bool isInside(const QString& path, const QString& folder)
{
    if (folder.isEmpty())
        return false;
    if (path == folder)
        return true;
    const QString prefix = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
    return path.startsWith(prefix);
}

} // namespace

SiteRequestFilter::SiteRequestFilter(QObject* parent) : QWebEngineUrlRequestInterceptor(parent) {}

void SiteRequestFilter::setPageFolder(const QString& folder)
{
    const QString resolved = folder.isEmpty() ? QString() : resolvedPath(folder);
    QMutexLocker lock(&m_mutex);
    m_pageFolder = resolved;
}

void SiteRequestFilter::setSiteFolder(const QString& folder)
{
    const QString resolved = folder.isEmpty() ? QString() : resolvedPath(folder);
    QMutexLocker lock(&m_mutex);
    m_siteFolder = resolved;
}

bool SiteRequestFilter::allows(const QUrl& url) const
{
    if (!url.isLocalFile())
        return true;
    const QString path = resolvedPath(url.toLocalFile());
    QMutexLocker lock(&m_mutex);
    return isInside(path, m_pageFolder) || isInside(path, m_siteFolder);
}

void SiteRequestFilter::interceptRequest(QWebEngineUrlRequestInfo& info)
{
    if (!allows(info.requestUrl()))
        info.block(true);
}

} // namespace gui
