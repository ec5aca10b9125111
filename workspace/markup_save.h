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

// Writes an edited page back into its file (whole or not at all), as PageBytesToSave makes it.
// A file marked read-only is refused even where the user could write it anyway (root), and a
// file that vanished is not created again. Throws support::IoError naming the file and reason.
void SavePageMarkup(const QString& path, const QString& rootMarkup);

} // namespace workspace
