#include "builder/page_converter.h"

#include "builder/asset_rewrite.h"
#include "builder/plugin_header.h"
#include "support/mortar_parser.h"

#include <stdexcept>
#include <utility>
#include <vector>

namespace builder {
namespace {

// A code unit that occurs neither in the page nor in any file name, to mark where the asset
// prefix goes until the page's own "<?" have been neutralised.
QChar unusedCodeUnit(const QString& page, const QStringList& files)
{
    std::vector<bool> used(0x10000, false);
    for (const QChar c : page)
        used[c.unicode()] = true;
    for (const QString& f : files) {
        for (const QChar c : f)
            used[c.unicode()] = true;
    }
    const std::pair<char16_t, char16_t> ranges[] = {{0xE000, 0xF8FF}, {0xFDD0, 0xFDEF}, {0x0100, 0xD7FF}};
    for (const auto& [first, last] : ranges) {
        for (char32_t u = first; u <= last; ++u) {
            if (!used[u])
                return QChar(char16_t(u));
        }
    }
    throw std::runtime_error("the page uses every character there is");
}

} // namespace

QString ConvertPage(QString page, const QStringList& files, const QString& identifier, PageRole role)
{
    using support::MortarParser;
    const QChar marker = unusedCodeUnit(page, files);
    // Each step's result replaces the text before the next, so two copies at most are alive.
    QString text = std::move(page);
    text = RewriteAssetPaths(text, files, QString(marker));
    text = MortarParser::ReplaceText(text, QStringLiteral("<?"), QStringLiteral("<<?php ?>?"));
    text = MortarParser::ReplaceText(text, QString(marker), GetAssetUrlPrefix(identifier));

    const bool front = role == PageRole::FrontEnd;
    const QString code = QString::fromUtf16(front ? kFrontTagCode : kBackTagCode);
    const QStringList forms =
        front ? QStringList{QStringLiteral("#front#"), QStringLiteral("#FRONT#"), QStringLiteral("#Front#")}
              : QStringList{QStringLiteral("#back#"), QStringLiteral("#BACK#"), QStringLiteral("#Back#")};
    for (const QString& form : forms)
        text = MortarParser::ReplaceText(text, form, code);
    return text;
}

} // namespace builder
