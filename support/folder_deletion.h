#pragma once

#include <QString>

namespace support {

// Deletes the folder with everything in it, hidden entries included; read-only entries are made
// writable first. Symbolic links are removed, never followed. Returns false at the first step
// that fails (what was deleted before stays deleted), and false without touching anything for
// an empty or relative path, a file system root or a folder that does not exist.
bool DeleteFolder(const QString& folder);

} // namespace support
