#include "builder/reference_rewrite.h"

#include "builder/page_references.h"
#include "builder/reference_resolver.h"

#include <QHash>

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

bool isPage(const QString& file)
{
    return file.endsWith(QLatin1String(".html"), Qt::CaseInsensitive) ||
           file.endsWith(QLatin1String(".htm"), Qt::CaseInsensitive);
}

class Rewriter
{
public:
    Rewriter(const QByteArray& text, const QString& pagePath, const SiteFiles& files,
             const FunnelPages& funnel, const RewriteMarks& marks, const DeliveryRule* delivery)
        : m_text(text), m_pagePath(pagePath), m_folder(folderOf(pagePath)), m_files(files), m_funnel(funnel),
          m_marks(marks), m_delivery(delivery)
    {
    }

    // Everything is read from the page as it stands: first what each reference names, then which
    // files are delivered, then the page is rewritten in one pass.
    RewrittenReferences run()
    {
        RewrittenReferences out;
        const std::vector<PageReference> refs = FindReferences(m_text);
        std::vector<Target> targets;
        targets.reserve(refs.size());
        for (const PageReference& ref : refs)
            targets.push_back(target(ref));
        for (const Target& t : targets) {
            if (!t.file.isEmpty())
                out.referenced.insert(t.file);
        }
        const QSet<QString> usedElsewhere = markedOutside(refs, out.referenced);
        out.delivered = delivered(refs, targets, usedElsewhere);
        QHash<QString, int> number;
        for (const QString& file : std::as_const(out.delivered))
            number.insert(file, int(number.size()));

        std::vector<std::pair<qsizetype, ReferenceNote>> found;
        for (std::size_t i = 0; i < refs.size(); ++i) {
            const PageReference& ref = refs[i];
            const Target& t = targets[i];
            if (const auto n = number.constFind(t.file); n != number.cend() && ref.isLink) {
                out.edits.push_back({ref.begin, ref.end,
                                     m_marks.delivery + QByteArray::number(n.value()) + m_marks.delivery});
                continue;
            }
            if (t.marked)
                continue;
            ReferenceNote note;
            note.page = m_pagePath;
            note.reference = t.value;
            switch (t.resolution.kind) {
            case Resolution::Kind::NotLocal:
                continue;
            case Resolution::Kind::Missing:
            case Resolution::Kind::OutsideSite:
            case Resolution::Kind::Ambiguous:
                if (ref.kind == PageReference::Kind::Address) {
                    note.kind = t.resolution.kind == Resolution::Kind::Missing ? ReferenceNote::Kind::Missing
                                : t.resolution.kind == Resolution::Kind::OutsideSite
                                    ? ReferenceNote::Kind::OutsideSite
                                    : ReferenceNote::Kind::Ambiguous;
                    note.files = t.resolution.candidates;
                    found.emplace_back(ref.begin, std::move(note));
                }
                continue;
            case Resolution::Kind::Resolved:
                break;
            }
            if (std::optional<ReferenceEdit> edit = rewrite(ref, t.resolution)) {
                out.edits.push_back(std::move(*edit));
                if (t.resolution.caseOnly) {
                    note.kind = ReferenceNote::Kind::CaseOnly;
                    note.files = QStringList{t.resolution.file};
                    found.emplace_back(ref.begin, std::move(note));
                }
            }
        }
        numberLines(found, out.notes);
        out.text = applyEdits(m_text, out.edits);
        return out;
    }

private:
    // What one reference names: file is empty when it names no file of the site.
    struct Target
    {
        QString value;
        Resolution resolution;
        QString file;
        bool marked = false; // already prefixed by the literal rule, or a funnel link
    };

    const QByteArray& m_text;
    QString m_pagePath;
    QString m_folder;
    const SiteFiles& m_files;
    const FunnelPages& m_funnel;
    const RewriteMarks& m_marks;
    const DeliveryRule* m_delivery;

    Target target(const PageReference& ref) const
    {
        Target t;
        if (ref.value.startsWith(m_marks.link)) {
            t.marked = true;
            return t;
        }
        if (ref.value.startsWith(m_marks.asset)) {
            t.marked = true;
            const QString file = QString::fromUtf8(ref.value.sliced(m_marks.asset.size()));
            if (m_files.contains(file))
                t.file = file;
            return t;
        }
        t.value = QString::fromUtf8(ref.value);
        t.resolution = ResolveReference(t.value, m_folder, m_files);
        if (t.resolution.kind == Resolution::Kind::Resolved)
            t.file = t.resolution.file;
        return t;
    }

    // Files the literal rule prefixed where no reference was found (scripts, text, comments):
    // their use there would break if they moved.
    QSet<QString> markedOutside(const std::vector<PageReference>& refs, QSet<QString>& referenced) const
    {
        QSet<QString> used;
        std::size_t r = 0;
        for (qsizetype at = m_text.indexOf(m_marks.asset); at >= 0;
             at = m_text.indexOf(m_marks.asset, at + 1)) {
            while (r < refs.size() && refs[r].end <= at)
                ++r;
            if (r < refs.size() && refs[r].begin <= at)
                continue;
            const qsizetype from = at + m_marks.asset.size();
            const qsizetype quote = m_text.indexOf('"', from);
            const QString file = QString::fromUtf8(m_text.mid(from, quote < 0 ? -1 : quote - from));
            if (m_files.contains(file)) {
                used.insert(file);
                referenced.insert(file);
            }
        }
        return used;
    }

    QStringList delivered(const std::vector<PageReference>& refs, const std::vector<Target>& targets,
                          const QSet<QString>& usedElsewhere) const
    {
        if (!m_delivery)
            return {};
        QStringList linked;
        QSet<QString> notOnlyLinked = usedElsewhere;
        for (std::size_t i = 0; i < refs.size(); ++i) {
            const QString& file = targets[i].file;
            if (file.isEmpty())
                continue;
            if (refs[i].isLink && !linked.contains(file))
                linked << file;
            else if (!refs[i].isLink)
                notOnlyLinked.insert(file);
        }
        QStringList out;
        for (const QString& file : std::as_const(linked)) {
            if (m_delivery->forced.contains(file) ||
                (!notOnlyLinked.contains(file) && !m_delivery->notDelivered.contains(file) && !isPage(file) &&
                 file != m_funnel.front && file != m_funnel.download))
                out << file;
        }
        // Files the user named are delivered even where the page does not link them: their
        // addresses are on the funnel's edit screen, for the back tag or an e-mail.
        QStringList forced(m_delivery->forced.cbegin(), m_delivery->forced.cend());
        forced.sort();
        for (const QString& file : std::as_const(forced)) {
            if (m_files.contains(file) && !out.contains(file))
                out << file;
        }
        return out;
    }

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
            return ReferenceEdit{ref.begin, ref.end, m_marks.link + fragment.toByteArray()};
        }
        const qsizetype rawPathEnd = ref.pageOffset(pathEnd);
        const QByteArrayView rawPath = QByteArrayView(m_text).sliced(ref.begin, rawPathEnd - ref.begin);
        if (rawPath == r.file.toUtf8())
            return ReferenceEdit{ref.begin, ref.begin, m_marks.asset};
        return ReferenceEdit{ref.begin, rawPathEnd, m_marks.asset + encodedPath(r.file)};
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
                                      const FunnelPages& funnel, const RewriteMarks& marks,
                                      const DeliveryRule* delivery)
{
    return Rewriter(page, pagePath, files, funnel, marks, delivery).run();
}

} // namespace builder
