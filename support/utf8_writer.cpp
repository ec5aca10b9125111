#include "support/utf8_writer.h"

#include "support/io_error.h"

#include <cerrno>

namespace support {
namespace {

IoError writeError(const QFile& file, int err)
{
    const int number = err != 0 ? ErrorNumberForErrno(err) : kPathFileAccess;
    return IoError(number, QStringLiteral("Cannot write '%1': %2").arg(file.fileName(), file.errorString()));
}

} // namespace

std::unique_ptr<QFile> OpenFileAtEnd(const QString& path)
{
    auto file = std::make_unique<QFile>(path);
    errno = 0;
    if (!file->open(QIODevice::WriteOnly | QIODevice::Append))
        throw writeError(*file, errno);
    return file;
}

void WriteUtf8Text(QFile& file, const QString& text, bool addLineBreak)
{
    QByteArray bytes = text.toUtf8();
    if (addLineBreak)
        bytes.append("\r\n", 2);
    if (bytes.isEmpty())
        return;
    errno = 0;
    if (file.write(bytes) != bytes.size())
        throw writeError(file, errno);
}

void CloseFile(QFile& file)
{
    errno = 0;
    const bool flushed = file.flush();
    const int err = errno;
    file.close();
    if (!flushed || file.error() != QFileDevice::NoError)
        throw writeError(file, err);
}

} // namespace support
