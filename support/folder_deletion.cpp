#include "support/folder_deletion.h"

#include "support/io_error.h"

#include <QDir>

#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace support {
namespace {

QString cannotDelete(const QString& path, const QString& reason)
{
    return QStringLiteral("Cannot delete '%1': %2").arg(path, reason);
}

QString cannotDelete(const fs::path& path, const std::error_code& ec)
{
    return cannotDelete(FromFsPath(path),
                        ec ? QString::fromLocal8Bit(ec.message()) : QStringLiteral("unknown reason"));
}

// The first entry that would not go, and why; empty when the whole tree went.
QString deleteTree(const fs::path& dir)
{
    std::error_code ec;
    // Removing entries needs write and search permission on the folder itself.
    fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::directory_iterator it(dir, ec);
    if (ec)
        return cannotDelete(dir, ec);
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        const fs::file_status st = it->symlink_status(ec);
        if (ec)
            return cannotDelete(it->path(), ec);
        if (fs::is_directory(st)) {
            if (QString why = deleteTree(it->path()); !why.isEmpty())
                return why;
        } else if (!fs::remove(it->path(), ec) || ec) {
            return cannotDelete(it->path(), ec);
        }
    }
    if (ec || !fs::remove(dir, ec) || ec)
        return cannotDelete(dir, ec);
    return {};
}

QString deletion(const QString& folder)
{
    if (folder.isEmpty() || QDir::isRelativePath(folder))
        return cannotDelete(folder, QStringLiteral("it is not a full path."));
    const fs::path path = ToFsPath(QDir::cleanPath(folder));
    if (path == path.root_path())
        return cannotDelete(folder, QStringLiteral("it is the top of the file system."));
    std::error_code ec;
    const fs::file_status st = fs::symlink_status(path, ec);
    if (ec)
        return cannotDelete(path, ec);
    if (!fs::is_directory(st))
        return cannotDelete(folder, QStringLiteral("it is not a folder."));
    return deleteTree(path);
}

} // namespace

bool DeleteFolder(const QString& folder, QString* why)
{
    const QString problem = deletion(folder);
    if (why)
        *why = problem;
    return problem.isEmpty();
}

} // namespace support
