#include "support/folder_deletion.h"

#include "support/io_error.h"

#include <QDir>

#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace support {
namespace {

bool deleteTree(const fs::path& dir)
{
    std::error_code ec;
    // Removing entries needs write and search permission on the folder itself.
    fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::directory_iterator it(dir, ec);
    if (ec)
        return false;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        const fs::file_status st = it->symlink_status(ec);
        if (ec)
            return false;
        if (fs::is_directory(st)) {
            if (!deleteTree(it->path()))
                return false;
        } else if (!fs::remove(it->path(), ec) || ec) {
            return false;
        }
    }
    if (ec)
        return false;
    return fs::remove(dir, ec) && !ec;
}

} // namespace

bool DeleteFolder(const QString& folder)
{
    if (folder.isEmpty() || QDir::isRelativePath(folder))
        return false;
    fs::path path = toFsPath(QDir::cleanPath(folder));
    if (path == path.root_path())
        return false;
    std::error_code ec;
    const fs::file_status st = fs::symlink_status(path, ec);
    if (ec || !fs::is_directory(st))
        return false;
    return deleteTree(path);
}

} // namespace support
