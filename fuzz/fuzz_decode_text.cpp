// DecodeText on any bytes: valid UTF-8 comes back byte for byte, nothing is lost to U+FFFD,
// bytes that are not UTF-8 are Windows-1252, and a text written as UTF-8 reads back the same.

#include "support/text_codec.h"

#include <QByteArray>

#include <cstdio>
#include <cstdlib>

using support::TextEncoding;

namespace {

void fail(const char* what, const QByteArray& bytes)
{
    std::fprintf(stderr, "%s\ninput: %s\n", what, bytes.toHex(' ').constData());
    std::abort();
}

bool startsWithBom(const QByteArray& b)
{
    return b.startsWith("\xEF\xBB\xBF") || b.startsWith("\xFF\xFE") || b.startsWith("\xFE\xFF");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const support::DecodedText decoded = support::DecodeText(bytes);
    const QString& text = decoded.text;
    const bool utf16 = decoded.encoding == TextEncoding::Utf16LE || decoded.encoding == TextEncoding::Utf16BE;
    if (utf16)
        return 0;

    // Qt's own strict decoder is the oracle of "valid UTF-8".
    const bool valid = QString::fromUtf8(bytes).toUtf8() == bytes;
    if (!startsWithBom(bytes)) {
        if (valid != (decoded.encoding == TextEncoding::Utf8))
            fail("valid UTF-8 and the reported encoding disagree", bytes);
        if (valid && text.toUtf8() != bytes)
            fail("valid UTF-8 did not round-trip", bytes);
    }
    if (text.size() > bytes.size())
        fail("more characters than bytes", bytes);
    if (text.contains(QChar::ReplacementCharacter) && !bytes.contains("\xEF\xBF\xBD"))
        fail("a byte was replaced by U+FFFD instead of being read as Windows-1252", bytes);

    // Without a byte that can start a multi-byte sequence every high byte is Windows-1252.
    bool noLeadByte = true;
    for (const char c : bytes)
        noLeadByte = noLeadByte && quint8(c) < 0xC2;
    if (decoded.encoding == TextEncoding::Windows1252 && noLeadByte) {
        bool ok = false;
        if (support::EncodeWindows1252(text, &ok) != bytes || !ok)
            fail("Windows-1252 bytes did not round-trip", bytes);
    }

    // The build writes what it read as UTF-8; reading that again must give the same text.
    if (!text.startsWith(QChar(0xFEFF))) {
        const support::DecodedText again = support::DecodeText(text.toUtf8());
        if (again.text != text || again.encoding != TextEncoding::Utf8)
            fail("the text written as UTF-8 reads back differently", bytes);
    }
    return 0;
}
