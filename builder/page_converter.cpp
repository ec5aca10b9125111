#include "builder/page_converter.h"

#include "builder/asset_rewrite.h"
#include "builder/plugin_header.h"
#include "builder/reference_rewrite.h"
#include "support/mortar_parser.h"

#include <stdexcept>
#include <utility>
#include <vector>

namespace builder {
namespace {

// Code units that occur neither in the page nor in any file name: they mark where the asset base,
// the funnel's address and the delivery addresses go until the page's own "<?" are neutralised.
RewriteMarks unusedMarks(const QString& page, const QStringList& files)
{
    std::vector<bool> used(0x10000, false);
    for (const QChar c : page)
        used[c.unicode()] = true;
    for (const QString& f : files) {
        for (const QChar c : f)
            used[c.unicode()] = true;
    }
    std::vector<QChar> found;
    const std::pair<char16_t, char16_t> ranges[] = {{0xE000, 0xF8FF}, {0xFDD0, 0xFDEF}, {0x0100, 0xD7FF}};
    for (const auto& [first, last] : ranges) {
        for (char32_t u = first; u <= last && found.size() < 3; ++u) {
            if (!used[u])
                found.push_back(QChar(char16_t(u)));
        }
    }
    if (found.size() < 3)
        throw std::runtime_error("the page uses every character there is");
    return {QString(found[0]).toUtf8(), QString(found[1]).toUtf8(), QString(found[2]).toUtf8()};
}

// The literal rule has already prefixed "path" where a page is written whole between double
// quotes; a funnel page among those gets the funnel's address instead, never its raw file.
QByteArray linkQuotedFunnelPages(const QByteArray& text, const QByteArray& asset, const QByteArray& link,
                                 const QList<QByteArray>& pages)
{
    QByteArray out;
    qsizetype copied = 0;
    for (qsizetype at = text.indexOf(asset); at >= 0; at = text.indexOf(asset, at + 1)) {
        if (at == 0 || text[at - 1] != '"')
            continue;
        const QByteArrayView rest = QByteArrayView(text).sliced(at + asset.size());
        for (const QByteArray& page : pages) {
            if (!page.isEmpty() && rest.startsWith(page) && rest.size() > page.size() &&
                rest[page.size()] == '"') {
                out.append(QByteArrayView(text).sliced(copied, at - copied));
                out.append(link);
                copied = at + asset.size() + page.size();
                break;
            }
        }
    }
    if (copied == 0)
        return text;
    out.append(QByteArrayView(text).sliced(copied));
    return out;
}

// The page's own "<?" written so that PHP prints them, and the marks replaced by the fragments
// that print the asset base and the funnel's address, in one pass.
QByteArray finishPage(const QByteArray& text, const RewriteMarks& marks)
{
    const QByteArray& asset = marks.asset;
    const QByteArray& link = marks.link;
    const QByteArray& delivery = marks.delivery;
    const QByteArray assetCode = GetAssetUrlPrefix().toUtf8();
    const QByteArrayView linkCode(kFunnelUrlCode);
    bool interesting[256] = {};
    interesting[uchar('<')] = interesting[uchar(asset[0])] = interesting[uchar(link[0])] =
        interesting[uchar(delivery[0])] = true;
    QByteArray number;
    QByteArray out;
    out.reserve(text.size() + text.size() / 8);
    const char* p = text.constData();
    const qsizetype n = text.size();
    qsizetype copied = 0;
    for (qsizetype i = 0; i < n; ++i) {
        if (!interesting[uchar(p[i])])
            continue;
        const QByteArrayView rest(p + i, n - i);
        QByteArrayView with;
        qsizetype skip = 0;
        if (rest.startsWith("<?")) {
            with = "<<?php ?>?";
            skip = 2;
        } else if (rest.startsWith(asset)) {
            with = assetCode;
            skip = asset.size();
        } else if (rest.startsWith(link)) {
            with = linkCode;
            skip = link.size();
        } else if (rest.startsWith(delivery)) {
            const qsizetype close = rest.indexOf(delivery, delivery.size());
            number = DeliveryUrlCode(rest.sliced(delivery.size(), close - delivery.size()).toInt());
            with = number;
            skip = close + delivery.size();
        } else {
            continue;
        }
        out.append(p + copied, i - copied);
        out.append(with);
        i += skip - 1;
        copied = i + 1;
    }
    out.append(p + copied, n - copied);
    return out;
}

} // namespace

QByteArray DeliveryUrlCode(int n)
{
    return "<?php echo $delivery_urls[" + QByteArray::number(n) + "]; ?>";
}

QString DescribeReferenceNote(const ReferenceNote& note)
{
    const QString where =
        QStringLiteral("%1 line %2: \"%3\"").arg(note.page).arg(note.line).arg(note.reference);
    switch (note.kind) {
    case ReferenceNote::Kind::Missing:
        return where + QStringLiteral(" names no file in the site folder");
    case ReferenceNote::Kind::OutsideSite:
        return where + QStringLiteral(" points outside the site folder");
    case ReferenceNote::Kind::Ambiguous:
        return where + QStringLiteral(" could be any of \"%1\" (the names differ only in letter case)")
                           .arg(note.files.join(QStringLiteral("\", \"")));
    case ReferenceNote::Kind::CaseOnly:
        break;
    }
    return where +
           QStringLiteral(" is taken to mean \"%1\" (the letter case differs)").arg(note.files.value(0));
}

ConvertedPage ConvertPage(QString page, const QString& pagePath, const SiteFiles& files,
                          const FunnelPages& funnel, PageRole role, const DeliveryRule* delivery)
{
    using support::MortarParser;
    const RewriteMarks marks = unusedMarks(page, files.list());

    // Each step's result replaces the text before the next, so two copies at most are alive.
    QByteArray text;
    {
        const QString marked = RewriteAssetPaths(page, files.list(), QString::fromUtf8(marks.asset));
        page = QString();
        text = marked.toUtf8();
    }
    text = linkQuotedFunnelPages(text, marks.asset, marks.link,
                                 {funnel.front.toUtf8(), funnel.download.toUtf8()});

    ConvertedPage converted;
    RewrittenReferences rewritten = RewriteReferences(text, pagePath, files, funnel, marks, delivery);
    text = std::move(rewritten.text);
    converted.notes = std::move(rewritten.notes);
    converted.referenced = std::move(rewritten.referenced);
    converted.delivered = std::move(rewritten.delivered);

    text = finishPage(text, marks);
    // Tag by tag, each on the result of the one before, as the forms may share a "#".
    const bool front = role == PageRole::FrontEnd;
    const QByteArray code = QString::fromUtf16(front ? kFrontTagCode : kBackTagCode).toUtf8();
    static constexpr const char* kFrontForms[] = {"#front#", "#FRONT#", "#Front#"};
    static constexpr const char* kBackForms[] = {"#back#", "#BACK#", "#Back#"};
    for (const char* form : front ? kFrontForms : kBackForms)
        text = MortarParser::ReplaceBytes(text, form, code);
    converted.text = std::move(text);
    return converted;
}

} // namespace builder
