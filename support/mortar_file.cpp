#include "support/mortar_file.h"

#include "support/io_error.h"
#include "support/paths.h"
#include "support/text_codec.h"
#include "support/unique_fd.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSaveFile>

#include <cerrno>
#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif
#ifdef __linux__
#include <linux/fs.h>
#include <sys/ioctl.h>
#endif
#include <filesystem>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace support {
namespace {

#ifdef Q_OS_UNIX
// A plain read/write loop, so that a failure carries the system's own reason (a full disk says
// so) and the side it happened on; a write error names target, the file being made.
void copyBytes(const fs::path& from, const fs::path& to, const fs::path& target)
{
    const auto readError = [&](int err) {
        return IoError::fromErrno(err, QStringLiteral("Cannot read"), FromFsPath(from));
    };
    const auto writeError = [&](int err) {
        return IoError::fromErrno(err, QStringLiteral("Cannot write"), FromFsPath(target));
    };
    const UniqueFd in(::open(from.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!in.valid())
        throw readError(errno);
    struct stat st
    {
    };
    if (::fstat(in.get(), &st) != 0)
        throw readError(errno);
    if (!S_ISREG(st.st_mode)) {
        throw IoError(kPathFileAccess,
                      QStringLiteral("Cannot read '%1': it is not a regular file (a pipe, socket or "
                                     "device).")
                          .arg(FromFsPath(from)));
    }
    UniqueFd out(::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, (st.st_mode & 0777) | S_IWUSR));
    if (!out.valid())
        throw writeError(errno);
    // One buffer per thread for every file: zeroing a fresh megabyte per file cost more than
    // copying a typical small site file.
    thread_local std::vector<char> buffer(1 << 20);
    for (;;) {
        const ssize_t got = ::read(in.get(), buffer.data(), buffer.size());
        if (got == 0)
            break;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            throw readError(errno);
        }
        for (ssize_t done = 0; done < got;) {
            const ssize_t put = ::write(out.get(), buffer.data() + done, size_t(got - done));
            if (put < 0 && errno == EINTR)
                continue;
            if (put <= 0)
                throw writeError(put < 0 ? errno : ENOSPC);
            done += put;
        }
    }
    if (!out.close())
        throw writeError(errno);
}
#else
void copyBytes(const fs::path& from, const fs::path& to, const fs::path& target)
{
    std::error_code ec;
    fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
    if (ec) {
        const QFileInfo source(FromFsPath(from));
        const bool sourceFailed = !source.exists() || !source.isReadable();
        throw IoError::fromErrorCode(
            ec, sourceFailed ? QStringLiteral("Cannot read") : QStringLiteral("Cannot write"),
            FromFsPath(sourceFailed ? from : target));
    }
}
#endif

fs::path partName(const fs::path& to)
{
    fs::path tmp = to;
    tmp.replace_filename(".vantor-" + std::to_string(QRandomGenerator::global()->generate64()) + ".part");
    return tmp;
}

// Puts tmp in to's place, or removes it and throws.
void renameOver(const fs::path& tmp, const fs::path& to)
{
    std::error_code ec;
    fs::rename(tmp, to, ec);
    if (ec) {
        std::error_code ignore;
        fs::remove(tmp, ignore);
        throw IoError::fromErrorCode(ec, QStringLiteral("Cannot write"), FromFsPath(to));
    }
}

