#pragma once

#include "builder/page_converter.h"
#include "builder/site_files.h"

#include <QByteArray>
#include <QString>

#include <vector>

namespace builder {

// One change to a page: bytes [begin, end) replaced.
struct ReferenceEdit
{
    qsizetype begin = 0;
    qsizetype end = 0;
    QByteArray with;
};

struct RewrittenReferences
{
    QByteArray text;
    std::vector<ReferenceEdit> edits; // in page order, each inside one reference
    std::vector<ReferenceNote> notes;
};

// Points every reference of a UTF-8 page (as FindReferences finds them) that names a file of the
// site at that file: assetMark and the file's path in place of the reference's path, its query
// and fragment kept. A reference to one of the funnel pages becomes linkMark and its fragment,
// or only the fragment where the page links to a place in itself. References that already start
// with either mark are left alone. Notes list the references that name nothing in the site or
// that were matched only by ignoring letter case, with their line numbers.
RewrittenReferences RewriteReferences(const QByteArray& page, const QString& pagePath, const SiteFiles& files,
                                      const FunnelPages& funnel, const QByteArray& assetMark,
                                      const QByteArray& linkMark);

} // namespace builder
