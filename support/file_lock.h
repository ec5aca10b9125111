#pragma once

#include <QString>

#include <memory>

namespace support {

// An exclusive lock on a file that the system lets go of however its holder ends, killed or
// crashed included, so that a lock found held means its holder is alive. Held for the object's
// life. One implementation per system family (file_lock_posix.cpp).
class FileLock final
{
public:
    enum class Outcome
    {
        Locked,        // this object holds the lock now
        HeldElsewhere, // another holder, here or in another process, has it
        Gone,          // the file or its folder was taken away before or while locking
        Failed,        // error() says why
    };

    FileLock();
    ~FileLock();
    FileLock(FileLock&& other) noexcept;
    FileLock& operator=(FileLock&& other) noexcept;
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // Opens the file at path, making it (readable by its owner only) when missing, and locks it
    // without waiting. A lock held before is let go first.
    Outcome tryLock(const QString& path);
    bool held() const;
    // Why the last tryLock() failed, as an errno value (support::IoError::fromErrno words it).
    int error() const { return m_error; }

private:
    struct Handle;
    std::unique_ptr<Handle> m_handle;
    int m_error = 0;
};

} // namespace support
