#pragma once

#include <QString>

namespace workspace {

// Shows a folder to the user in the desktop's file manager; tests record the request instead.
class FolderOpener
{
public:
    virtual ~FolderOpener() = default;
    virtual void openFolder(const QString& folder) = 0;
};

} // namespace workspace
