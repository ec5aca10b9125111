#include "support/mortar_file.h"

#include "support/io_error.h"
#include "support/text_codec.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSaveFile>

#include <cerrno>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace support {
namespace {

bool isInside(const fs::path& root, const fs::path& p)
{
    auto r = root.begin();
    auto q = p.begin();
    for (; r != root.end(); ++r, ++q) {
        if (q == p.end() || *r != *q)
            return false;
    }
    return true;
}

// Copies through a temporary name beside the target, so the target is replaced whole or not at all.
void copyOneFile(const fs::path& from, const fs::path& to)
{
    fs::path tmp = to;
    tmp.replace_filename(".vantor-" + std::to_string(QRandomGenerator::global()->generate64()) + ".part");
    std::error_code ec;
    fs::copy_file(from, tmp, fs::copy_options::overwrite_existing, ec);
    if (ec) {
        std::error_code ignore;
        fs::remove(tmp, ignore);
        // Name the side that failed: the source when it cannot be read, else the target.
        const QFileInfo source(fromFsPath(from));
        const bool sourceFailed = !source.exists() || !source.isReadable();
        throw IoError::fromErrorCode(ec, sourceFailed ? QStringLiteral("Cannot read") : QStringLiteral("Cannot write"),
                                     fromFsPath(sourceFailed ? from : to));
    }
    // The copy is ours to edit, whatever the original's mode.
    fs::permissions(tmp, fs::perms::owner_write, fs::perm_options::add, ec);
    fs::rename(tmp, to, ec);
    if (ec) {
        std::error_code ignore;
        fs::remove(tmp, ignore);
        throw IoError::fromErrorCode(ec, QStringLiteral("Cannot write"), fromFsPath(to));
    }
}

void copyTree(const fs::path& root, const fs::path& from, const fs::path& to, const QString& rel,
              QStringList& warnings)
{
    std::error_code ec;
    fs::create_directories(to, ec);
    if (ec)
        throw IoError::fromErrorCode(ec, QStringLiteral("Cannot create the folder"), fromFsPath(to));

    fs::directory_iterator it(from, ec);
    if (ec)
        throw IoError::fromErrorCode(ec, QStringLiteral("Cannot list the folder"), fromFsPath(from));
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        const fs::path name = it->path().filename();
        const QString relName = rel.isEmpty() ? fromFsPath(name) : rel + QLatin1Char('/') + fromFsPath(name);
        QString why;
        switch (ClassifyEntry(root, *it, &why)) {
        case EntryKind::Folder:
            copyTree(root, it->path(), to / name, relName, warnings);
            break;
        case EntryKind::File:
            copyOneFile(it->is_symlink() ? fs::canonical(it->path()) : it->path(), to / name);
            break;
        case EntryKind::Skipped:
            warnings << QStringLiteral("Skipped '%1': %2").arg(relName, why);
            break;
        }
    }
    if (ec)
        throw IoError::fromErrorCode(ec, QStringLiteral("Cannot list the folder"), fromFsPath(from));
}

IoError fileError(const QFileDevice& file, int err, const QString& what, const QString& path)
{
    const int number = err != 0 ? errorNumberForErrno(err) : kPathFileAccess;
    return IoError(number, QStringLiteral("%1 '%2': %3").arg(what, path, file.errorString()));
}

} // namespace

EntryKind ClassifyEntry(const fs::path& root, const fs::directory_entry& entry, QString* why)
{
    std::error_code ec;
    const fs::file_status st = entry.symlink_status(ec);
    if (ec)
        throw IoError::fromErrorCode(ec, QStringLiteral("Cannot read"), fromFsPath(entry.path()));
    if (fs::is_directory(st))
        return EntryKind::Folder;
    if (fs::is_regular_file(st))
        return EntryKind::File;
    QString reason = QStringLiteral("it is not a regular file.");
    if (fs::is_symlink(st)) {
        const fs::path target = fs::canonical(entry.path(), ec);
        if (ec)
            reason = QStringLiteral("it is a broken symbolic link.");
        else if (!isInside(root, target))
            reason = QStringLiteral("it is a symbolic link to something outside the folder.");
        else if (fs::is_directory(target, ec))
            reason = QStringLiteral("it is a symbolic link to a folder.");
        else if (fs::is_regular_file(target, ec))
            return EntryKind::File;
    }
    if (why)
        *why = reason;
    return EntryKind::Skipped;
}

QStringList MortarFile::CopyFolder(const QString& source, const QString& destination)
{
    std::error_code ec;
    const fs::path root = fs::canonical(toFsPath(source), ec);
    if (ec || !fs::is_directory(root, ec))
        throw IoError(kPathNotFound, QStringLiteral("The folder '%1' does not exist.").arg(source));
    QStringList warnings;
    copyTree(root, root, toFsPath(destination), QString(), warnings);
    return warnings;
}

QByteArray MortarFile::ReadBinaryFile(const QString& path)
{
    if (QFileInfo(path).isDir())
        throw IoError::fromErrno(EISDIR, QStringLiteral("Cannot read"), path);
    QFile file(path);
    errno = 0;
    if (!file.open(QIODevice::ReadOnly))
        throw fileError(file, errno, QStringLiteral("Cannot read"), path);
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw fileError(file, errno, QStringLiteral("Cannot read"), path);
    return bytes;
}

QString MortarFile::ReadTextFile(const QString& path)
{
    return DecodeText(ReadBinaryFile(path)).text;
}

void MortarFile::WriteBinaryFile(const QByteArray& bytes, const QString& path)
{
    QSaveFile file(path);
    errno = 0;
    if (!file.open(QIODevice::WriteOnly))
        throw fileError(file, errno, QStringLiteral("Cannot write"), path);
    if (file.write(bytes) != bytes.size()) {
        const int err = errno;
        file.cancelWriting();
        throw fileError(file, err, QStringLiteral("Cannot write"), path);
    }
    if (!file.commit())
        throw fileError(file, errno, QStringLiteral("Cannot write"), path);
}

void MortarFile::WriteTextFile(const QString& text, const QString& path)
{
    WriteBinaryFile(text.toUtf8(), path);
}

bool MortarFile::FileExists(const QString& path)
{
    return QFileInfo(path).isFile();
}

} // namespace support
