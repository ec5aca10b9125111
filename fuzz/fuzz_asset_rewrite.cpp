// The one-pass asset-path rewrite must give exactly what the literal rule gives: one whole-text
// replacement of "file" by "<prefix>file" per listed file, in list order.

#include "builder/asset_rewrite.h"
#include "builder/plugin_header.h"
#include "fuzz_input.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::FuzzInput in(data, size);
    const std::uint8_t mode = in.byte();
    QString prefix;
    switch (mode % 4) {
    case 0:
        prefix = builder::GetAssetUrlPrefix();
        break;
    case 1:
        prefix = QString(QChar(0xE000)); // what ConvertPage passes
        break;
    default:
        // A quote in the prefix sends the fast version to the literal rule itself, whose result
        // can double with every file; the build's prefixes never hold one.
        prefix = in.piece().remove(QLatin1Char('"'));
        break;
    }
    // Quoted gaps are where matches happen: the page is pieces joined by quotes, and some files
    // are taken from those pieces.
    const QStringList parts = in.pieces(16);
    const QString text = parts.join(QLatin1Char('"'));
    QStringList files = in.pieces(6);
    while (!in.atEnd() && !parts.isEmpty() && files.size() < 24)
        files.insert(in.byte() % (files.size() + 1), parts.at(in.byte() % parts.size()));

    const QString fast = builder::RewriteAssetPaths(text, files, prefix);
    const QString literal = builder::RewriteAssetPathsReference(text, files, prefix);
    if (fast != literal) {
        std::fprintf(stderr,
                     "rewrite differs from the literal rule\ntext: %s\nprefix: %s\nfiles: %s\n"
                     "fast: %s\nliteral: %s\n",
                     qPrintable(text), qPrintable(prefix), qPrintable(files.join(QStringLiteral(" | "))),
                     qPrintable(fast), qPrintable(literal));
        std::abort();
    }
    return 0;
}
