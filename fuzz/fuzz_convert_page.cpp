// ConvertPage on any page: the only PHP in the result is the tool's own fragments, and a page
// without markup comes out as the literal rule makes it, with its tags filled in.

#include "builder/asset_rewrite.h"
#include "builder/page_converter.h"
#include "builder/plugin_header.h"
#include "fuzz_input.h"

#include <cstdio>
#include <cstdlib>
#include <utility>

using builder::PageRole;

namespace {

const QString kAssetBase = QStringLiteral("http://wp/p/");
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
        {builder::GetAssetUrlPrefix(), kAssetBase},
        {QString::fromLatin1(builder::kFunnelUrlCode), QStringLiteral("http://wp/funnel/")},
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
                // Every fragment ends in "?>", and PHP drops the one line break that follows it.
                const QStringView rest = QStringView(converted).sliced(i);
                i += rest.startsWith(u"\r\n")                             ? 2
                     : (rest.startsWith(u'\n') || rest.startsWith(u'\r')) ? 1
                                                                          : 0;
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
    const QString page = in.piece();
    const QStringList files = in.pieces(6);
    const builder::FunnelPages funnel{files.value(0), files.value(1)};

    const QString converted =
        QString::fromUtf8(builder::ConvertPage(page, files.value(0, QStringLiteral("index.html")),
                                               builder::SiteFiles(files), funnel, role)
                              .text);
    QString shown;
    if (!render(converted, role, &shown))
        fail("PHP code that the tool did not write", page, converted);

    // Without markup only the literal rule applies. Funnel pages go to the funnel's address, and a
    // file whose name holds the base would chain under the literal rule.
    if (page.contains(QLatin1Char('<')) || page.contains(QChar(0xFFFD)))
        return 0;
    for (const QString& f : files) {
        if (f.contains(kAssetBase) || f == funnel.front || f == funnel.download || f.contains(QChar(0xFFFD)))
            return 0;
    }
    QString expected = builder::RewriteAssetPathsReference(page, files, kAssetBase);
    const QStringList tags =
        role == PageRole::FrontEnd
            ? QStringList{QStringLiteral("#front#"), QStringLiteral("#FRONT#"), QStringLiteral("#Front#")}
            : QStringList{QStringLiteral("#back#"), QStringLiteral("#BACK#"), QStringLiteral("#Back#")};
    for (const QString& tag : tags)
        expected.replace(tag, kTagOutput);
    // Text goes out as UTF-8: a lone surrogate cannot, on either side.
    if (shown != QString::fromUtf8(expected.toUtf8()))
        fail("the printed page is not the page with its references rewritten", page, converted);
    return 0;
}
