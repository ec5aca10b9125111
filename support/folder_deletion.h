#pragma once

#include <QString>

namespace support {

// Deletes the folder with everything in it, hidden entries included; read-only entries are made
// writable first. Symbolic links are removed, never followed. Returns false at the first step
// that fails (what was deleted before stays deleted), and false without touching anything for
// an empty or relative path, a file system root or a folder that does not exist. On failure *why
// (when given) names the entry that would not go and the system's reason:
// "Cannot delete '<path>': <reason>".
bool DeleteFolder(const QString& folder, QString* why = nullptr);

} // namespace support
