#include "gui/desktop_folder_opener.h"

#include <QDesktopServices>
#include <QUrl>

namespace gui {

bool DesktopFolderOpener::openFolder(const QString& folder)
{
    return QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

bool DesktopFolderOpener::openLink(const QUrl& url)
{
    return QDesktopServices::openUrl(url);
}

} // namespace gui
