#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace support {

class MortarParser final
{
public:
    // Every occurrence of find replaced, left to right, case-sensitive; an empty find changes nothing.
    static QString ReplaceText(const QString& text, const QString& find, const QString& replacement);
    // The same on bytes.
    static QByteArray ReplaceBytes(const QByteArray& text, QByteArrayView find, QByteArrayView replacement);
};

} // namespace support
