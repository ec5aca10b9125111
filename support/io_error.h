#pragma once

#include <QString>

#include <filesystem>
#include <stdexcept>
#include <system_error>

namespace support {

// Error numbers follow the classic file-error numbering the users' reports have always shown.
enum ErrorNumber : int
{
    kFileNotFound = 53,
    kDiskFull = 61,
    kPermissionDenied = 70,
    kPathFileAccess = 75,
    kPathNotFound = 76,
};

// A failed file or text operation: a number for the report and a description that names the
// file and the reason.
class IoError final : public std::runtime_error
{
public:
    IoError(int number, const QString& description);

    int number() const { return m_number; }
    const QString& description() const { return m_description; }

    // "<what> '<path>': <reason>", numbered after the system error behind it.
    static IoError fromErrno(int err, const QString& what, const QString& path);
    static IoError fromErrorCode(const std::error_code& ec, const QString& what, const QString& path);

private:
    int m_number;
    QString m_description;
};

int ErrorNumberForErrno(int err);

// Native path of a QString path, and back; file names travel as bytes on Linux.
std::filesystem::path ToFsPath(const QString& path);
QString FromFsPath(const std::filesystem::path& path);

// True when the path names nothing because a name along it is not valid UTF-8 on disk: such a
// name reaches a QString with U+FFFD for its bad bytes and can never be opened by that text.
bool NameNotUtf8(const QString& path);

} // namespace support
