#pragma once

#include <QString>
#include <QStringList>

namespace workspace {

// The names of the .htm/.html files directly inside folder (case-insensitive extensions), in
// name order; subfolders, hidden files and names of other kinds are left out. Empty when the
// folder does not exist.
QStringList ListPages(const QString& folder);

} // namespace workspace
