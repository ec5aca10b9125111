// What the identifier, name and header checks accept is safe to use: an accepted identifier is a
// plain lower-case folder name and PHP prefix, an accepted name gives a ZIP name that is one plain
// file name, and an accepted header closes its comment only at its end and breaks no value.

#include "builder/plugin_header.h"
#include "builder/plugin_rules.h"
#include "fuzz_input.h"

#include <QFile>

#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char* what, const QString& value)
{
    std::fprintf(stderr, "%s\nvalue: %s\n", what, value.toUtf8().toHex(' ').constData());
    std::abort();
}

bool isAsciiIdentifier(const QString& id)
{
    if (id.isEmpty() || id.size() > builder::kMaxIdentifierLength)
        return false;
    for (qsizetype i = 0; i < id.size(); ++i) {
        const char16_t c = id[i].unicode();
        const bool letter = c >= u'a' && c <= u'z';
        if (!(letter || (i > 0 && ((c >= u'0' && c <= u'9') || c == u'_'))))
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::FuzzInput in(data, size);
    builder::PluginDetails d;
    d.identifier = in.piece();
    d.name = in.piece();
    d.uri = in.piece();
    d.description = in.piece();
    d.version = in.piece();
    d.author = in.piece();
    d.authorUri = in.piece();
    d.license = in.piece();

    if (builder::IdentifierProblem(d.identifier).isEmpty() && !isAsciiIdentifier(d.identifier))
        fail("an identifier that is no plain lower-case ASCII name was accepted", d.identifier);

    if (builder::PluginNameProblem(d.name).isEmpty()) {
        const QString archive = builder::ArchiveName(d.name) + QStringLiteral(".zip");
        for (const QChar c : archive) {
            if (c == u'/' || c.category() == QChar::Other_Control || c == QChar::LineSeparator ||
                c == QChar::ParagraphSeparator)
                fail("an accepted name gives a ZIP name with a separator or a control character", d.name);
        }
        if (QFile::encodeName(archive).size() > 255)
            fail("an accepted name gives a ZIP name longer than a file name can be", d.name);
        // Inside a path, as the build uses it (a leading U+FEFF alone would read as a byte-order mark).
        const QString path = QStringLiteral("/output/") + archive;
        if (QFile::decodeName(QFile::encodeName(path)) != path)
            fail("an accepted name gives a ZIP name that is not the name written to disk", d.name);
    }

    if (builder::HeaderValuesProblem(d).isEmpty()) {
        const QString header = builder::BuildPluginHeader(d.name, d.uri, d.description, d.version, d.author,
                                                          d.authorUri, d.license);
        const QString end = QStringLiteral("\r\n*/\r\n?>");
        if (!header.startsWith(QStringLiteral("<?php\r\n/*\r\n")) || !header.endsWith(end))
            fail("the header block lost its frame", header);
        if (header.indexOf(QStringLiteral("*/")) != header.size() - end.size() + 2)
            fail("an accepted header closes its comment before its end", header);
        qsizetype breaks = 0;
        for (const QChar c : header)
            breaks += builder::IsLineBreak(c) ? 1 : 0;
        if (breaks != 20) // the ten CR LF pairs between the eleven lines
            fail("an accepted header has a line break inside a value", header);
    }
    return 0;
}
