#include "builder/reference_rewrite.h"

#include "builder/page_references.h"
#include "builder/reference_resolver.h"

#include <QHash>

#include <algorithm>
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

QString folderOf(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QString() : path.left(slash);
}

// A page the visitor reads, never a file to hand out.
bool isPage(const QString& file)
{
    return file.endsWith(QLatin1String(".html"), Qt::CaseInsensitive) ||
           file.endsWith(QLatin1String(".htm"), Qt::CaseInsensitive) ||
           file.endsWith(QLatin1String(".xhtml"), Qt::CaseInsensitive);
}

class Rewriter
{
public:
    Rewriter(QByteArrayView text, const QString& pagePath, const SiteFiles& files, const FunnelPages& funnel,
             const std::vector<qsizetype>& literal, const DeliveryRule* delivery,
             const QList<SiteAddress>& siteAddresses)
        : m_text(text), m_pagePath(pagePath), m_folder(folderOf(pagePath)), m_files(files), m_funnel(funnel),
          m_literal(literal), m_delivery(delivery), m_siteAddresses(siteAddresses)
    {
    }

    // Everything is read from the page as it stands: first what each reference names, then which
    // files are delivered, then the edits.
    RewrittenReferences run()
    {
        RewrittenReferences out;
        const std::vector<PageReference> refs = FindReferences(m_text);
        std::vector<Target> targets;
        targets.reserve(refs.size());
        for (const PageReference& ref : refs) {
            targets.push_back(target(ref));
            if (m_siteAddresses.isEmpty() && targets.back().resolution.kind == Resolution::Kind::NotLocal &&
                ref.kind != PageReference::Kind::Charset)
                surveyHost(targets.back().value, out.hosts);
        }
        for (const Target& t : targets) {
            if (!t.file.isEmpty())
                out.referenced.insert(t.file);
        }
        QSet<QString> usedElsewhere;
        const std::vector<LooseLiteral> loose = looseLiterals(refs, usedElsewhere);
        out.referenced.unite(usedElsewhere);
        out.delivered = delivered(refs, targets, usedElsewhere);
        QHash<QString, int> number;
        for (const QString& file : std::as_const(out.delivered))
            number.insert(file, int(number.size()));

        std::vector<ReferenceEdit> edits;
        std::vector<FoundNote> found;
        for (std::size_t i = 0; i < refs.size(); ++i)
            edit(refs[i], targets[i], number, edits, found, out);
        numberLines(found, out.notes);
        out.edits = merged(std::move(edits), loose);
        return out;
    }

private:
    // What one reference names: file is empty when it names no file of the site.
    struct Target
    {
        QString value;
        Resolution resolution;
        QString file;
        bool literal = false;  // a path the old rule prefixes, as written
        bool absolute = false; // an absolute address under one of the site's own addresses
    };
    // A path the old rule prefixes where no reference begins: in scripts, text, comments.
    using LooseLiteral = std::pair<qsizetype, QString>;
    // A note and the page offset it was found at, for its line number.
    using FoundNote = std::pair<qsizetype, ReferenceNote>;

    QByteArrayView m_text;
    QString m_pagePath;
    QString m_folder;
    const SiteFiles& m_files;
    const FunnelPages& m_funnel;
    const std::vector<qsizetype>& m_literal;
    const DeliveryRule* m_delivery;
    const QList<SiteAddress>& m_siteAddresses;

    // Counts an absolute reference's host, and whether its path names a file of the site.
    void surveyHost(const QString& value, QHash<QString, HostUse>& hosts) const
    {
        const std::optional<SiteAddress> address = ParseSiteAddress(value);
        if (!address)
            return;
        HostUse& use = hosts[address->origin];
        if (use.address.isEmpty()) {
            const QString scheme = value.startsWith(QLatin1String("https:"), Qt::CaseInsensitive)
                                       ? QStringLiteral("https://")
                                       : QStringLiteral("http://");
            use.address = scheme + address->origin + u'/';
        }
        ++use.references;
        const std::optional<QString> path = PathUnderSiteAddress(
            value, QList<SiteAddress>{SiteAddress{address->origin, QStringLiteral("/")}});
        const Resolution r = path ? ResolveReference(*path, QString(), m_files) : Resolution();
        if (r.kind != Resolution::Kind::Resolved || r.caseOnly)
            use.allNameSiteFiles = false;
    }

    // The file the old rule matched at: the path up to the closing quote, or for a name that holds
    // quotes itself, the longest such name that stands there.
    QString literalFile(qsizetype at) const
    {
        const qsizetype quote = m_text.indexOf('"', at);
        const QString plain = QString::fromUtf8(m_text.sliced(at, (quote < 0 ? m_text.size() : quote) - at));
        if (m_files.contains(plain))
            return plain;
        QString best;
        for (const QString& file : m_files.list()) {
            const QByteArray bytes = file.toUtf8() + '"';
            if (file.size() > best.size() && m_text.sliced(at).startsWith(bytes))
                best = file;
        }
        return best;
    }

