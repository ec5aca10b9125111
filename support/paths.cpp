#include "support/paths.h"

#include "support/io_error.h"

#include <system_error>

namespace fs = std::filesystem;

namespace support {
namespace {

// Names on disk are bytes, so the comparison works on native paths: two names that are not
// UTF-8 never meet as the same replacement characters.
fs::path resolve(const fs::path& path)
{
    std::error_code ec;
    fs::path absolute = fs::absolute(path, ec);
    if (ec)
        absolute = path;
    // The part that exists with its links followed, the rest cleaned: a folder not made yet lies
    // where the folder that will hold it really is.
    fs::path resolved = fs::weakly_canonical(absolute, ec);
    if (ec)
        resolved = absolute.lexically_normal();
    // "/a/b/" ends in an empty name; the folder is "/a/b".
    if (resolved.filename().empty() && resolved.has_relative_path())
        resolved = resolved.parent_path();
    return resolved;
}

} // namespace

QString ResolvedPath(const QString& path)
{
    if (path.isEmpty())
        return {};
    return FromFsPath(resolve(ToFsPath(path)));
}

bool IsSameOrInside(const fs::path& inner, const fs::path& outer)
{
    if (inner.empty() || outer.empty())
        return false;
    const fs::path in = resolve(inner);
    const fs::path out = resolve(outer);
    auto name = in.begin();
    for (const fs::path& part : out) {
        if (name == in.end() || *name != part)
            return false;
        ++name;
    }
    return true;
}

bool IsSameOrInside(const QString& inner, const QString& outer)
{
    if (inner.isEmpty() || outer.isEmpty())
        return false;
    return IsSameOrInside(ToFsPath(inner), ToFsPath(outer));
}

} // namespace support
