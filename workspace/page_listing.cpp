#include "workspace/page_listing.h"

#include <QDir>

namespace workspace {

QStringList ListPages(const QString& folder)
{
    QDir dir(folder);
    dir.setNameFilters({QStringLiteral("*.htm"), QStringLiteral("*.html")});
    dir.setFilter(QDir::Files);
    dir.setSorting(QDir::Name | QDir::IgnoreCase);
    return dir.entryList();
}

} // namespace workspace
