#pragma once

#include "workspace/folder_opener.h"

namespace gui {

// Opens a folder in the desktop's file manager, without waiting for it.
class DesktopFolderOpener final : public workspace::FolderOpener
{
public:
    void openFolder(const QString& folder) override;
};

} // namespace gui
