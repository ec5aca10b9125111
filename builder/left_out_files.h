#pragma once

#include <QString>
#include <QStringView>

namespace builder {

// Entries of a site folder that never go into the plugin: a web server would run or obey them, or
// they hold secrets, or they are what editors and upload tools leave behind.
enum class LeftOutKind
{
    None,
    ServerFile, // a script or server configuration: inside the plugin it would run on the owner's server
    Secret,     // keys, environment files, version control
    Litter,     // editor backups, file manager and upload tool files
};

// What kind of entry name is (a file's or folder's own name, not its path), letter case ignored.
LeftOutKind LeftOutKindOf(QStringView name, bool folder);

// Why an entry of this kind is left out, as the end of a sentence: "a web server would run it".
QString LeftOutReason(LeftOutKind kind);

} // namespace builder
