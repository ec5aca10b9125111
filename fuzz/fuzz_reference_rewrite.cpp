// The reference rewrite on any page and any site: it changes bytes only inside the references
// the parser found, and the page it gives, as a browser receives it, holds the same elements with
// the same attributes and the same number of references. With the old rule's quoted paths added,
// its changes stand only there besides. References include the quoted strings of scripts and
// event handlers, and absolute addresses under the site's own addresses.

#include "builder/asset_rewrite.h"
#include "builder/page_references.h"
#include "builder/reference_rewrite.h"
#include "fuzz_input.h"

#include <gumbo.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

[[noreturn]] void fail(const char* what, const QByteArray& page, const QByteArray& out)
{
    std::fprintf(stderr, "%s\npage: %s\nrewritten: %s\n", what, page.constData(), out.constData());
    std::abort();
}

// Each element in document order: its tag, namespace and attribute names.
std::vector<std::string> outline(const QByteArray& page)
{
    std::vector<std::string> out;
    GumboOutput* parsed =
        gumbo_parse_with_options(&kGumboDefaultOptions, page.constData(), std::size_t(page.size()));
    std::vector<const GumboNode*> stack{parsed->document};
    while (!stack.empty()) {
        const GumboNode* node = stack.back();
        stack.pop_back();
        const GumboVector* children = nullptr;
        if (node->type == GUMBO_NODE_DOCUMENT) {
            children = &node->v.document.children;
        } else if (node->type == GUMBO_NODE_ELEMENT || node->type == GUMBO_NODE_TEMPLATE) {
            const GumboElement& e = node->v.element;
            std::string line = std::to_string(int(e.tag)) + "/" + std::to_string(int(e.tag_namespace));
            if (e.tag == GUMBO_TAG_UNKNOWN && e.original_tag.data) {
                GumboStringPiece name = e.original_tag;
                gumbo_tag_from_original_text(&name);
                line += std::string(name.data, name.length);
            }
            for (unsigned i = 0; i < e.attributes.length; ++i)
                line += std::string(" ") + static_cast<const GumboAttribute*>(e.attributes.data[i])->name;
            out.push_back(line);
            children = &e.children;
        }
        if (children) {
            for (unsigned i = children->length; i > 0; --i)
                stack.push_back(static_cast<const GumboNode*>(children->data[i - 1]));
        }
    }
    gumbo_destroy_output(&kGumboDefaultOptions, parsed);
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::FuzzInput in(data, size);
    const QString text = in.piece();
    const QByteArray page = text.toUtf8();
    // A listed file always has a name.
    QStringList files = in.pieces(8);
    files.removeAll(QString());
    const QString pagePath = files.value(in.byte() % 4, QStringLiteral("index.html"));
    const builder::FunnelPages funnel{files.value(0), files.value(1)};

    // Half the runs also hold back what the download page alone links to.
    builder::DeliveryRule delivery;
    delivery.notDelivered.insert(files.value(2));
    const builder::SiteFiles site(files);
    const builder::DeliveryRule* rule = in.byte() & 1 ? &delivery : nullptr;
    // Half the runs take absolute addresses on two hosts, one with a folder, as the site's own.
    QList<builder::SiteAddress> addresses;
    if (in.byte() & 1) {
        addresses << *builder::ParseSiteAddress(u"http://127.0.0.1:4000/")
                  << *builder::ParseSiteAddress(u"https://www.old-domain.com/site/");
    }
    const std::vector<builder::PageReference> refs = builder::FindReferences(page);
    const auto inAReference = [&](const builder::ReferenceEdit& e) {
        return std::any_of(refs.begin(), refs.end(), [&](const builder::PageReference& r) {
            return r.begin <= e.begin && e.end <= r.end;
        });
    };
    // Changes come in page order, none overlapping another, and copy only from what they replace.
    const auto ordered = [&](const std::vector<builder::ReferenceEdit>& edits) {
        qsizetype last = 0;
        for (const builder::ReferenceEdit& e : edits) {
            if (e.begin < last || e.end < e.begin ||
                (e.copyTo > e.copyFrom && (e.copyFrom < e.begin || e.copyTo > e.end)))
                return false;
            last = e.end;
        }
        return true;
    };

    // The rewrite of references alone: every change inside a reference the parser found, and the
    // page a browser receives holds the same elements, attributes and number of references.
    const builder::RewrittenReferences out =
        builder::RewriteReferences(page, pagePath, site, funnel, {}, rule, addresses);
    if (!ordered(out.edits) || !std::all_of(out.edits.begin(), out.edits.end(), inAReference))
        fail("a change outside a reference", page, page);
    const QByteArray shown = builder::ApplyReferenceEdits(
        page, out.edits,
        [](QByteArray& o, builder::ReferenceEdit::Address a, int) {
            o.append(a == builder::ReferenceEdit::Address::AssetBase ? "http://wp/p/"
                     : a == builder::ReferenceEdit::Address::Funnel  ? "http://wp/funnel/?p=1"
                                                                     : "http://wp/funnel/?k=1&amp;f=2");
        },
        [](QByteArray& o, QByteArrayView t) { o.append(t); });
    if (outline(shown) != outline(page))
        fail("the rewritten page holds other elements or attributes", page, shown);
    if (builder::FindReferences(shown).size() != refs.size())
        fail("the rewritten page holds another number of references", page, shown);

    // With the old rule's quoted paths: those changes stand where it puts its prefix, the rest inside
    // references, as before.
    const std::vector<qsizetype> literal = builder::LiteralRuleMatchesInUtf8(text, files);
    const builder::RewrittenReferences both =
        builder::RewriteReferences(page, pagePath, site, funnel, literal, rule, addresses);
    for (const builder::ReferenceEdit& e : both.edits) {
        if (!inAReference(e) && !std::binary_search(literal.begin(), literal.end(), e.begin))
            fail("a change neither inside a reference nor where the old rule puts its prefix", page, page);
    }
    if (!ordered(both.edits))
        fail("changes out of order or overlapping", page, page);
    return 0;
}
