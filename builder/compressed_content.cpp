#include "builder/compressed_content.h"

#include <QByteArray>

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdint>

namespace builder {
namespace {

bool startsWith(QByteArrayView head, QByteArrayView magic, qsizetype at = 0)
{
    return head.size() >= at + magic.size() && head.sliced(at, magic.size()) == magic;
}

quint8 byteAt(QByteArrayView head, qsizetype i)
{
    return quint8(head[i]);
}

// An MPEG audio frame header (MP3 and its layer I/II kin): the sync bits and no reserved or
// "free"/"bad" field values, so that a text starting with 0xFF bytes does not pass.
bool isMpegAudioFrame(QByteArrayView head)
{
    if (head.size() < 4 || byteAt(head, 0) != 0xFF || (byteAt(head, 1) & 0xE0) != 0xE0)
        return false;
    const int version = (byteAt(head, 1) >> 3) & 3;
    const int layer = (byteAt(head, 1) >> 1) & 3;
    const int bitrate = byteAt(head, 2) >> 4;
    const int rate = (byteAt(head, 2) >> 2) & 3;
    return version != 1 && layer != 0 && bitrate != 0 && bitrate != 15 && rate != 3;
}

// ISO base media (MP4, MOV, M4V, M4A, AVIF, HEIF, 3GP): an "ftyp" box first whose major or a
// compatible brand is one of these, or an old QuickTime file that starts with its movie boxes.
bool isIsoMedia(QByteArrayView head)
{
    static const std::array<QByteArrayView, 24> brands = {
        "isom", "iso2", "iso3", "iso4", "iso5", "iso6", "mp41", "mp42", "avc1", "M4V ", "M4VH", "M4VP",
        "M4A ", "M4B ", "M4P ", "qt  ", "avif", "avis", "mif1", "msf1", "heic", "dash", "3gp4", "3gp5"};
    if (startsWith(head, "ftyp", 4)) {
        const qsizetype boxSize = (qsizetype(byteAt(head, 0)) << 24) | (qsizetype(byteAt(head, 1)) << 16) |
                                  (qsizetype(byteAt(head, 2)) << 8) | qsizetype(byteAt(head, 3));
        if (boxSize < 16 || boxSize % 4 != 0)
            return false;
        // The major brand at 8, the minor version at 12, compatible brands from 16 on.
        for (qsizetype at = 8; at + 4 <= std::min(boxSize, head.size()); at += at == 8 ? 8 : 4) {
            for (QByteArrayView brand : brands) {
                if (head.sliced(at, 4) == brand)
                    return true;
            }
        }
        return false;
    }
    return head.size() >= 8 && byteAt(head, 0) == 0 &&
           (startsWith(head, "moov", 4) || startsWith(head, "mdat", 4) || startsWith(head, "wide", 4));
}

// What follows a PHP guard, or head itself when it has none.
QByteArrayView afterPhpGuard(QByteArrayView head)
{
    if (!startsWith(head, "<?php"))
        return head;
    qsizetype end = -1;
    for (QByteArrayView closing : {QByteArrayView("__halt_compiler();"), QByteArrayView("?>")}) {
        const qsizetype at = head.indexOf(closing);
        if (at >= 0) {
            end = at + closing.size();
            break;
        }
    }
    if (end < 0)
        return {};
    if (startsWith(head, "\r\n", end))
        end += 2;
    else if (startsWith(head, "\n", end))
        end += 1;
    return head.sliced(end);
}

} // namespace

bool IsAlreadyCompressed(QByteArrayView head)
{
    head = afterPhpGuard(head.first(std::min(head.size(), kContentSniffBytes)));
    if (startsWith(head, "\xFF\xD8\xFF") || startsWith(head, "\x89PNG\r\n\x1A\n") ||
        startsWith(head, "GIF87a") || startsWith(head, "GIF89a"))
        return true;
    if (startsWith(head, "RIFF") && startsWith(head, "WEBP", 8))
        return true;
    if (isIsoMedia(head))
        return true;
    if (startsWith(head, "\x1A\x45\xDF\xA3") || startsWith(head, "OggS") || startsWith(head, "ID3") ||
        isMpegAudioFrame(head))
        return true;
    if (startsWith(head, "PK\x03\x04") || startsWith(head, "PK\x05\x06") || startsWith(head, "PK\x07\x08"))
        return true;
    if (startsWith(head, "\x1F\x8B\x08") || startsWith(head, "7z\xBC\xAF\x27\x1C") ||
        startsWith(head, QByteArrayView("Rar!\x1A\x07\x00", 7)) ||
        startsWith(head, QByteArrayView("Rar!\x1A\x07\x01\x00", 8)))
        return true;
    return startsWith(head, "wOF2");
}

qsizetype JpegHeaderLength(QByteArrayView start)
{
    qsizetype at = 2;
    while (at + 4 <= start.size()) {
        if (byteAt(start, at) != 0xFF)
            return -1;
        const quint8 marker = byteAt(start, at + 1);
        if (marker == 0xFF) { // fill byte
            ++at;
            continue;
        }
        if (marker == 0xDA)
            return at;
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) { // segments without a length
            at += 2;
            continue;
        }
        const qsizetype length = (qsizetype(byteAt(start, at + 2)) << 8) | byteAt(start, at + 3);
        if (length < 2)
            return -1;
        at += 2 + length;
    }
    return -1;
}

bool ShrinksWhenDeflated(QByteArrayView sample)
{
    if (sample.isEmpty())
        return false;
    // Deflate at the fastest level with an 8 KB window and a small hash, counting what comes out
    // rather than keeping it: some 60 KB of zlib state instead of 270 KB, on each sniffing thread.
    // The samples are pieces of 16 KB; what repeats within them is found all the same.
    z_stream z{};
    if (deflateInit2(&z, 1, Z_DEFLATED, 13, 5, Z_DEFAULT_STRATEGY) != Z_OK)
        return false;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(sample.data()));
    z.avail_in = uInt(sample.size());
    std::array<Bytef, 4096> out;
    qsizetype packed = 0;
    int status = Z_OK;
    while (status == Z_OK) {
        z.next_out = out.data();
        z.avail_out = uInt(out.size());
        status = deflate(&z, Z_FINISH);
        packed += qsizetype(out.size() - z.avail_out);
    }
    deflateEnd(&z);
    // zlib's two-byte header and four-byte check are not the file's.
    return status == Z_STREAM_END && (packed - 6) * 100 < sample.size() * 98;
}

} // namespace builder
