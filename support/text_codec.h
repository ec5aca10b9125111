#pragma once

#include <QByteArray>
#include <QString>

namespace support {

// How the bytes of a text file were read.
enum class TextEncoding
{
    Utf8,        // valid UTF-8 (plain ASCII included), no byte-order mark
    Utf8Bom,     // UTF-8 after a byte-order mark
    Utf16LE,     // after a little-endian byte-order mark
    Utf16BE,     // after a big-endian byte-order mark
    Windows1252, // some bytes were not UTF-8 and were read as Windows-1252
};

struct DecodedText
{
    QString text;
    TextEncoding encoding = TextEncoding::Utf8;
};

// Bytes become text here and nowhere else: a byte-order mark wins (and is dropped); otherwise
// valid UTF-8 is UTF-8; each sequence that is not valid UTF-8 is read byte by byte as
// Windows-1252, so a mostly UTF-8 page with a stray 0x96 keeps both.
DecodedText DecodeText(const QByteArray& bytes);

// The Windows-1252 bytes of a text; *ok turns false when a character has no Windows-1252 byte
// (it is written as '?').
QByteArray EncodeWindows1252(const QString& text, bool* ok);

} // namespace support
