#pragma once

#include "builder/page_converter.h"
#include "builder/reference_resolver.h"
#include "builder/site_files.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

namespace builder {

// One change to a page: bytes [begin, end) give way to, in this order, an address the plugin
// works out when it shows the page, plain text, and the page's own bytes [copyFrom, copyTo).
struct ReferenceEdit
{
    enum class Address
    {
        None,
        AssetBase, // the address of the site's files inside the installed plugin
        Funnel,    // the funnel's own address
        Delivery,  // the keyed address of delivery file number `delivery`
    };

    qsizetype begin = 0;
    qsizetype end = 0;
    Address address = Address::None;
    int delivery = -1;
    QByteArray text{}; // ASCII: a file's path, percent-encoded
    qsizetype copyFrom = 0;
    qsizetype copyTo = 0;
};

struct RewrittenReferences
{
    std::vector<ReferenceEdit> edits; // in page order, none overlapping another
    std::vector<ReferenceNote> notes;
    QSet<QString> referenced;      // every site file the page refers to, in any way
    QStringList delivered;         // the delivery files, numbered in this order
    int scriptStrings = 0;         // strings in scripts and event handlers pointed at a site file
    int localAddresses = 0;        // absolute addresses under the site's own address pointed at a site file
    QHash<QString, HostUse> hosts; // without site addresses: the hosts absolute references name
};

// Points every reference of a UTF-8 page that names a file of the site at that file: the asset
// base and the file's path in place of the reference's path, its query and fragment kept. literal
// holds where the old rule prefixes a path written whole between double quotes (anywhere, scripts
// included): those keep exactly that. A reference to one of the funnel pages becomes the funnel's
// address and its fragment, or only the fragment where the page links to a place in itself. With
// a delivery rule, links to delivery files become their keyed address. Notes list the references
// that name nothing in the site or that were matched only by ignoring letter case, with their
// line numbers.
// Absolute references under one of siteAddresses count as written from the site's top; without
// such addresses, the hosts that absolute references name are surveyed instead.
RewrittenReferences RewriteReferences(QByteArrayView page, const QString& pagePath, const SiteFiles& files,
                                      const FunnelPages& funnel, const std::vector<qsizetype>& literal,
                                      const DeliveryRule* delivery = nullptr,
                                      const QList<SiteAddress>& siteAddresses = {});

// The page with its edits applied, the addresses as address() spells them and every byte of the
// page's own, between edits and copied, as pageText() passes it on.
QByteArray
ApplyReferenceEdits(QByteArrayView page, const std::vector<ReferenceEdit>& edits,
                    const std::function<void(QByteArray& out, ReferenceEdit::Address, int)>& address,
                    const std::function<void(QByteArray& out, QByteArrayView text)>& pageText);

} // namespace builder
