#pragma once

#include <QtGlobal>

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <unistd.h>
#endif

namespace support {

// An open file descriptor that is closed when it goes out of scope, on every way out of a
// function, so that a failure never leaves one open.
class UniqueFd final
{
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : m_fd(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : m_fd(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept
    {
        reset(other.release());
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { reset(); }

    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }

    // Hands the descriptor over to whatever closes it from now on.
    int release()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }

    // Closes the descriptor held (ignoring how the close went) and takes fd instead.
    void reset(int fd = -1)
    {
        if (m_fd >= 0)
            closeFd(m_fd);
        m_fd = fd;
    }

    // Closes now and says whether the close went well: a written file's last error may show only
    // here. errno tells why when it did not.
    bool close()
    {
        const int fd = release();
        return fd < 0 || closeFd(fd) == 0;
    }

private:
    static int closeFd(int fd)
    {
#ifdef Q_OS_WIN
        return ::_close(fd);
#else
        return ::close(fd);
#endif
    }

    int m_fd = -1;
};

} // namespace support
