#pragma once

#include "builder/archiver.h"
#include "builder/build_stop.h"
#include "builder/file_walk.h"
#include "builder/page_converter.h"
#include "builder/plugin_details.h"

#include <QString>
#include <QStringList>

#include <functional>

namespace builder {

struct BuildRequest
{
    QString siteFolder;   // the site to pack; only read
    QString frontPage;    // full path of the front-end page
    QString downloadPage; // full path of the download page
    PluginDetails details;
    QString templateFolder;
    QString outputFolder;
    QString archiver; // path of 7za
    // Stored or deflated by content; DeflateAll makes the archive of earlier versions.
    ArchiveLayout archiveLayout = ArchiveLayout::StoreCompressed;
    const BuildStop* stop = nullptr; // asks the running build to stop; may be null
    // Delivery files: the site files (paths relative to the site) handed out only with the key
    // besides those the download page alone links to, and those kept public whatever.
    QStringList deliver;
    QStringList keepPublic;
    bool publicDelivery = false; // every file stays public, none is held back for buyers
    // The plugin lists the delivery files but holds none of their bytes: the owner uploads them
    // on the site. The list of them goes beside the ZIP.
    bool leanDelivery = false;
    // Site files (paths relative to the site) that ship although their kind is left out.
    QStringList shipAnyway;
    // Where the site used to live on the web ("http://www.old-domain.com/"): absolute references
    // under these addresses point at the site's files like relative ones.
    QStringList siteUrls;
};

struct BuildResult
{
    enum class Status
    {
        Done,
        MissingFields, // a header field is empty: nothing was touched
        Refused,       // the request cannot make a usable plugin: nothing was touched
        Failed,        // a step failed: nothing is left in the output folder
        Stopped,       // stopped on request: nothing is left in the output folder
    };

    Status status = Status::Failed;
    QString archivePath;
    QStringList warnings; // entries of the site or template that were left out
    // References in the two pages that point at no file of the site, or at one only by a guess.
    std::vector<ReferenceNote> references;
    QStringList delivered;             // files the plugin hands out only at the keyed download address
    QString deliveryListPath;          // lean builds with delivery files: the list of them beside the ZIP
    std::vector<LeftOutEntry> leftOut; // entries of the site folder not put into the plugin
    int scriptStrings = 0;             // strings in the pages' scripts pointed at a site file
    int localAddresses = 0;            // absolute addresses of the site's own pointed at a site file
    // Without siteUrls: an address that several absolute references use only to name site files.
    QString proposedSiteUrl;
    int errorNumber = 0; // Failed only: the IoError's number
    QString description; // Refused: the reason; Failed: what failed and why

    bool ok() const { return status == Status::Done; }
};

// The address ProposedSiteAddress finds in the request's two pages, read as the build reads them;
// empty when there is none or the pages cannot be read. For asking before a build.
QString ProposeSiteUrl(const BuildRequest& request);

// Percent done (0..100) and the step at hand; called from the thread that runs the build.
using BuildProgress = std::function<void(int percent, const QString& step)>;

// Builds the plugin ZIP <output>/<name without blanks, lower case>.zip holding the folder
// <identifier>/: the template with its placeholders filled, the site under modules/template/ and
// the two pages converted to PHP page templates. The two pages' own files are left out: they are
// shown only through the funnel, the download page only with its key. Delivery files move out
// of the public site copy into a folder with a secret name, served only at the keyed address. The
// work is done in a private folder inside the output folder that is removed at the end, and the
// archive is moved into place only once it is whole, so an earlier archive of the same name
// survives a failed or stopped build. Work folders that killed builds left behind are removed
// first. Never shows a window and never writes into the site folder.
BuildResult BuildPlugin(const BuildRequest& request, const BuildProgress& progress = {});

} // namespace builder
