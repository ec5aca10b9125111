#pragma once

#include <QMutex>
#include <QString>
#include <QStringList>
#include <QWebEngineUrlRequestInterceptor>

namespace gui {

// Lets a loaded page read the files of its own site but nothing else on the disk: file: requests
// outside the allowed folder trees are blocked; other schemes (remote style sheets, images) pass.
class SiteRequestFilter final : public QWebEngineUrlRequestInterceptor
{
    Q_OBJECT
public:
    explicit SiteRequestFilter(QObject* parent = nullptr);

    // The folder of the page being loaded; its whole tree is allowed.
    void setPageFolder(const QString& folder);
    // One more allowed tree (the working folder); empty for none.
    void setSiteFolder(const QString& folder);

    bool allows(const QUrl& url) const;
    void interceptRequest(QWebEngineUrlRequestInfo& info) override;

private:
    mutable QMutex m_mutex;
    QString m_pageFolder;
    QString m_siteFolder;
};

} // namespace gui
