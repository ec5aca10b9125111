#pragma once

#include "builder/page_converter.h"
#include "builder/site_files.h"

#include <QByteArray>
#include <QSet>
#include <QString>
#include <QStringList>

#include <vector>

namespace builder {

// One change to a page: bytes [begin, end) replaced.
struct ReferenceEdit
{
    qsizetype begin = 0;
    qsizetype end = 0;
    QByteArray with;
};

// The stand-ins the rewrite writes into the page, each a character the page does not hold: the
// asset base before a file's path, the funnel's address, and around the number of a delivery file.
struct RewriteMarks
{
    QByteArray asset;
    QByteArray link;
    QByteArray delivery;
};

struct RewrittenReferences
{
    QByteArray text;
    std::vector<ReferenceEdit> edits; // in page order, each inside one reference
    std::vector<ReferenceNote> notes;
    QSet<QString> referenced; // every site file the page refers to, in any way
    QStringList delivered;    // the delivery files, numbered in this order
};

// Points every reference of a UTF-8 page (as FindReferences finds them) that names a file of the
// site at that file: the asset mark and the file's path in place of the reference's path, its
// query and fragment kept. A reference to one of the funnel pages becomes the link mark and its
// fragment, or only the fragment where the page links to a place in itself. References that
// already start with the asset mark (the literal rule's) keep it. With a delivery rule, links to
// delivery files become the delivery mark, the file's number and the mark again. Notes list the
// references that name nothing in the site or that were matched only by ignoring letter case,
// with their line numbers.
RewrittenReferences RewriteReferences(const QByteArray& page, const QString& pagePath, const SiteFiles& files,
                                      const FunnelPages& funnel, const RewriteMarks& marks,
                                      const DeliveryRule* delivery = nullptr);

} // namespace builder
