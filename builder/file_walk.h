#pragma once

#include "builder/left_out_files.h"

#include <QSet>
#include <QString>
#include <QStringList>

#include <filesystem>
#include <vector>

namespace builder {

// Appends every file below folder to list as a "/"-separated path relative to base, depth first:
// a subfolder's files come where the subfolder stands among its parent's entries, which are taken
// in byte order of their names. Hidden entries (names starting with ".") are left out; symbolic
// links count only as the site copy counts them. Throws support::IoError when a folder cannot be
// listed.
void RecurseFiles(const QString& folder, const QString& base, QStringList& list);

// A fresh list of the files of the site folder.
QStringList ListWorkingFolderFiles(const QString& siteFolder);

// An entry of the site folder that does not go into the plugin.
struct LeftOutEntry
{
    QString path; // relative to the site's top; a folder's ends with "/"
    LeftOutKind kind = LeftOutKind::None;
};

// What of a site folder goes into the plugin.
struct SiteListing
{
    QStringList files;                        // relative paths, in the order RecurseFiles takes them
    std::vector<std::filesystem::path> paths; // the same files as the file system names them
    std::vector<LeftOutEntry> leftOut;        // in walk order; a left-out folder is one entry
    QStringList warnings;                     // entries skipped as the site copy skips them
};

// The files of the site folder that ship, hidden ones included, and those left out by
// LeftOutKindOf. shipAnyway holds paths of left-out files that ship all the same.
SiteListing ListSiteFiles(const QString& siteFolder, const QSet<QString>& shipAnyway = {});

} // namespace builder
