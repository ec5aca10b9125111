#pragma once

#include <QFile>
#include <QString>

#include <memory>

namespace support {

// Opens (creating when missing) a file for writing with the position after its last byte.
// Throws IoError when it cannot be opened.
std::unique_ptr<QFile> OpenFileAtEnd(const QString& path);

// Appends the text as UTF-8 (no byte-order mark, nothing else), followed by CR LF only when asked.
// An empty text without a line break writes nothing. Throws IoError when the write fails.
void WriteUtf8Text(QFile& file, const QString& text, bool addLineBreak);

// Closes a file opened by OpenFileAtEnd; throws IoError when the last bytes could not be written.
void CloseFile(QFile& file);

} // namespace support
