#pragma once

#include "builder/site_files.h"

#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>

namespace builder {

// What a reference written in a page names, read the way a browser reads it against the page's
// own address: "?query" and "#fragment" set aside, "\" taken as "/", percent-encoding decoded,
// "./" and "../" against the page's folder, a leading "/" from the site's top. A path that is
// not there against the page's folder is also looked for from the site's top, where a page in a
// subfolder has always been able to name files. An exact match wins; otherwise a match that
// ignores letter case counts when it is the only one. A folder stands for its index page.
struct Resolution
{
    enum class Kind
    {
        NotLocal,    // an address elsewhere, an in-page anchor, or no path at all
        Resolved,    // names file
        Missing,     // a path into the site that names nothing there; file is that path
        OutsideSite, // climbs out of the site's top with "../"
        Ambiguous,   // names several files that differ only in letter case; candidates lists them
    };

    Kind kind = Kind::NotLocal;
    QString file;
    QStringList candidates;
    bool caseOnly = false;    // Resolved only by ignoring letter case
    bool folderIndex = false; // Resolved as the index page of the folder the reference names
    qsizetype pathLength = 0; // the part of the reference before "?" or "#"
};

// An address the site had on the web: absolute references under it name the site's own files.
struct SiteAddress
{
    QString origin; // host in small letters, with ":port" unless the scheme's default
    QString path;   // where the site's top was, beginning and ending with "/"
};

// "http://host[:port][/path]", "https://..." or "//host/..."; nullopt for anything else.
std::optional<SiteAddress> ParseSiteAddress(QStringView url);

// What reference names from the site's top ("/css/main.css?v=2") when it is an absolute address
// under one of addresses (http and https alike); nullopt when it is not.
std::optional<QString> PathUnderSiteAddress(QStringView reference, const QList<SiteAddress>& addresses);

// pageFolder is the folder of the page that holds the reference, relative to the site's top
// ("" for a page at the top).
Resolution ResolveReference(QStringView reference, const QString& pageFolder, const SiteFiles& files);

} // namespace builder