#ifdef Q_OS_UNIX
// A second name for the file's data, or false where the file systems do not allow one here (the
// staged folder on another file system, a file the user may not link): then a clone or a copy.
bool hardLink(const fs::path& from, const fs::path& to, bool& worthTrying)
{
    const fs::path tmp = partName(to);
    if (::link(from.c_str(), tmp.c_str()) != 0) {
        // Across file systems no file will link; a single refusal says nothing of the others.
        if (errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP)
            worthTrying = false;
        return false;
    }
    struct stat st
    {
    };
    if (::lstat(tmp.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        ::unlink(tmp.c_str());
        throw IoError(kPathFileAccess,
                      QStringLiteral("Cannot read '%1': it is not a regular file (a pipe, socket or device).")
                          .arg(FromFsPath(from)));
    }
    renameOver(tmp, to);
    return true;
}
#endif

#ifdef __linux__
// A copy-on-write clone: the data is shared until either side is written.
bool clone(const fs::path& from, const fs::path& to, bool& worthTrying)
{
    UniqueFd in(::open(from.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!in.valid())
        return false;
    struct stat st
    {
    };
    if (::fstat(in.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    const fs::path tmp = partName(to);
    UniqueFd out(::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, (st.st_mode & 0777) | S_IWUSR));
    if (!out.valid())
        return false;
    const bool cloned = ::ioctl(out.get(), FICLONE, in.get()) == 0;
    if (!cloned &&
        (errno == EOPNOTSUPP || errno == EXDEV || errno == EINVAL || errno == ENOTTY || errno == ENOSYS))
        worthTrying = false;
    in.reset();
    if (!out.close() || !cloned) {
        ::unlink(tmp.c_str());
        return false;
    }
    renameOver(tmp, to);
    return true;
}
#endif

// Copies through a temporary name beside the target, so the target is replaced whole or not at all.
void copyOneFile(const fs::path& from, const fs::path& to)
{
    const fs::path tmp = partName(to);
    try {
        copyBytes(from, tmp, to);
    } catch (const IoError&) {
        std::error_code ignore;
        fs::remove(tmp, ignore);
        throw;
    }
    std::error_code ec;
    // The copy is ours to edit, whatever the original's mode.
    fs::permissions(tmp, fs::perms::owner_write, fs::perm_options::add, ec);
    fs::rename(tmp, to, ec);
    if (ec) {
        std::error_code ignore;
        fs::remove(tmp, ignore);
        throw IoError::fromErrorCode(ec, QStringLiteral("Cannot write"), FromFsPath(to));
    }
}

using PlaceFile = std::function<void(const fs::path& from, const fs::path& to)>;

void copyTree(const fs::path& root, const fs::path& from, const fs::path& to, const QString& rel,
              QStringList& warnings, const std::function<void()>& beforeEachFile, const PlaceFile& place)
{
    std::error_code ec;
    fs::create_directories(to, ec);
    if (ec)
        throw IoError::fromErrorCode(ec, QStringLiteral("Cannot create the folder"), FromFsPath(to));

    fs::directory_iterator it(from, ec);
    if (ec)
        throw IoError::fromErrorCode(ec, QStringLiteral("Cannot list the folder"), FromFsPath(from));
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        const fs::path name = it->path().filename();
        const QString relName = rel.isEmpty() ? FromFsPath(name) : rel + QLatin1Char('/') + FromFsPath(name);
        QString why;
        switch (ClassifyEntry(root, *it, &why)) {
        case EntryKind::Folder:
            copyTree(root, it->path(), to / name, relName, warnings, beforeEachFile, place);
            break;
        case EntryKind::File:
            if (beforeEachFile)
                beforeEachFile();
            place(it->is_symlink() ? fs::canonical(it->path()) : it->path(), to / name);
            break;
        case EntryKind::Skipped:
            warnings << QStringLiteral("Skipped '%1': %2").arg(relName, why);
            break;
        }
    }
    if (ec)
        throw IoError::fromErrorCode(ec, QStringLiteral("Cannot list the folder"), FromFsPath(from));
}

// The folder a copy reads from, as the links inside it are compared against; throws when there
// is no such folder.
fs::path sourceRoot(const QString& source)
{
    std::error_code ec;
    fs::path root = fs::canonical(ToFsPath(source), ec);
    if (ec || !fs::is_directory(root, ec))
        throw IoError(kPathNotFound, QStringLiteral("The folder '%1' does not exist.").arg(source));
    return root;
}

IoError fileError(const QFileDevice& file, int err, const QString& what, const QString& path)
{
    const int number = err != 0 ? ErrorNumberForErrno(err) : kPathFileAccess;
    return IoError(number, QStringLiteral("%1 '%2': %3").arg(what, path, file.errorString()));
}

} // namespace

EntryKind ClassifyEntry(const fs::path& root, const fs::directory_entry& entry, QString* why)
{
    std::error_code ec;
    const fs::file_status st = entry.symlink_status(ec);
    if (ec)
        throw IoError::fromErrorCode(ec, QStringLiteral("Cannot read"), FromFsPath(entry.path()));
    if (fs::is_directory(st))
        return EntryKind::Folder;
    if (fs::is_regular_file(st))
        return EntryKind::File;
    QString reason = QStringLiteral("it is not a regular file.");
    if (fs::is_symlink(st)) {
        const fs::path target = fs::canonical(entry.path(), ec);
        if (ec)
            reason = QStringLiteral("it is a broken symbolic link.");
        else if (!IsSameOrInside(target, root))
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

QStringList MortarFile::CopyFolder(const QString& source, const QString& destination,
                                   const std::function<void()>& beforeEachFile)
{
    const fs::path root = sourceRoot(source);
    QStringList warnings;
    copyTree(root, root, ToFsPath(destination), QString(), warnings, beforeEachFile, copyOneFile);
    return warnings;
}

QString StagedFolder::methods() const
{
    QStringList used;
    if (hardLinks > 0)
        used << QStringLiteral("%1 by hard link").arg(hardLinks);
    if (clones > 0)
        used << QStringLiteral("%1 by copy-on-write clone").arg(clones);
    if (copies > 0)
        used << QStringLiteral("%1 by copying").arg(copies);
    return used.isEmpty() ? QStringLiteral("no files") : used.join(QStringLiteral(", "));
}

namespace {

// Puts one file in place the cheapest way that worked so far, counting the ways.
class FilePlacer
{
public:
    explicit FilePlacer(StagedFolder& staged) : m_staged(staged) {}

    void operator()(const fs::path& from, const fs::path& to)
    {
#ifdef Q_OS_UNIX
        if (m_linking && hardLink(from, to, m_linking)) {
            ++m_staged.hardLinks;
            return;
        }
#endif
#ifdef __linux__
        if (m_cloning && clone(from, to, m_cloning)) {
            ++m_staged.clones;
            return;
        }
#endif
        copyOneFile(from, to);
        ++m_staged.copies;
    }

private:
    StagedFolder& m_staged;
    bool m_linking = true;
    bool m_cloning = true;
};

} // namespace

StagedFolder MortarFile::StageFolder(const QString& source, const QString& destination,
                                     const std::function<void()>& beforeEachFile)
{
    const fs::path root = sourceRoot(source);
    StagedFolder staged;
    FilePlacer placer(staged);
    copyTree(root, root, ToFsPath(destination), QString(), staged.warnings, beforeEachFile, std::ref(placer));
    return staged;
}

StagedFolder MortarFile::StageFiles(const QString& source, const QString& destination,
                                    const std::vector<std::filesystem::path>& files,
                                    const std::function<void()>& beforeEachFile)
{
    const fs::path root = sourceRoot(source);
    const fs::path to = ToFsPath(destination);
    StagedFolder staged;
    FilePlacer placer(staged);
    std::error_code ec;
    fs::create_directories(to, ec);
    if (ec)
        throw IoError::fromErrorCode(ec, QStringLiteral("Cannot create the folder"), destination);
    fs::path madeFolder;
    for (const fs::path& file : files) {
        if (beforeEachFile)
            beforeEachFile();
        const fs::path target = to / file;
        if (file.has_parent_path() && file.parent_path() != madeFolder) {
            fs::create_directories(target.parent_path(), ec);
            if (ec)
                throw IoError::fromErrorCode(ec, QStringLiteral("Cannot create the folder"),
                                             FromFsPath(target.parent_path()));
            madeFolder = file.parent_path();
        }
        const fs::path from = root / file;
        placer(fs::is_symlink(from, ec) ? fs::canonical(from) : from, target);
    }
    return staged;
}

QByteArray MortarFile::ReadBinaryFile(const QString& path)
{
    QFile file(path);
#ifdef Q_OS_UNIX
    // Opened without waiting and checked on the open handle: a FIFO or a device put where a file
    // was expected would otherwise block the read for good.
    UniqueFd fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.valid())
        throw IoError::fromErrno(errno, QStringLiteral("Cannot read"), path);
    struct stat st
    {
    };
    if (::fstat(fd.get(), &st) != 0)
        throw IoError::fromErrno(errno, QStringLiteral("Cannot read"), path);
    if (!S_ISREG(st.st_mode)) {
        if (S_ISDIR(st.st_mode))
            throw IoError::fromErrno(EISDIR, QStringLiteral("Cannot read"), path);
        throw IoError(kPathFileAccess,
                      QStringLiteral("Cannot read '%1': it is not a regular file (a pipe, socket or device).")
                          .arg(path));
    }
    ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);
    if (!file.open(fd.get(), QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        throw fileError(file, 0, QStringLiteral("Cannot read"), path);
    fd.release(); // the file closes it from here
#else
    if (QFileInfo(path).isDir())
        throw IoError::fromErrno(EISDIR, QStringLiteral("Cannot read"), path);
    errno = 0;
    if (!file.open(QIODevice::ReadOnly))
        throw fileError(file, errno, QStringLiteral("Cannot read"), path);
#endif
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
