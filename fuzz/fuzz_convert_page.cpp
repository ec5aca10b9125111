// ConvertPage on any page: the only PHP in the result is the tool's own fragments, and what PHP
// prints from it is the page with its file references rewritten and its tags filled in.

#include "builder/asset_rewrite.h"
#include "builder/page_converter.h"
#include "builder/plugin_header.h"
#include "builder/plugin_rules.h"
#include "fuzz_input.h"

#include <cstdio>
#include <cstdlib>
#include <utility>

using builder::PageRole;

namespace {

const QString kWpUrl = QStringLiteral("http://wp");
const QString kTagOutput = QStringLiteral("[tag]");

[[noreturn]] void fail(const char* what, const QString& page, const QString& out)
{
    std::fprintf(stderr, "%s\npage: %s\nconverted: %s\n", what, qPrintable(page), qPrintable(out));
    std::abort();
}

// What PHP prints for the converted page, given what each of the tool's fragments prints; a
// "<?" that starts none of them is PHP code from the page.
bool render(const QString& converted, PageRole role, QString* shown)
{
    const std::pair<QString, QString> fragments[] = {
        {QStringLiteral("<?php ?>"), QString()},
        {QStringLiteral("<?php bloginfo('wpurl'); ?>"), kWpUrl},
        {QString::fromUtf16(role == PageRole::FrontEnd ? builder::kFrontTagCode : builder::kBackTagCode),
         kTagOutput},
    };
    shown->clear();
    qsizetype i = 0;
    while (i < converted.size()) {
        const qsizetype open = converted.indexOf(QStringLiteral("<?"), i);
        if (open < 0) {
            shown->append(QStringView(converted).sliced(i));
            break;
        }
        shown->append(QStringView(converted).sliced(i, open - i));
        bool known = false;
        for (const auto& [code, printed] : fragments) {
            if (QStringView(converted).sliced(open).startsWith(code)) {
                shown->append(printed);
                i = open + code.size();
                known = true;
                break;
            }
        }
        if (!known)
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::FuzzInput in(data, size);
    const PageRole role = in.byte() & 1 ? PageRole::FrontEnd : PageRole::Download;
    QString identifier = in.piece();
    if (!builder::IdentifierProblem(identifier).isEmpty())
        identifier = QStringLiteral("p4217");
    const QString page = in.piece();
    QStringList files = in.pieces(6);

    const QString converted = builder::ConvertPage(page, files, identifier, role);
    QString shown;
    if (!render(converted, role, &shown))
        fail("PHP code that the tool did not write", page, converted);

    // A file whose name is itself prefix + another name would chain under the literal rule.
    for (const QString& f : files) {
        if (f.contains(QStringLiteral("wp-content")))
            return 0;
    }
    const QString prefix =
        kWpUrl + QStringLiteral("/wp-content/plugins/") + identifier + QStringLiteral("/modules/template/");
    QString expected = builder::RewriteAssetPathsReference(page, files, prefix);
    const QStringList tags =
        role == PageRole::FrontEnd
            ? QStringList{QStringLiteral("#front#"), QStringLiteral("#FRONT#"), QStringLiteral("#Front#")}
            : QStringList{QStringLiteral("#back#"), QStringLiteral("#BACK#"), QStringLiteral("#Back#")};
    for (const QString& tag : tags)
        expected.replace(tag, kTagOutput);
    if (shown != expected)
        fail("the printed page is not the page with its references rewritten", page, converted);
    return 0;
}
