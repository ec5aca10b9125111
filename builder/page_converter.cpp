#include "builder/page_converter.h"

#include "builder/asset_rewrite.h"
#include "builder/plugin_header.h"
#include "builder/reference_rewrite.h"

#include <algorithm>
#include <array>
#include <functional>
#include <stdexcept>
#include <utility>
#include <vector>

namespace builder {
namespace {

// Writes the converted page: the page's own text, with every "<?" so that PHP prints it and the
// role's marker tag as the echo of its variable, and the tool's fragments of PHP between. The
// tag's forms are taken one after the other, as three replacements of the whole text would take
// them, for forms that share a "#".
class PageWriter
{
public:
    explicit PageWriter(PageRole role)
        : m_forms(role == PageRole::FrontEnd ? std::array<QByteArrayView, 3>{"#front#", "#FRONT#", "#Front#"}
                                             : std::array<QByteArrayView, 3>{"#back#", "#BACK#", "#Back#"}),
          m_code(QString::fromUtf16(role == PageRole::FrontEnd ? kFrontTagCode : kBackTagCode).toUtf8())
    {
    }

    // A fragment of PHP, ending in "?>".
    void code(QByteArray& out, QByteArrayView php)
    {
        keepBreak(out);
        out.append(php);
        m_codeEnd = out.size();
    }

    // The page's own text.
    void operator()(QByteArray& out, QByteArrayView text)
    {
        findTags(text);
        qsizetype copied = 0;
        std::size_t t = 0;
        for (qsizetype i = text.indexOf('<');; i = text.indexOf('<', i + 1)) {
            const qsizetype open = (i >= 0 && i + 1 < text.size() && text[i + 1] == '?') ? i : -1;
            if (i >= 0 && open < 0)
                continue;
            // The tags before this "<?" (or before the end), then the "<?" itself.
            const qsizetype limit = open < 0 ? text.size() : open;
            for (; t < m_tags.size() && m_tags[t].first < limit; ++t) {
                plain(out, text.sliced(copied, m_tags[t].first - copied));
                code(out, m_code);
                copied = m_tags[t].second;
            }
            if (open < 0)
                break;
            plain(out, text.sliced(copied, open - copied + 1));
            code(out, "<?php ?>");
            plain(out, "?");
            copied = open + 2;
            i = open + 1;
        }
        plain(out, text.sliced(copied));
    }

    // The end of the page: after a fragment, what was written last may still need its break.
    void finish(QByteArray& out) { keepBreak(out); }

private:
    // PHP drops the one line break ("\n", "\r\n" or a lone "\r") that follows "?>": a line break
    // that followed a fragment gets one more to keep it. Whatever was written after the last
    // fragment is looked at here, or what comes next when nothing was.
    void keepBreak(QByteArray& out, QByteArrayView next = {})
    {
        if (m_codeEnd < 0)
            return;
        const auto isBreak = [](char c) { return c == '\n' || c == '\r'; };
        if (m_codeEnd < out.size()) {
            if (isBreak(out[m_codeEnd]))
                out.insert(m_codeEnd, '\n');
        } else if (next.isEmpty()) {
            return;
        } else if (isBreak(next[0])) {
            out.append('\n');
        }
        m_codeEnd = -1;
    }

    void plain(QByteArray& out, QByteArrayView text)
    {
        keepBreak(out, text);
        out.append(text);
    }

    void findTags(QByteArrayView text)
    {
        m_tags.clear();
        for (const QByteArrayView form : m_forms) {
            for (qsizetype at = text.indexOf(form); at >= 0; at = text.indexOf(form, at + 1)) {
                const qsizetype end = at + form.size();
                const bool free = std::none_of(m_tags.begin(), m_tags.end(),
                                               [&](const auto& t) { return t.first < end && at < t.second; });
                if (free) {
                    m_tags.emplace_back(at, end);
                    at = end - 1;
                }
            }
        }
        std::sort(m_tags.begin(), m_tags.end());
    }

    std::array<QByteArrayView, 3> m_forms;
    QByteArray m_code;
    std::vector<std::pair<qsizetype, qsizetype>> m_tags;
    qsizetype m_codeEnd = -1;
};

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
    case ReferenceNote::Kind::LeftOut:
        return where + QStringLiteral(" names \"%1\", which is left out of the plugin: %2")
                           .arg(note.files.value(0), LeftOutReason(note.leftOutKind));
    case ReferenceNote::Kind::CaseOnly:
        break;
    }
    return where +
           QStringLiteral(" is taken to mean \"%1\" (the letter case differs)").arg(note.files.value(0));
}

QString ProposedSiteAddress(const QList<QHash<QString, HostUse>>& pages)
{
    QHash<QString, HostUse> all;
    for (const QHash<QString, HostUse>& hosts : pages) {
        for (auto it = hosts.cbegin(); it != hosts.cend(); ++it) {
            HostUse& use = all[it.key()];
            if (use.address.isEmpty())
                use.address = it->address;
            use.references += it->references;
            use.allNameSiteFiles = use.allNameSiteFiles && it->allNameSiteFiles;
        }
    }
    QString found;
    for (const HostUse& use : std::as_const(all)) {
        if (use.references < 2 || !use.allNameSiteFiles)
            continue;
        if (!found.isEmpty())
            return {}; // two candidates: no guess
        found = use.address;
    }
    return found;
}

ConvertedPage ConvertPage(QString page, const QString& pagePath, const SiteFiles& files,
                          const FunnelPages& funnel, PageRole role, const DeliveryRule* delivery,
                          const QList<SiteAddress>& siteAddresses)
{
    // The old rule's matches are found in the text as read; the page is then read as UTF-8 by the
    // parser, and written once, all changes applied on the way.
    const std::vector<qsizetype> literal = LiteralRuleMatchesInUtf8(page, files.list());
    QByteArray text = page.toUtf8();
    page = QString();
    RewrittenReferences rewritten =
        RewriteReferences(text, pagePath, files, funnel, literal, delivery, siteAddresses);

    const QByteArray assetBase = GetAssetUrlPrefix().toUtf8();
    PageWriter writer(role);
    ConvertedPage converted;
    converted.text = ApplyReferenceEdits(
        text, rewritten.edits,
        [&](QByteArray& out, ReferenceEdit::Address address, int n) {
            switch (address) {
            case ReferenceEdit::Address::AssetBase:
                writer.code(out, assetBase);
                break;
            case ReferenceEdit::Address::Funnel:
                writer.code(out, kFunnelUrlCode);
                break;
            case ReferenceEdit::Address::Delivery:
                writer.code(out, DeliveryUrlCode(n));
                break;
            case ReferenceEdit::Address::None:
                break;
            }
        },
        std::ref(writer));
    writer.finish(converted.text);
    converted.notes = std::move(rewritten.notes);
    converted.referenced = std::move(rewritten.referenced);
    converted.delivered = std::move(rewritten.delivered);
    converted.scriptStrings = rewritten.scriptStrings;
    converted.localAddresses = rewritten.localAddresses;
    converted.hosts = std::move(rewritten.hosts);
    return converted;
}

} // namespace builder
