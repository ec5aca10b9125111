#pragma once

#include "workspace/folder_opener.h"

#include <QList>
#include <QStringList>
#include <QUrl>

namespace testsupport {

// Records the folders and addresses handed to the desktop instead of opening them.
class RecordingOpener final : public workspace::FolderOpener
{
public:
    bool openFolder(const QString& folder) override
    {
        opened << folder;
        return !fails;
    }
    bool openLink(const QUrl& url) override
    {
        links << url;
        return !fails;
    }

    QStringList opened;
    QList<QUrl> links;
    bool fails = false; // as where no file manager or browser can be started
};

} // namespace testsupport
