#pragma once

#include "workspace/folder_opener.h"

#include <QProcessEnvironment>
#include <QStringList>

#include <functional>

namespace gui {

// Runs a program with its arguments and gives what it printed; empty when it could not run or
// failed.
using ProgramOutput = std::function<QString(const QString& program, const QStringList& arguments)>;

// Whether the desktop has a program that shows a folder. The launcher hands a folder on and
// reports success before its handler is looked for, so the answer is sought first: a desktop
// session has its own file manager; elsewhere the launcher needs a default for folders or a
// browser to fall back on.
bool FolderHandlerExists(const QProcessEnvironment& env, const ProgramOutput& run);

// Opens folders and addresses with the desktop's own programs, without waiting for them.
class DesktopFolderOpener final : public workspace::FolderOpener
{
public:
    bool openFolder(const QString& folder) override;
    bool openLink(const QUrl& url) override;
};

} // namespace gui
