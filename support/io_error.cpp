#include "support/io_error.h"

#include <QFile>

#include <cerrno>
#include <cstring>

namespace support {

IoError::IoError(int number, const QString& description)
    : std::runtime_error(description.toStdString()), m_number(number), m_description(description)
{
}

int errorNumberForErrno(int err)
{
    switch (err) {
    case ENOENT:
        return kFileNotFound;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return kDiskFull;
    case EACCES:
    case EPERM:
    case EROFS:
        return kPermissionDenied;
    case ENOTDIR:
        return kPathNotFound;
    default:
        return kPathFileAccess;
    }
}

IoError IoError::fromErrno(int err, const QString& what, const QString& path)
{
    return IoError(errorNumberForErrno(err),
                   QStringLiteral("%1 '%2': %3").arg(what, path, QString::fromLocal8Bit(std::strerror(err))));
}

IoError IoError::fromErrorCode(const std::error_code& ec, const QString& what, const QString& path)
{
    const int err = ec.category() == std::generic_category() || ec.category() == std::system_category()
                        ? ec.value()
                        : EIO;
    return fromErrno(err, what, path);
}

std::filesystem::path toFsPath(const QString& path)
{
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

QString fromFsPath(const std::filesystem::path& path)
{
    return QFile::decodeName(QByteArray::fromStdString(path.native()));
}

} // namespace support
