#pragma once

#include <QByteArray>
#include <QString>

namespace workspace {

// The bytes to write back into a page file whose bytes were original, once the page's root
// element reads rootMarkup (documentElement.outerHTML of the edited document). The browser hands
// back the root element alone, so the file's own prolog (byte-order mark, XML declaration,
// doctype, comments before the root) and the comments after it are taken from original. The
// bytes keep the original encoding, so the page's characters display as before: a Windows-1252
// page stays Windows-1252 unless a character does not fit, and then becomes UTF-8 with its
// declared charset saying so.
QByteArray PageBytesToSave(const QByteArray& original, const QString& rootMarkup);

} // namespace workspace
