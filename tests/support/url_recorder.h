#pragma once

#include <QList>
#include <QObject>
#include <QUrl>

namespace testsupport {

// Records what the desktop was asked to open instead of starting a browser: install it with
// QDesktopServices::setUrlHandler(scheme, &recorder, "open").
class UrlRecorder final : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened << url; }
};

} // namespace testsupport
