#pragma once

#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>

namespace fuzz {

// Cuts the fuzzer's bytes into text pieces. A piece ends at a 0x00 byte. Its first byte picks the
// mode: wide pieces read byte pairs as UTF-16 code units (so lone surrogates and every code unit
// can occur), the others read bytes as Latin-1 (short inputs reach quotes, tags and controls).
class FuzzInput final
{
public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : m_p(data), m_end(data + size) {}

    bool atEnd() const { return m_p >= m_end; }

    std::uint8_t byte() { return atEnd() ? 0 : *m_p++; }

    QString piece()
    {
        const bool wide = byte() & 1;
        QString out;
        while (!atEnd() && *m_p != 0) {
            if (wide) {
                const char16_t lo = *m_p++;
                const char16_t hi = atEnd() ? 0 : *m_p++;
                out.append(QChar(char16_t(lo | (hi << 8))));
            } else {
                out.append(QChar(char16_t(*m_p++)));
            }
        }
        if (!atEnd())
            ++m_p;
        return out;
    }

    QStringList pieces(int most)
    {
        QStringList list;
        const int n = byte() % (most + 1);
        for (int i = 0; i < n && !atEnd(); ++i)
            list << piece();
        return list;
    }

private:
    const std::uint8_t* m_p;
    const std::uint8_t* m_end;
};

} // namespace fuzz
