#include "support/read_file.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace support {

ReadFile::ReadFile(const std::filesystem::path& path)
    : m_fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY))
{
    if (!m_fd.valid())
        m_openError = errno;
}

qint64 ReadFile::read(char* buffer, qint64 size, qint64 offset)
{
    qint64 done = 0;
    while (done < size) {
        const ssize_t n =
            offset < 0 ? ::read(m_fd.get(), buffer + done, std::size_t(size - done))
                       : ::pread(m_fd.get(), buffer + done, std::size_t(size - done), off_t(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        done += n;
    }
    return done;
}

} // namespace support