    // The old rule's paths where no reference begins, with the file each names; the files named
    // go into usedElsewhere.
    std::vector<LooseLiteral> looseLiterals(const std::vector<PageReference>& refs,
                                            QSet<QString>& usedElsewhere) const
    {
        std::vector<LooseLiteral> loose;
        std::size_t r = 0;
        for (const qsizetype at : m_literal) {
            while (r < refs.size() && refs[r].begin < at)
                ++r;
            if (r < refs.size() && refs[r].begin == at)
                continue;
            const QString file = literalFile(at);
            loose.emplace_back(at, file);
            if (!file.isEmpty())
                usedElsewhere.insert(file);
        }
        return loose;
    }

    // The edit one reference gets, if any, and the note it earns, if any.
    void edit(const PageReference& ref, const Target& t, const QHash<QString, int>& number,
              std::vector<ReferenceEdit>& edits, std::vector<FoundNote>& found,
              RewrittenReferences& out) const
    {
        if (ref.kind == PageReference::Kind::Charset) {
            // The page is written as UTF-8, whatever it was read as: so is its declaration.
            const QByteArray label = ref.value.toLower();
            if (label != "utf-8" && label != "utf8" && ref.from.empty())
                edits.push_back(ReferenceEdit{ref.begin, ref.end, ReferenceEdit::Address::None, -1, "UTF-8"});
            return;
        }
        if (const auto n = number.constFind(t.file); n != number.cend() && ref.isLink) {
            ReferenceEdit e{ref.begin, ref.end, ReferenceEdit::Address::Delivery};
            e.delivery = n.value();
            edits.push_back(std::move(e));
            return;
        }
        if (t.literal) {
            edits.push_back(literalEdit(ref.begin, t.file));
            if (ref.kind == PageReference::Kind::InScript)
                ++out.scriptStrings;
            return;
        }
        ReferenceNote note;
        note.page = m_pagePath;
        note.reference = t.value;
        switch (t.resolution.kind) {
        case Resolution::Kind::NotLocal:
            return;
        case Resolution::Kind::Missing:
        case Resolution::Kind::OutsideSite:
        case Resolution::Kind::Ambiguous:
            if (ref.kind == PageReference::Kind::Address) {
                if (t.resolution.kind == Resolution::Kind::Missing) {
                    note.leftOutKind = m_files.leftOutKind(t.resolution.file);
                    if (note.leftOutKind != LeftOutKind::None) {
                        note.kind = ReferenceNote::Kind::LeftOut;
                        note.files = QStringList{t.resolution.file};
                        found.emplace_back(ref.begin, std::move(note));
                        return;
                    }
                }
                note.kind = t.resolution.kind == Resolution::Kind::Missing ? ReferenceNote::Kind::Missing
                            : t.resolution.kind == Resolution::Kind::OutsideSite
                                ? ReferenceNote::Kind::OutsideSite
                                : ReferenceNote::Kind::Ambiguous;
                note.files = t.resolution.candidates;
                found.emplace_back(ref.begin, std::move(note));
            }
            return;
        case Resolution::Kind::Resolved:
            break;
        }
        if (std::optional<ReferenceEdit> e = rewrite(ref, t.resolution)) {
            edits.push_back(std::move(*e));
            if (ref.kind == PageReference::Kind::InScript)
                ++out.scriptStrings;
            if (t.absolute)
                ++out.localAddresses;
            if (t.resolution.caseOnly) {
                note.kind = ReferenceNote::Kind::CaseOnly;
                note.files = QStringList{t.resolution.file};
                found.emplace_back(ref.begin, std::move(note));
            }
        }
    }

    ReferenceEdit literalEdit(qsizetype at, const QString& file) const
    {
        if (!file.isEmpty() && (file == m_funnel.front || file == m_funnel.download))
            return {at, at + file.toUtf8().size(), ReferenceEdit::Address::Funnel};
        return {at, at, ReferenceEdit::Address::AssetBase};
    }

