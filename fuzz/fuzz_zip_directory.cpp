// The central directory reader on any bytes: it either refuses them with a reason or reads entries
// that the writer, taking the archive over, writes out again (with the plain records or with the
// 64-bit ones, as the first byte picks) so that reading its result gives the same entries, moved
// by nothing. The entries' data is copied from before the directory, whatever it holds.

#include "builder/zip_writer.h"
#include "support/io_error.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

[[noreturn]] void fail(const char* what, const QByteArray& bytes)
{
    std::fprintf(stderr, "%s\narchive (hex): %s\n", what, bytes.toHex(' ').constData());
    std::abort();
}

bool sameEntry(const builder::StoredZipWriter::CentralEntry& a,
               const builder::StoredZipWriter::CentralEntry& b)
{
    return a.method == b.method && a.flags == b.flags && a.crc == b.crc && a.size == b.size &&
           a.packedSize == b.packedSize && a.offset == b.offset && a.name == b.name && a.extra == b.extra &&
           a.comment == b.comment && a.externalAttributes == b.externalAttributes && a.time == b.time &&
           a.date == b.date;
}

// The entries of the archive in bytes and where its directory starts; false when refused (with
// the reader's number and the archive's name, else the run fails).
bool entriesOf(const QByteArray& bytes, const QString& name,
               std::vector<builder::StoredZipWriter::CentralEntry>& entries, std::uint64_t& start)
{
    try {
        const builder::CentralDirectory cd = builder::FindCentralDirectory(bytes, 0, name);
        if (!cd.complete)
            fail("a directory starting before offset 0 read as incomplete", bytes);
        builder::ForEachCentralEntry(
            cd, name, [&](builder::StoredZipWriter::CentralEntry& e) { entries.push_back(e); });
        start = cd.start;
        return true;
    } catch (const support::IoError& e) {
        if (e.number() != builder::kZipOtherUnreadable || !e.description().contains(name))
            fail("a refusal without its number or the archive's name", bytes);
        return false;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    const bool zip64 = data[0] & 1;
    const QByteArray bytes(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    std::vector<builder::StoredZipWriter::CentralEntry> read;
    std::uint64_t start = 0;
    if (!entriesOf(bytes, QStringLiteral("fuzz.zip"), read, start))
        return 0;

    static const QString folder =
        QDir::tempPath() + QStringLiteral("/vantor-fuzz-zip-%1").arg(QCoreApplication::applicationPid());
    QDir().mkpath(folder);
    const QString in = folder + QStringLiteral("/in.zip"), out = folder + QStringLiteral("/out.zip");
    QFile f(in);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        std::abort();
    f.close();
    try {
        builder::StoredZipWriter writer(out, zip64 ? builder::ZipLimits{0, 0} : builder::ZipLimits{});
        writer.appendArchive(in);
        writer.finish();
    } catch (const support::IoError& e) {
        // Only the layout rule may refuse what the reader took: entries that do not lie front to back.
        if (e.number() != builder::kZipOtherUnreadable)
            fail("taking over a readable archive failed", bytes);
        return 0;
    }
    QFile written(out);
    if (!written.open(QIODevice::ReadOnly))
        std::abort();
    const QByteArray again = written.readAll();
    std::vector<builder::StoredZipWriter::CentralEntry> reread;
    std::uint64_t restart = 0;
    if (!entriesOf(again, out, reread, restart))
        fail("the writer's own archive does not read back", bytes);
    if (reread.size() != read.size() || restart != start)
        fail("the archive written back has other entries or another layout", bytes);
    for (std::size_t i = 0; i < read.size(); ++i) {
        if (!sameEntry(read[i], reread[i]))
            fail("an entry changed on its way through the writer", bytes);
    }
    if (again.first(qsizetype(start)) != bytes.first(qsizetype(start)))
        fail("the entries' data changed on its way through the writer", bytes);
    return 0;
}
