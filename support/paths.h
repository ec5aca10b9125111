#pragma once

#include <QString>

#include <filesystem>

namespace support {

// The path as the file system resolves it: absolute, symbolic links followed, "." and ".." gone,
// no trailing separator. Of a path that does not exist (or not yet), the part that exists is
// resolved so and the rest cleaned. An empty path stays empty.
QString ResolvedPath(const QString& path);

// True when inner is the same as outer or lies inside it. Both are resolved as ResolvedPath does
// and then compared name by name, case and all, so /a/bc is not inside /a/b and a link inside a
// folder that points out of it is not inside it. An empty path is inside nothing and holds nothing.
bool IsSameOrInside(const QString& inner, const QString& outer);
bool IsSameOrInside(const std::filesystem::path& inner, const std::filesystem::path& outer);

} // namespace support
