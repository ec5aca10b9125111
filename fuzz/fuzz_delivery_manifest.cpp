// The delivery list as PHP reads it: whatever the names hold, the file stays in PHP code from its
// first byte to its last, its code outside string literals is the same as for empty names, and its
// literals read back as exactly the names given, in their order, followed by each stored file's
// entry. The literals are decoded as PHP decodes single-quoted strings.

#include "builder/delivery_store.h"
#include "fuzz_input.h"

#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char* what, const QByteArray& php)
{
    std::fprintf(stderr, "%s\nmanifest (hex): %s\n", what, php.toHex(' ').constData());
    std::abort();
}

struct Lexed
{
    QByteArray code;            // everything outside string literals, each literal as ''
    QList<QByteArray> literals; // the literals' values
};

// Reads the file as PHP's scanner does for what the writer may use: the open tag, comments and
// single-quoted strings. Anything that would leave PHP code or start another kind of string fails.
Lexed lex(const QByteArray& php)
{
    if (!php.startsWith("<?php\n"))
        fail("the list does not open with <?php", php);
    Lexed out;
    for (qsizetype i = 6; i < php.size();) {
        const QByteArrayView rest = QByteArrayView(php).sliced(i);
        if (rest.startsWith("?>"))
            fail("the list leaves PHP code", php);
        if (rest.startsWith("/*")) {
            const qsizetype end = php.indexOf("*/", i + 2);
            if (end < 0)
                fail("a comment of the list never closes", php);
            i = end + 2;
        } else if (rest.startsWith("//") || rest.startsWith("#") || rest.front() == '"' ||
                   rest.front() == '`' || rest.startsWith("<<<")) {
            fail("the list holds a line comment, a double-quoted string or a heredoc", php);
        } else if (rest.front() == '\'') {
            QByteArray value;
            for (++i;; ++i) {
                if (i >= php.size())
                    fail("a string of the list never closes", php);
                if (php[i] == '\'')
                    break;
                if (php[i] == '\\' && i + 1 < php.size() && (php[i + 1] == '\\' || php[i + 1] == '\''))
                    ++i;
                value += php[i];
            }
            ++i;
            out.literals << value;
            out.code += "''";
        } else {
            out.code += php[i++];
        }
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::FuzzInput in(data, size);
    const QStringList names = in.pieces(6);
    QList<builder::StoredFile> files;
    QList<builder::StoredFile> unnamed;
    for (const QString& name : names) {
        builder::StoredFile f{name, QStringLiteral("%1.php").arg(in.byte(), 32, 16, QLatin1Char('0')),
                              qint64(sizeof builder::kStoreGuard - 1), qint64(in.byte()) << in.byte() % 40,
                              QByteArray(64, "0123456789abcdef"[in.byte() % 16])};
        files << f;
        f.name.clear();
        unnamed << f;
    }

    const QByteArray php = builder::DeliveryManifest(files);
    const Lexed got = lex(php);
    if (got.code != lex(builder::DeliveryManifest(unnamed)).code)
        fail("names change the list's code outside its strings", php);

    QList<QByteArray> expected{"ABSPATH", "files"};
    for (const QString& name : names)
        expected << name.toUtf8();
    expected << "stored";
    for (const builder::StoredFile& f : files)
        expected << "file" << QByteArray(builder::kStoreFolder) + '/' + f.storedName.toUtf8() << "offset"
                 << "size"
                 << "sha256" << f.sha256;
    if (got.literals != expected)
        fail("the list's strings do not read back as the names and entries given", php);
    return 0;
}
