#include "gui/desktop_folder_opener.h"

#include <QDesktopServices>
#include <QUrl>

namespace gui {

void DesktopFolderOpener::openFolder(const QString& folder)
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

} // namespace gui
