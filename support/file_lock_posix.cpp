#include "support/file_lock.h"

#include "support/unique_fd.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

namespace support {

struct FileLock::Handle
{
    UniqueFd fd;
};

FileLock::FileLock() = default;
FileLock::~FileLock() = default;
FileLock::FileLock(FileLock&& other) noexcept = default;
FileLock& FileLock::operator=(FileLock&& other) noexcept = default;

bool FileLock::held() const
{
    return m_handle && m_handle->fd.valid();
}

FileLock::Outcome FileLock::tryLock(const QString& path)
{
    m_handle.reset();
    m_error = 0;
    const QByteArray name = QFile::encodeName(path);
    UniqueFd fd(::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!fd.valid()) {
        m_error = errno;
        return m_error == ENOENT ? Outcome::Gone : Outcome::Failed;
    }
    // flock: held by the open file, so it goes with the last descriptor, however the process ends.
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        m_error = errno;
        return m_error == EWOULDBLOCK ? Outcome::HeldElsewhere : Outcome::Failed;
    }
    // A folder swept away between the open and the lock leaves a lock on a file that is gone.
    struct stat locked
    {
    };
    struct stat named
    {
    };
    if (::fstat(fd.get(), &locked) != 0 || ::lstat(name.constData(), &named) != 0 ||
        locked.st_dev != named.st_dev || locked.st_ino != named.st_ino) {
        m_error = ENOENT;
        return Outcome::Gone;
    }
    m_handle = std::make_unique<Handle>(Handle{std::move(fd)});
    return Outcome::Locked;
}

} // namespace support