    Target target(const PageReference& ref) const
    {
        Target t;
        if (ref.kind == PageReference::Kind::Charset)
            return t;
        if (std::binary_search(m_literal.cbegin(), m_literal.cend(), ref.begin)) {
            t.literal = true;
            t.file = literalFile(ref.begin);
            return t;
        }
        t.value = QString::fromUtf8(ref.value);
        t.resolution = ResolveReference(t.value, m_folder, m_files);
        if (t.resolution.kind == Resolution::Kind::NotLocal) {
            if (const std::optional<QString> path = PathUnderSiteAddress(t.value, m_siteAddresses)) {
                t.resolution = ResolveReference(*path, QString(), m_files);
                t.absolute = true;
            }
        }
        // A value that is an address only when it names a file: a folder ("./", "de") or a bare
        // word is a setting, whatever the site holds under that name; a script string must name
        // its file exactly.
        const bool exactOnly =
            ref.kind == PageReference::Kind::IfItNames || ref.kind == PageReference::Kind::InScript;
        if (exactOnly && t.resolution.kind == Resolution::Kind::Resolved &&
            (t.resolution.folderIndex || !(t.value.contains(u'.') || t.value.contains(u'/')) ||
             (ref.kind == PageReference::Kind::InScript && t.resolution.caseOnly)))
            t.resolution = Resolution();
        if (t.resolution.kind == Resolution::Kind::Resolved)
            t.file = t.resolution.file;
        return t;
    }

    // The reference edits and the old rule's own, in page order; an old-rule prefix that falls in a
    // span a reference edit replaces goes with that span.
    std::vector<ReferenceEdit> merged(std::vector<ReferenceEdit> edits,
                                      const std::vector<LooseLiteral>& loose) const
    {
        std::vector<ReferenceEdit> all;
        all.reserve(edits.size() + loose.size());
        std::size_t e = 0;
        for (const auto& [at, file] : loose) {
            while (e < edits.size() && edits[e].begin < at)
                all.push_back(std::move(edits[e++]));
            const bool covered =
                (!all.empty() && all.back().end > at) || (e < edits.size() && edits[e].begin == at);
            if (!covered)
                all.push_back(literalEdit(at, file));
        }
        for (; e < edits.size(); ++e)
            all.push_back(std::move(edits[e]));
        return all;
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
            hash < 0 ? QByteArrayView() : m_text.sliced(ref.pageOffset(hash), ref.end - ref.pageOffset(hash));

        if (r.file == m_funnel.front || r.file == m_funnel.download) {
            // A funnel page is shown only at the funnel's address; a link within the page stays.
            ReferenceEdit e{ref.begin, ref.end, ReferenceEdit::Address::Funnel};
            if (r.file == m_pagePath && !fragment.isEmpty())
                e.address = ReferenceEdit::Address::None;
            if (!fragment.isEmpty()) {
                e.copyFrom = ref.pageOffset(hash);
                e.copyTo = ref.end;
            }
            return e;
        }
        const qsizetype rawPathEnd = ref.pageOffset(pathEnd);
        const QByteArrayView rawPath = m_text.sliced(ref.begin, rawPathEnd - ref.begin);
        if (rawPath == r.file.toUtf8())
            return ReferenceEdit{ref.begin, ref.begin, ReferenceEdit::Address::AssetBase};
        ReferenceEdit e{ref.begin, rawPathEnd, ReferenceEdit::Address::AssetBase};
        e.text = encodedPath(r.file);
        return e;
    }

    // Notes come in page order: one walk over the page counts the lines.
    void numberLines(std::vector<FoundNote>& found, std::vector<ReferenceNote>& notes) const
    {
        int line = 1;
        qsizetype counted = 0;
        for (auto& [offset, note] : found) {
            line += int(m_text.sliced(counted, offset - counted).count('\n'));
            counted = offset;
            note.line = line;
            notes.push_back(std::move(note));
        }
    }
};

} // namespace

RewrittenReferences RewriteReferences(QByteArrayView page, const QString& pagePath, const SiteFiles& files,
                                      const FunnelPages& funnel, const std::vector<qsizetype>& literal,
                                      const DeliveryRule* delivery, const QList<SiteAddress>& siteAddresses)
{
    return Rewriter(page, pagePath, files, funnel, literal, delivery, siteAddresses).run();
}

QByteArray
ApplyReferenceEdits(QByteArrayView page, const std::vector<ReferenceEdit>& edits,
                    const std::function<void(QByteArray& out, ReferenceEdit::Address, int)>& address,
                    const std::function<void(QByteArray& out, QByteArrayView text)>& pageText)
{
    QByteArray out;
    out.reserve(page.size() + page.size() / 8 + qsizetype(edits.size()) * 32);
    qsizetype copied = 0;
    for (const ReferenceEdit& e : edits) {
        pageText(out, page.sliced(copied, e.begin - copied));
        if (e.address != ReferenceEdit::Address::None)
            address(out, e.address, e.delivery);
        out.append(e.text);
        if (e.copyTo > e.copyFrom)
            pageText(out, page.sliced(e.copyFrom, e.copyTo - e.copyFrom));
        copied = e.end;
    }
    pageText(out, page.sliced(copied));
    return out;
}

} // namespace builder
