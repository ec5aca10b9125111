#include "builder/page_converter.h"

#include "builder/asset_rewrite.h"
#include "builder/page_references.h"
#include "builder/plugin_header.h"
#include "builder/reference_resolver.h"
#include "support/mortar_parser.h"

#include <stdexcept>
#include <utility>
#include <vector>

namespace builder {
namespace {

// Two code units that occur neither in the page nor in any file name: they mark where the asset
// base and the funnel's address go until the page's own "<?" have been neutralised.
std::pair<QChar, QChar> unusedCodeUnits(const QString& page, const QStringList& files)
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
        for (char32_t u = first; u <= last && found.size() < 2; ++u) {
            if (!used[u])
                found.push_back(QChar(char16_t(u)));
        }
    }
    if (found.size() < 2)
        throw std::runtime_error("the page uses every character there is");
    return {found[0], found[1]};
}

// What a path becomes after the asset base: percent-encoded wherever a character could end or
// split an attribute value, a srcset list, a CSS url() or a script string, or mean something
// else in a URL.
QByteArray encodedPath(const QString& file)
{
    return file.toUtf8().toPercentEncoding("/!$*+;=:@");
}

struct Edit
{
    qsizetype begin;
    qsizetype end;
    QByteArray with;
};

QByteArray applyEdits(const QByteArray& text, const std::vector<Edit>& edits)
{
    if (edits.empty())
        return text;
    qsizetype size = text.size();
    for (const Edit& e : edits)
        size += e.with.size() - (e.end - e.begin);
    QByteArray out;
    out.reserve(size);
    qsizetype copied = 0;
    for (const Edit& e : edits) {
        out.append(QByteArrayView(text).sliced(copied, e.begin - copied));
        out.append(e.with);
        copied = e.end;
    }
    out.append(QByteArrayView(text).sliced(copied));
    return out;
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

QString folderOf(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QString() : path.left(slash);
}

class Rewriter
{
public:
    Rewriter(const QByteArray& text, const QString& pagePath, const SiteFiles& files,
             const FunnelPages& funnel, QByteArray asset, QByteArray link)
        : m_text(text), m_pagePath(pagePath), m_folder(folderOf(pagePath)), m_files(files), m_funnel(funnel),
          m_asset(std::move(asset)), m_link(std::move(link))
    {
    }

    // Everything is read from the page as it stands; the page is rewritten in one pass at the end.
    QByteArray run(std::vector<ReferenceNote>& notes)
    {
        std::vector<Edit> edits;
        std::vector<std::pair<qsizetype, ReferenceNote>> found;
        for (const PageReference& ref : FindReferences(m_text)) {
            if (ref.value.startsWith(m_asset) || ref.value.startsWith(m_link))
                continue; // prefixed by the literal rule already
            const QString value = QString::fromUtf8(ref.value);
            const Resolution r = ResolveReference(value, m_folder, m_files);
            ReferenceNote note;
            note.page = m_pagePath;
            note.reference = value;
            switch (r.kind) {
            case Resolution::Kind::NotLocal:
                continue;
            case Resolution::Kind::Missing:
            case Resolution::Kind::OutsideSite:
            case Resolution::Kind::Ambiguous:
                if (ref.kind == PageReference::Kind::Address) {
                    note.kind = r.kind == Resolution::Kind::Missing       ? ReferenceNote::Kind::Missing
                                : r.kind == Resolution::Kind::OutsideSite ? ReferenceNote::Kind::OutsideSite
                                                                          : ReferenceNote::Kind::Ambiguous;
                    note.files = r.candidates;
                    found.emplace_back(ref.begin, std::move(note));
                }
                continue;
            case Resolution::Kind::Resolved:
                break;
            }
            if (std::optional<Edit> edit = rewrite(ref, r)) {
                edits.push_back(std::move(*edit));
                if (r.caseOnly) {
                    note.kind = ReferenceNote::Kind::CaseOnly;
                    note.files = QStringList{r.file};
                    found.emplace_back(ref.begin, std::move(note));
                }
            }
        }
        numberLines(found, notes);
        return applyEdits(m_text, edits);
    }

private:
    const QByteArray& m_text;
    QString m_pagePath;
    QString m_folder;
    const SiteFiles& m_files;
    const FunnelPages& m_funnel;
    QByteArray m_asset;
    QByteArray m_link;

    std::optional<Edit> rewrite(const PageReference& ref, const Resolution& r) const
    {
        qsizetype pathEnd = 0;
        while (pathEnd < ref.value.size() && ref.value[pathEnd] != '?' && ref.value[pathEnd] != '#')
            ++pathEnd;
        const qsizetype hash = ref.value.indexOf('#');
        if (!ref.cutsCleanly(pathEnd) || (hash >= 0 && !ref.cutsCleanly(hash)))
            return std::nullopt;
        const QByteArrayView fragment =
            hash < 0 ? QByteArrayView()
                     : QByteArrayView(m_text).sliced(ref.pageOffset(hash), ref.end - ref.pageOffset(hash));

        if (r.file == m_funnel.front || r.file == m_funnel.download) {
            // A funnel page is shown only at the funnel's address.
            if (r.file == m_pagePath && !fragment.isEmpty())
                return Edit{ref.begin, ref.end, fragment.toByteArray()};
            return Edit{ref.begin, ref.end, m_link + fragment.toByteArray()};
        }
        const qsizetype rawPathEnd = ref.pageOffset(pathEnd);
        const QByteArrayView rawPath = QByteArrayView(m_text).sliced(ref.begin, rawPathEnd - ref.begin);
        if (rawPath == r.file.toUtf8())
            return Edit{ref.begin, ref.begin, m_asset};
        return Edit{ref.begin, rawPathEnd, m_asset + encodedPath(r.file)};
    }

    // Notes come in page order: one walk over the page counts the lines.
    void numberLines(std::vector<std::pair<qsizetype, ReferenceNote>>& found,
                     std::vector<ReferenceNote>& notes) const
    {
        int line = 1;
        qsizetype counted = 0;
        for (auto& [offset, note] : found) {
            line += int(QByteArrayView(m_text).sliced(counted, offset - counted).count('\n'));
            counted = offset;
            note.line = line;
            notes.push_back(std::move(note));
        }
    }
};

} // namespace

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
                          const FunnelPages& funnel, PageRole role)
{
    using support::MortarParser;
    const auto [assetMark, linkMark] = unusedCodeUnits(page, files.list());
    const QByteArray asset = QString(assetMark).toUtf8();
    const QByteArray link = QString(linkMark).toUtf8();

    // Each step's result replaces the text before the next, so two copies at most are alive.
    QByteArray text;
    {
        const QString marked = RewriteAssetPaths(page, files.list(), QString(assetMark));
        page = QString();
        text = marked.toUtf8();
    }
    text = linkQuotedFunnelPages(text, asset, link, {funnel.front.toUtf8(), funnel.download.toUtf8()});

    ConvertedPage converted;
    text = Rewriter(text, pagePath, files, funnel, asset, link).run(converted.notes);

    text = MortarParser::ReplaceBytes(text, "<?", "<<?php ?>?");
    text = MortarParser::ReplaceBytes(text, asset, GetAssetUrlPrefix().toUtf8());
    text = MortarParser::ReplaceBytes(text, link, kFunnelUrlCode);
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
