#pragma once

#include <QString>

namespace support {

class MortarParser final
{
public:
    // Every occurrence of find replaced, left to right, case-sensitive; an empty find changes nothing.
    static QString ReplaceText(const QString& text, const QString& find, const QString& replacement);
};

} // namespace support
