#include "builder/install_notes.h"

#include <QRegularExpression>

#include <cmath>

namespace builder {

namespace {

// "512 bytes", "40 KB", "2 MB", "3.4 MB": whole units without a decimal, as hosts write limits.
// Rounded up, so that a size just over a limit never reads as the limit itself.
QString sizeText(qint64 bytes)
{
    if (bytes < 1024)
        return QStringLiteral("%1 bytes").arg(bytes);
    const bool mega = bytes >= 1024 * 1024;
    const double units = double(bytes) / (mega ? 1024.0 * 1024.0 : 1024.0);
    QString number = QString::number(std::ceil(units * 10.0 - 1e-9) / 10.0, 'f', 1);
    if (number.endsWith(QLatin1String(".0")))
        number.chop(2);
    return number + (mega ? QStringLiteral(" MB") : QStringLiteral(" KB"));
}

} // namespace

qint64 ParseUploadLimit(const QString& text)
{
    // Nine digits at most, so that even gigabytes stay far inside qint64.
    static const QRegularExpression size(QStringLiteral("^\\s*(\\d{1,9})\\s*([kKmMgG]?)\\s*$"));
    const QRegularExpressionMatch m = size.match(text);
    if (!m.hasMatch())
        return -1;
    const QString unit = m.captured(2).toLower();
    const int shift = unit == u"k" ? 10 : unit == u"m" ? 20 : unit == u"g" ? 30 : 0;
    const qint64 bytes = m.captured(1).toLongLong() << shift;
    return bytes > 0 ? bytes : -1;
}

QString UploadSizeWarning(qint64 archiveBytes, qint64 uploadLimit)
{
    if (archiveBytes <= uploadLimit)
        return {};
    const QString size = sizeText(archiveBytes);
    const QString limit = uploadLimit == kDefaultUploadLimit
                              ? QStringLiteral("upload_max_filesize, 2 MB unless the host raised it")
                              : QStringLiteral("upload_max_filesize, taken as %1").arg(sizeText(uploadLimit));
    return QStringLiteral(
               "The plugin ZIP is %1. WordPress's \"Upload Plugin\" takes files only up to the server's "
               "upload limit (%2), so it may refuse this one (\"exceeds the upload_max_filesize "
               "directive\"). Two other ways in: unpack the ZIP and copy the plugin's folder into "
               "wp-content/plugins/ on the site by FTP or with the host's file manager, then activate "
               "the plugin under Plugins; or ask the host to raise upload_max_filesize and "
               "post_max_size above %1.")
        .arg(size, limit);
}

QString PageDeliveryWarning(qsizetype fileCount)
{
    if (fileCount <= 0)
        return {};
    const QString files =
        fileCount == 1 ? QStringLiteral("a file") : QStringLiteral("%1 files").arg(fileCount);
    const QString them = fileCount == 1 ? QStringLiteral("it") : QStringLiteral("them");
    return QStringLiteral(
               "The download page itself links %1 of the site, outside #BACK#, so every funnel of this "
               "plugin hands %2 out, a free opt-in funnel too (a Paid funnel only through each buyer's own "
               "link, a Free one to anyone with its download address). To give funnels different files, "
               "take the links out of "
               "the download page and put each funnel's own links into its \"Download links (HTML)\" "
               "field (to files in the WordPress media library, for example).")
        .arg(files, them);
}

} // namespace builder
