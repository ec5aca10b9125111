#include "builder/reference_rewrite.h"

#include "builder/page_references.h"
#include "builder/reference_resolver.h"

#include <optional>
#include <utility>

namespace builder {
namespace {

// What a path becomes after the asset base: percent-encoded wherever a character could end or
// split an attribute value, a srcset list, a CSS url() or a script string, or mean something
// else in a URL.
QByteArray encodedPath(const QString& file)
{
    return file.toUtf8().toPercentEncoding("/!$*+;=:@");
}

QByteArray applyEdits(const QByteArray& text, const std::vector<ReferenceEdit>& edits)
{
    if (edits.empty())
        return text;
    qsizetype size = text.size();
    for (const ReferenceEdit& e : edits)
        size += e.with.size() - (e.end - e.begin);
    QByteArray out;
    out.reserve(size);
    qsizetype copied = 0;
    for (const ReferenceEdit& e : edits) {
        out.append(QByteArrayView(text).sliced(copied, e.begin - copied));
        out.append(e.with);
        copied = e.end;
    }
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
    RewrittenReferences run()
    {
        RewrittenReferences out;
        std::vector<ReferenceEdit> edits;
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
            if (std::optional<ReferenceEdit> edit = rewrite(ref, r)) {
                edits.push_back(std::move(*edit));
                if (r.caseOnly) {
                    note.kind = ReferenceNote::Kind::CaseOnly;
                    note.files = QStringList{r.file};
                    found.emplace_back(ref.begin, std::move(note));
                }
            }
        }
        numberLines(found, out.notes);
        out.text = applyEdits(m_text, edits);
        out.edits = std::move(edits);
        return out;
    }

private:
    const QByteArray& m_text;
    QString m_pagePath;
    QString m_folder;
    const SiteFiles& m_files;
    const FunnelPages& m_funnel;
    QByteArray m_asset;
    QByteArray m_link;

    std::optional<ReferenceEdit> rewrite(const PageReference& ref, const Resolution& r) const
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
                return ReferenceEdit{ref.begin, ref.end, fragment.toByteArray()};
            return ReferenceEdit{ref.begin, ref.end, m_link + fragment.toByteArray()};
        }
        const qsizetype rawPathEnd = ref.pageOffset(pathEnd);
        const QByteArrayView rawPath = QByteArrayView(m_text).sliced(ref.begin, rawPathEnd - ref.begin);
        if (rawPath == r.file.toUtf8())
            return ReferenceEdit{ref.begin, ref.begin, m_asset};
        return ReferenceEdit{ref.begin, rawPathEnd, m_asset + encodedPath(r.file)};
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

RewrittenReferences RewriteReferences(const QByteArray& page, const QString& pagePath, const SiteFiles& files,
                                      const FunnelPages& funnel, const QByteArray& assetMark,
                                      const QByteArray& linkMark)
{
    return Rewriter(page, pagePath, files, funnel, assetMark, linkMark).run();
}

} // namespace builder
