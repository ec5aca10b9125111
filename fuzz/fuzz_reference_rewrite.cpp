// The reference rewrite on any page and any site: it changes bytes only inside the references
// the parser found, and the page it gives, as a browser receives it, holds the same elements
// with the same attributes and the same number of references.

#include "builder/page_references.h"
#include "builder/reference_rewrite.h"
#include "fuzz_input.h"

#include <gumbo.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const QByteArray kAsset = QStringLiteral(u"\uE000").toUtf8();
const QByteArray kLink = QStringLiteral(u"\uE001").toUtf8();
const QByteArray kDelivery = QStringLiteral(u"\uE002").toUtf8();

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
    const QByteArray page = in.piece().toUtf8();
    if (page.contains(kAsset) || page.contains(kLink) || page.contains(kDelivery))
        return 0; // the marks are chosen so that the page never holds them
    const QStringList files = in.pieces(8);
    const QString pagePath = files.value(in.byte() % 4, QStringLiteral("index.html"));
    const builder::FunnelPages funnel{files.value(0), files.value(1)};

    // Half the runs also hold back what the download page alone links to.
    builder::DeliveryRule delivery;
    delivery.notDelivered.insert(files.value(2));
    const builder::RewrittenReferences out =
        builder::RewriteReferences(page, pagePath, builder::SiteFiles(files), funnel,
                                   {kAsset, kLink, kDelivery}, in.byte() & 1 ? &delivery : nullptr);

    // Every change lies inside one reference, and the changes are all there is.
    const std::vector<builder::PageReference> refs = builder::FindReferences(page);
    QByteArray rebuilt;
    qsizetype copied = 0;
    std::size_t r = 0;
    for (const builder::ReferenceEdit& e : out.edits) {
        while (r < refs.size() && refs[r].end < e.begin)
            ++r;
        if (e.begin < copied || r == refs.size() || e.begin < refs[r].begin || e.end > refs[r].end)
            fail("a change outside a reference", page, out.text);
        rebuilt += page.mid(copied, e.begin - copied) + e.with;
        copied = e.end;
    }
    rebuilt += page.mid(copied);
    if (rebuilt != out.text)
        fail("the text is not the page with its changes", page, out.text);

    // As a browser receives it: the marks print addresses.
    QByteArray shown = out.text;
    shown.replace(kAsset, "http://wp/p/").replace(kLink, "http://wp/funnel/?p=1");
    for (qsizetype at = shown.indexOf(kDelivery); at >= 0; at = shown.indexOf(kDelivery, at)) {
        const qsizetype close = shown.indexOf(kDelivery, at + kDelivery.size());
        if (close < 0)
            fail("a delivery mark without its end", page, out.text);
        shown.replace(at, close + kDelivery.size() - at, "http://wp/funnel/?k=1&amp;f=2");
    }
    if (outline(shown) != outline(page))
        fail("the rewritten page holds other elements or attributes", page, out.text);
    if (builder::FindReferences(shown).size() != refs.size())
        fail("the rewritten page holds another number of references", page, out.text);
    return 0;
}
