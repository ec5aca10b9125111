#include "support/io_error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

namespace support {

IoError::IoError(int number, const QString& description)
    : std::runtime_error(description.toStdString()), m_number(number), m_description(description)
{
}

int ErrorNumberForErrno(int err)
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
    return IoError(ErrorNumberForErrno(err),
                   QStringLiteral("%1 '%2': %3").arg(what, path, QString::fromLocal8Bit(std::strerror(err))));
}

IoError IoError::fromErrorCode(const std::error_code& ec, const QString& what, const QString& path)
{
    const int err = ec.category() == std::generic_category() || ec.category() == std::system_category()
                        ? ec.value()
                        : EIO;
    return fromErrno(err, what, path);
}

std::filesystem::path ToFsPath(const QString& path)
{
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

QString FromFsPath(const std::filesystem::path& path)
{
    return QFile::decodeName(QByteArray::fromStdString(path.native()));
}

bool NameNotUtf8(const QString& path)
{
#ifdef Q_OS_WIN
    Q_UNUSED(path);
    return false; // names are UTF-16 there, and every one has its text
#else
    if (!path.contains(QChar::ReplacementCharacter))
        return false;
    namespace fs = std::filesystem;
    const QString absolute = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    fs::path at(QFile::encodeName(QDir::rootPath()).toStdString());
    std::error_code ec;
    for (const QString& part : absolute.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        fs::path next = at / QFile::encodeName(part).toStdString();
        if (fs::exists(fs::symlink_status(next, ec))) {
            at = std::move(next);
            continue;
        }
        if (!part.contains(QChar::ReplacementCharacter))
            return false;
        // The part is missing as written: look for the name on disk that reads as it.
        for (auto it = fs::directory_iterator(at, ec); !ec && it != fs::directory_iterator();
             it.increment(ec)) {
            const QByteArray raw = QByteArray::fromStdString(it->path().filename().native());
            if (QString::fromUtf8(raw).toUtf8() != raw && QFile::decodeName(raw) == part)
                return true;
        }
        return false;
    }
    return false;
#endif
}

} // namespace support
