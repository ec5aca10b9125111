#include "support/text_codec.h"

#include <QStringDecoder>

#include <array>

namespace support {
namespace {

// 0x80..0x9F of Windows-1252; the five unassigned bytes map to the C1 control of the same value.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char16_t cp1252ToUnicode(unsigned char b)
{
    return (b >= 0x80 && b <= 0x9F) ? kCp1252High[b - 0x80] : char16_t(b);
}

// Length of the valid UTF-8 sequence starting at p (1..4), or 0 when it is not valid there.
int validSequenceLength(const unsigned char* p, const unsigned char* end)
{
    const unsigned char b0 = p[0];
    if (b0 < 0x80)
        return 1;
    int len;
    unsigned char lo = 0x80, hi = 0xBF;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3;
        if (b0 == 0xE0)
            lo = 0xA0; // no overlong forms
        else if (b0 == 0xED)
            hi = 0x9F; // no surrogates
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4;
        if (b0 == 0xF0)
            lo = 0x90;
        else if (b0 == 0xF4)
            hi = 0x8F; // nothing above U+10FFFF
    } else {
        return 0;
    }
    if (end - p < len)
        return 0;
    if (p[1] < lo || p[1] > hi)
        return 0;
    for (int i = 2; i < len; ++i) {
        if (p[i] < 0x80 || p[i] > 0xBF)
            return 0;
    }
    return len;
}

bool isValidUtf8(const unsigned char* p, const unsigned char* end)
{
    while (p < end) {
        if (*p < 0x80) {
            ++p;
            continue;
        }
        const int len = validSequenceLength(p, end);
        if (len == 0)
            return false;
        p += len;
    }
    return true;
}

QString decodeMixed(const unsigned char* p, const unsigned char* end)
{
    QString out;
    out.reserve(end - p);
    while (p < end) {
        const int len = validSequenceLength(p, end);
        if (len == 0) {
            out.append(QChar(cp1252ToUnicode(*p)));
            ++p;
        } else if (len == 1) {
            out.append(QChar(char16_t(*p)));
            ++p;
        } else {
            out.append(QString::fromUtf8(reinterpret_cast<const char*>(p), len));
            p += len;
        }
    }
    return out;
}

} // namespace

DecodedText DecodeText(const QByteArray& bytes)
{
    const auto* begin = reinterpret_cast<const unsigned char*>(bytes.constData());
    const auto* end = begin + bytes.size();
    const qsizetype n = bytes.size();

    if (n >= 2 && begin[0] == 0xFF && begin[1] == 0xFE) {
        QStringDecoder dec(QStringDecoder::Utf16LE);
        return {dec(QByteArrayView(bytes).sliced(2)), TextEncoding::Utf16LE};
    }
    if (n >= 2 && begin[0] == 0xFE && begin[1] == 0xFF) {
        QStringDecoder dec(QStringDecoder::Utf16BE);
        return {dec(QByteArrayView(bytes).sliced(2)), TextEncoding::Utf16BE};
    }
    if (n >= 3 && begin[0] == 0xEF && begin[1] == 0xBB && begin[2] == 0xBF) {
        const auto* body = begin + 3;
        if (isValidUtf8(body, end))
            return {QString::fromUtf8(reinterpret_cast<const char*>(body), end - body),
                    TextEncoding::Utf8Bom};
        return {decodeMixed(body, end), TextEncoding::Utf8Bom};
    }
    if (isValidUtf8(begin, end))
        return {QString::fromUtf8(bytes), TextEncoding::Utf8};
    return {decodeMixed(begin, end), TextEncoding::Windows1252};
}

QByteArray EncodeWindows1252(const QString& text, bool* ok)
{
    QByteArray out;
    out.reserve(text.size());
    bool good = true;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) {
            out.append(char(u));
            continue;
        }
        int found = -1;
        for (int i = 0; i < int(kCp1252High.size()); ++i) {
            if (kCp1252High[i] == u) {
                found = i;
                break;
            }
        }
        if (found < 0) {
            good = false;
            out.append('?');
        } else {
            out.append(char(0x80 + found));
        }
    }
    if (ok)
        *ok = good;
    return out;
}

} // namespace support
