#pragma once

#include <QString>
#include <QUrl>

namespace workspace {

// Hands a folder to the desktop's file manager and an address to its browser (or mail program),
// without waiting for them; tests record the requests instead.
class FolderOpener
{
public:
    virtual ~FolderOpener() = default;
    // False when no file manager could be started.
    virtual bool openFolder(const QString& folder) = 0;
    // False when no program for the address could be started.
    virtual bool openLink(const QUrl& url) = 0;
};

} // namespace workspace
