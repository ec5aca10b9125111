#include "workspace/page_listing.h"

#include "support/io_error.h"
#include "workspace/logging.h"

#include <QMutex>
#include <QMutexLocker>

#include <algorithm>
#include <filesystem>

namespace fs = std::filesystem;

namespace workspace {
namespace {

// The list goes on without what could not be read, and the failure goes to the log: once, not
// again at every poll while it lasts.
void logListingFailure(const QString& what, const fs::path& path, const std::error_code& ec)
{
    static QMutex mutex;
    static QString last;
    const QString text = QStringLiteral("%1 '%2': %3")
                             .arg(what, support::FromFsPath(path), QString::fromLocal8Bit(ec.message()));
    QMutexLocker lock(&mutex);
    if (text == last)
        return;
    last = text;
    qCWarning(lcWorkspace).noquote() << "Page list incomplete:" << text;
}

} // namespace

// Runs five times a second for as long as the program runs: a plain listing with a suffix test
// costs a third of QDir's pattern matching.
QStringList ListPages(const QString& folder)
{
    QStringList names;
    std::error_code ec;
    fs::directory_iterator it(support::ToFsPath(folder), ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const QString name = support::FromFsPath(it->path().filename());
        if (name.startsWith(QLatin1Char('.')))
            continue;
        if (!name.endsWith(QLatin1String(".htm"), Qt::CaseInsensitive) &&
            !name.endsWith(QLatin1String(".html"), Qt::CaseInsensitive))
            continue;
        std::error_code typeError;
        if (it->is_regular_file(typeError))
            names.append(name);
        else if (typeError)
            logListingFailure(QStringLiteral("Cannot read the entry"), it->path(), typeError);
    }
    if (ec)
        logListingFailure(QStringLiteral("Cannot list the folder"), support::ToFsPath(folder), ec);
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        return QString::compare(a, b, Qt::CaseInsensitive) < 0;
    });
    return names;
}

} // namespace workspace
