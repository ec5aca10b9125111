#pragma once

#include <QString>
#include <QStringList>

namespace builder {

// Appends every file below folder to list as a "/"-separated path relative to base, depth first:
// a subfolder's files come where the subfolder stands among its parent's entries, which are taken
// in byte order of their names. Hidden entries (names starting with ".") are left out; symbolic
// links count only as the site copy counts them. Throws support::IoError when a folder cannot be
// listed.
void RecurseFiles(const QString& folder, const QString& base, QStringList& list);

// A fresh list of the files of the site folder.
QStringList ListWorkingFolderFiles(const QString& siteFolder);

} // namespace builder
