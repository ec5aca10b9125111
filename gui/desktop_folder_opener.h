#pragma once

#include "workspace/folder_opener.h"

namespace gui {

// Opens folders and addresses with the desktop's own programs, without waiting for them.
class DesktopFolderOpener final : public workspace::FolderOpener
{
public:
    bool openFolder(const QString& folder) override;
    bool openLink(const QUrl& url) override;
};

} // namespace gui
