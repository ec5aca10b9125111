#pragma once

#include <QString>
#include <QStringList>

namespace builder {

// PHP's default upload_max_filesize: on a server that keeps it, WordPress's "Upload Plugin" form
// refuses a larger plugin ZIP.
inline constexpr qint64 kDefaultUploadLimit = 2 * 1024 * 1024;

// A size as PHP reads upload_max_filesize: a number of bytes, or a number followed by K, M or G
// (1024-based, either case). -1 when the text is not such a size, or is zero.
qint64 ParseUploadLimit(const QString& text);

// What the user should know about a plugin ZIP of this size: nothing when WordPress can take it
// through its upload form under that limit; otherwise the size, the limit and the other ways in.
QString UploadSizeWarning(qint64 archiveBytes, qint64 uploadLimit = kDefaultUploadLimit);

// What the user should know when the download page itself links files of the site: every funnel
// of the plugin hands them out to its buyers. Nothing for none.
QString PageDeliveryWarning(qsizetype fileCount);

} // namespace builder
