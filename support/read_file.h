#pragma once

#include "support/unique_fd.h"

#include <QtGlobal>

#include <filesystem>

namespace support {

// A file opened for reading by its path's own bytes and read with plain system calls: no stream
// buffer and no locale, for code that reads many files, or large ones, in pieces of its own size.
class ReadFile final
{
public:
    explicit ReadFile(const std::filesystem::path& path);

    // When the file could not be opened: errno's number for why.
    bool isOpen() const { return m_fd.valid(); }
    int openError() const { return m_openError; }

    // Reads up to size bytes from the current place, or from offset when it is not negative (the
    // current place then stays), as many as there are before the end. Returns how many it read,
    // or -1 with errno set.
    qint64 read(char* buffer, qint64 size, qint64 offset = -1);

private:
    UniqueFd m_fd;
    int m_openError = 0;
};

} // namespace support
