#include "builder/zip_writer.h"

#include "builder/build_stop.h"
#include "support/crc32.h"
#include "support/io_error.h"
#include "support/read_file.h"

#include <QDateTime>
#include <QFile>
#include <QStringDecoder>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <tuple>

namespace builder {

using support::IoError;

// The directory of an archive taken over, and by how much its entries moved.
struct StoredZipWriter::TakenDirectory
{
    CentralDirectory directory;
    std::uint64_t shift = 0;
    QString path;
};

namespace {

constexpr std::uint32_t kLocalSignature = 0x04034b50;
constexpr std::uint32_t kCentralSignature = 0x02014b50;
constexpr std::uint32_t kEndSignature = 0x06054b50;
constexpr std::uint32_t kEnd64Signature = 0x06064b50;
constexpr std::uint32_t kEnd64LocatorSignature = 0x07064b50;
constexpr std::uint16_t kZip64ExtraId = 0x0001;
constexpr std::uint16_t kUtf8NameFlag = 0x0800;
// Made on Unix (3) by a writer of format 2.0, as 7za's entries of the same archive say.
constexpr std::uint16_t kMadeBy = (3 << 8) | 20;
constexpr std::uint16_t kNeededPlain = 10;
constexpr std::uint16_t kNeededZip64 = 45;
constexpr std::size_t kEndSize = 22;
constexpr std::size_t kEnd64Size = 56;
constexpr std::size_t kLocatorSize = 20;
constexpr std::size_t kCentralSize = 46;
constexpr qint64 kChunk = 128 * 1024;

// Little-endian bytes appended to a record.
class RecordBytes
{
public:
    RecordBytes& u16(std::uint64_t v) { return put(v, 2); }
    RecordBytes& u32(std::uint64_t v) { return put(v, 4); }
    RecordBytes& u64(std::uint64_t v) { return put(v, 8); }
    RecordBytes& bytes(QByteArrayView b)
    {
        m_bytes.append(b.data(), b.size());
        return *this;
    }
    const QByteArray& data() const { return m_bytes; }

private:
    RecordBytes& put(std::uint64_t v, int n)
    {
        for (int i = 0; i < n; ++i)
            m_bytes.append(char((v >> (8 * i)) & 0xFF));
        return *this;
    }
    QByteArray m_bytes;
};

// Reads little-endian values from bytes, failing (not reading past the end) when they run out.
class RecordReader
{
public:
    RecordReader(QByteArrayView bytes, qsizetype at) : m_bytes(bytes), m_at(at) {}
    bool has(qsizetype n) const { return m_at >= 0 && n >= 0 && m_at <= m_bytes.size() - n; }
    std::uint64_t get(int n)
    {
        std::uint64_t v = 0;
        for (int i = 0; i < n; ++i)
            v |= std::uint64_t(std::uint8_t(m_bytes[m_at + i])) << (8 * i);
        m_at += n;
        return v;
    }
    void skip(qsizetype n) { m_at += n; }
    QByteArray take(qsizetype n)
    {
        const QByteArray b = m_bytes.sliced(m_at, n).toByteArray();
        m_at += n;
        return b;
    }
    qsizetype at() const { return m_at; }

private:
    QByteArrayView m_bytes;
    qsizetype m_at;
};

IoError unreadable(const QString& path, const QString& why)
{
    return IoError(kZipOtherUnreadable,
                   QStringLiteral("The archive '%1' cannot be read as a ZIP: %2.").arg(path, why));
}

// The extra fields without the 64-bit record; the record's values replace the fields set to
// their all-ones mark, in the format's order.
QByteArray takeZip64Values(const QByteArray& extra, StoredZipWriter::CentralEntry& e, bool sizeMarked,
                           bool packedMarked, bool offsetMarked, const QString& path)
{
    QByteArray kept;
    RecordReader r(extra, 0);
    while (r.has(4)) {
        const qsizetype start = r.at();
        const auto id = std::uint16_t(r.get(2));
        const auto length = qsizetype(r.get(2));
        if (!r.has(length))
            throw unreadable(path, QStringLiteral("an extra field runs past its entry"));
        if (id != kZip64ExtraId) {
            kept += extra.sliced(start, 4 + length);
            r.take(length);
            continue;
        }
        RecordReader values(QByteArrayView(extra).sliced(r.at(), length), 0);
        for (auto [marked, target] : {std::pair{sizeMarked, &e.size}, std::pair{packedMarked, &e.packedSize},
                                      std::pair{offsetMarked, &e.offset}}) {
            if (!marked)
                continue;
            if (!values.has(8))
                throw unreadable(path, QStringLiteral("a 64-bit record lacks a value"));
            *target = values.get(8);
        }
        r.take(length);
    }
    if (r.at() != extra.size())
        throw unreadable(path, QStringLiteral("an extra field is cut short"));
    return kept;
}

StoredZipWriter::CentralEntry readCentralEntry(RecordReader& r, const QString& path)
{
    if (!r.has(qsizetype(kCentralSize)) || r.get(4) != kCentralSignature)
        throw unreadable(path, QStringLiteral("an entry of the central directory is damaged"));
    StoredZipWriter::CentralEntry e;
    e.madeBy = std::uint16_t(r.get(2));
    e.needed = std::uint16_t(r.get(2));
    e.flags = std::uint16_t(r.get(2));
    e.method = std::uint16_t(r.get(2));
    e.time = std::uint16_t(r.get(2));
    e.date = std::uint16_t(r.get(2));
    e.crc = std::uint32_t(r.get(4));
    e.packedSize = r.get(4);
    e.size = r.get(4);
    const auto nameLength = qsizetype(r.get(2));
    const auto extraLength = qsizetype(r.get(2));
    const auto commentLength = qsizetype(r.get(2));
    const std::uint64_t disk = r.get(2);
    e.internalAttributes = std::uint16_t(r.get(2));
    e.externalAttributes = std::uint32_t(r.get(4));
    e.offset = r.get(4);
    if (!r.has(nameLength + extraLength + commentLength))
        throw unreadable(path, QStringLiteral("an entry of the central directory is cut short"));
    e.name = r.take(nameLength);
    const QByteArray extra = r.take(extraLength);
    e.comment = r.take(commentLength);
    const bool sizeMarked = e.size == 0xFFFFFFFFu;
    const bool packedMarked = e.packedSize == 0xFFFFFFFFu;
    const bool offsetMarked = e.offset == 0xFFFFFFFFu;
    e.extra = takeZip64Values(extra, e, sizeMarked, packedMarked, offsetMarked, path);
    if (disk != 0 && disk != 0xFFFF)
        throw unreadable(path, QStringLiteral("it spans several disks"));
    return e;
}

// Where the end record starts in bytes: the last signature whose comment length reaches exactly
// to the end.
qsizetype findEndRecord(QByteArrayView bytes)
{
    for (qsizetype at = bytes.size() - qsizetype(kEndSize); at >= 0; --at) {
        RecordReader r(bytes, at);
        if (r.get(4) != kEndSignature)
            continue;
        r.skip(16);
        if (at + qsizetype(kEndSize) + qsizetype(r.get(2)) == bytes.size())
            return at;
    }
    return -1;
}

struct EndValues
{
    std::uint64_t entries = 0;
    std::uint64_t size = 0;
    std::uint64_t start = 0;
};

// The values of the end record, from its 64-bit counterpart where the archive has one.
EndValues readEndValues(QByteArrayView bytes, std::uint64_t bytesOffset, qsizetype end, const QString& path)
{
    RecordReader r(bytes, end + 4);
    const std::uint64_t disk = r.get(2), cdDisk = r.get(2);
    r.skip(2);
    EndValues v;
    v.entries = r.get(2);
    v.size = r.get(4);
    v.start = r.get(4);
    // Bytes that only look like a locator (the last entry's fields may hold any) point at no
    // 64-bit record: then the plain values hold, unless they are marked as kept there.
    const bool marked = v.entries == 0xFFFF || v.size == 0xFFFFFFFFu || v.start == 0xFFFFFFFFu;
    if (end >= qsizetype(kLocatorSize)) {
        RecordReader locator(bytes, end - qsizetype(kLocatorSize));
        if (locator.get(4) == kEnd64LocatorSignature) {
            locator.skip(4);
            const std::uint64_t end64 = locator.get(8);
            RecordReader r64(bytes, end64 < bytesOffset || end64 - bytesOffset > std::uint64_t(end)
                                        ? -1
                                        : qsizetype(end64 - bytesOffset));
            if (r64.has(qsizetype(kEnd64Size)) && r64.get(4) == kEnd64Signature) {
                r64.skip(8 + 2 + 2 + 4 + 4 + 8);
                v.entries = r64.get(8);
                v.size = r64.get(8);
                v.start = r64.get(8);
                return v;
            }
            if (marked)
                throw unreadable(path, QStringLiteral("its 64-bit end record is missing or out of place"));
        }
    }
    if (disk != 0 || cdDisk != 0)
        throw unreadable(path, QStringLiteral("it spans several disks"));
    return v;
}

bool isUtf8(const QByteArray& name)
{
    if (std::all_of(name.begin(), name.end(), [](char c) { return std::uint8_t(c) < 0x80; }))
        return false; // plain ASCII needs no flag
    QStringDecoder decode(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    [[maybe_unused]] const QString text = decode(name);
    return !decode.hasError();
}

// The file's modification time as the format keeps it: local time in two-second steps, from 1980.
std::pair<std::uint16_t, std::uint16_t> dosTime(const QDateTime& modified)
{
    QDateTime t = modified.toLocalTime();
    if (!t.isValid() || t.date().year() < 1980)
        return {0, (1 << 5) | 1};
    if (t.date().year() > 2107)
        t = QDateTime(QDate(2107, 12, 31), QTime(23, 59, 58));
    const QDate d = t.date();
    const QTime h = t.time();
    return {std::uint16_t((h.hour() << 11) | (h.minute() << 5) | (h.second() / 2)),
            std::uint16_t(((d.year() - 1980) << 9) | (d.month() << 5) | d.day())};
}

// Why writing to the archive failed: the system's reason, with its number, where there is one.
IoError writeError(const QFile& file)
{
    if (errno != 0)
        return IoError::fromErrno(errno, QStringLiteral("Cannot write"), file.fileName());
    return IoError(kZipWriteFailed,
                   QStringLiteral("Cannot write '%1': %2").arg(file.fileName(), file.errorString()));
}

// Writes all of bytes, at offset at when it is not negative, else where the file stands.
void writeBytes(QFile& out, QByteArrayView bytes, qint64 at = -1)
{
    errno = 0;
    if ((at >= 0 && !out.seek(at)) || out.write(bytes.data(), bytes.size()) != bytes.size())
        throw writeError(out);
}

// Copies the file's size bytes into the archive (open in out, at its place already) and returns
// their CRC-32.
std::uint32_t copyData(const std::filesystem::path& file, std::uint64_t size, QFile& out, char* buffer,
                       const std::atomic<bool>* cancel)
{
    const auto cannotRead = [&](int error) {
        return IoError::fromErrno(error, QStringLiteral("Cannot read"), support::FromFsPath(file));
    };
    support::ReadFile in(file);
    if (!in.isOpen())
        throw cannotRead(in.openError());
    std::uint32_t crc = 0;
    for (std::uint64_t left = size; left > 0;) {
        if (cancel && cancel->load(std::memory_order_relaxed))
            throw BuildStopped();
        const auto want = qint64(std::min<std::uint64_t>(left, kChunk));
        const qint64 got = in.read(buffer, want);
        if (got < 0)
            throw cannotRead(errno);
        if (got != want) {
            throw IoError(kZipSourceChanged,
                          QStringLiteral("'%1' became shorter while it was being packed. Please try again.")
                              .arg(support::FromFsPath(file)));
        }
        crc = support::Crc32(crc, QByteArrayView(buffer, want));
        writeBytes(out, QByteArrayView(buffer, want));
        left -= std::uint64_t(want);
    }
    char more;
    const qint64 extra = in.read(&more, 1);
    if (extra < 0)
        throw cannotRead(errno);
    if (extra > 0) {
        throw IoError(kZipSourceChanged,
                      QStringLiteral("'%1' grew while it was being packed. Please try again.")
                          .arg(support::FromFsPath(file)));
    }
    return crc;
}

} // namespace

StoredZipWriter::StoredZipWriter(const QString& archivePath, ZipLimits limits)
    : m_path(archivePath), m_limits(limits)
{
    auto file = std::make_unique<QFile>(archivePath);
    errno = 0;
    if (!file->open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        throw IoError::fromErrno(errno ? errno : EIO, QStringLiteral("Cannot write"), archivePath);
    m_file = std::move(file);
}

StoredZipWriter::~StoredZipWriter() = default;

void StoredZipWriter::writeFailed() const
{
    throw writeError(*m_file);
}

void StoredZipWriter::writeAll(const char* data, std::size_t size)
{
    writeBytes(*m_file, QByteArrayView(data, qsizetype(size)));
    m_offset += size;
}

StoredZipWriter::CentralEntry StoredZipWriter::storedEntry(const Source& source, std::uint64_t offset) const
{
    std::error_code ec;
    const std::uint64_t size = std::filesystem::file_size(source.file, ec);
    const auto modified =
        ec ? std::filesystem::file_time_type() : std::filesystem::last_write_time(source.file, ec);
    const std::filesystem::perms mode =
        ec ? std::filesystem::perms() : std::filesystem::status(source.file, ec).permissions();
    if (ec)
        throw IoError::fromErrorCode(ec, QStringLiteral("Cannot read"), support::FromFsPath(source.file));
    CentralEntry e;
    e.madeBy = kMadeBy;
    e.flags = isUtf8(source.name) ? kUtf8NameFlag : 0;
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
        std::chrono::file_clock::to_sys(modified).time_since_epoch());
    std::tie(e.time, e.date) = dosTime(QDateTime::fromSecsSinceEpoch(seconds.count()));
    e.size = e.packedSize = size;
    // The Unix mode above the DOS attributes (here: an archived file), as 7za writes them.
    e.externalAttributes = (std::uint32_t(0100000 | std::uint32_t(mode)) << 16) | 0x8000 | 0x20;
    e.offset = offset;
    e.name = source.name;
    e.needed = size >= m_limits.offsetOrSize ? kNeededZip64 : kNeededPlain;
    return e;
}

std::uint64_t StoredZipWriter::localHeaderSize(const CentralEntry& e) const
{
    return 30 + std::uint64_t(e.name.size()) + (e.size >= m_limits.offsetOrSize ? 20 : 0);
}

QByteArray StoredZipWriter::localHeader(const CentralEntry& e) const
{
    const bool big = e.size >= m_limits.offsetOrSize;
    RecordBytes local;
    local.u32(kLocalSignature).u16(e.needed).u16(e.flags).u16(0).u16(e.time).u16(e.date).u32(e.crc);
    local.u32(big ? 0xFFFFFFFFu : e.size).u32(big ? 0xFFFFFFFFu : e.size).u16(std::uint64_t(e.name.size()));
    local.u16(big ? 20 : 0).bytes(e.name);
    if (big)
        local.u16(kZip64ExtraId).u16(16).u64(e.size).u64(e.size);
    return local.data();
}

void StoredZipWriter::addStoredFiles(const std::vector<Source>& files, int threads,
                                     const std::atomic<bool>* cancel)
{
    std::vector<CentralEntry> entries;
    std::uint64_t offset = m_offset;
    for (const Source& source : files) {
        entries.push_back(storedEntry(source, offset));
        offset += localHeaderSize(entries.back()) + entries.back().size;
    }
    std::atomic<std::size_t> next{0};
    std::atomic<bool> failed{false};
    std::mutex lock;
    std::exception_ptr failure;
    // Each worker writes whole entries at their own places through its own handle of the archive;
    // the CRC-32 goes into the local header once the data is through.
    const auto work = [&] {
        try {
            QFile out(m_path);
            errno = 0;
            if (!out.open(QIODevice::ReadWrite | QIODevice::Unbuffered))
                throw writeError(out);
            const std::unique_ptr<char[]> buffer(new char[kChunk]);
            for (std::size_t i; !failed && (i = next++) < entries.size();) {
                CentralEntry& e = entries[i];
                writeBytes(out, localHeader(e), qint64(e.offset));
                e.crc = copyData(files[i].file, e.size, out, buffer.get(), cancel);
                writeBytes(out, RecordBytes().u32(e.crc).data(), qint64(e.offset + 14));
            }
            errno = 0;
            if (!out.flush())
                throw writeError(out);
        } catch (...) {
            const std::lock_guard<std::mutex> hold(lock);
            if (!failure)
                failure = std::current_exception();
            failed = true;
        }
    };
    std::vector<std::thread> workers;
    for (int t = 1; t < std::max(1, threads) && std::size_t(t) < entries.size(); ++t)
        workers.emplace_back(work);
    work();
    for (std::thread& w : workers)
        w.join();
    if (failure)
        std::rethrow_exception(failure);
    m_offset = offset;
    if (!m_file->seek(qint64(m_offset)))
        writeFailed();
    for (CentralEntry& e : entries)
        m_entries.push_back(std::move(e));
}

QByteArray StoredZipWriter::centralRecord(const CentralEntry& e) const
{
    const bool bigSize = e.size >= m_limits.offsetOrSize;
    const bool bigPacked = e.packedSize >= m_limits.offsetOrSize;
    const bool bigOffset = e.offset >= m_limits.offsetOrSize;
    RecordBytes zip64;
    if (bigSize)
        zip64.u64(e.size);
    if (bigPacked)
        zip64.u64(e.packedSize);
    if (bigOffset)
        zip64.u64(e.offset);
    QByteArray extra = e.extra;
    if (!zip64.data().isEmpty())
        extra.prepend(RecordBytes()
                          .u16(kZip64ExtraId)
                          .u16(std::uint64_t(zip64.data().size()))
                          .bytes(zip64.data())
                          .data());
    const std::uint16_t needed = zip64.data().isEmpty() ? e.needed : std::max(e.needed, kNeededZip64);
    RecordBytes r;
    r.u32(kCentralSignature).u16(e.madeBy).u16(needed).u16(e.flags).u16(e.method).u16(e.time).u16(e.date);
    r.u32(e.crc).u32(bigPacked ? 0xFFFFFFFFu : e.packedSize).u32(bigSize ? 0xFFFFFFFFu : e.size);
    r.u16(std::uint64_t(e.name.size())).u16(std::uint64_t(extra.size())).u16(std::uint64_t(e.comment.size()));
    r.u16(0).u16(e.internalAttributes).u32(e.externalAttributes).u32(bigOffset ? 0xFFFFFFFFu : e.offset);
    r.bytes(e.name).bytes(extra).bytes(e.comment);
    return r.data();
}

CentralDirectory FindCentralDirectory(QByteArrayView bytes, std::uint64_t bytesOffset, const QString& path)
{
    const qsizetype end = findEndRecord(bytes);
    if (end < 0)
        throw unreadable(path, QStringLiteral("it has no end record"));
    const EndValues v = readEndValues(bytes, bytesOffset, end, path);
    CentralDirectory cd;
    cd.start = v.start;
    cd.entries = v.entries;
    if (v.start < bytesOffset)
        return cd;
    const std::uint64_t at = v.start - bytesOffset;
    if (at > std::uint64_t(end) || v.size > std::uint64_t(end) - at)
        throw unreadable(path, QStringLiteral("its central directory is out of place"));
    cd.records = bytes.sliced(qsizetype(at), qsizetype(v.size)).toByteArray();
    cd.complete = true;
    return cd;
}

void ForEachCentralEntry(const CentralDirectory& cd, const QString& path,
                         const std::function<void(StoredZipWriter::CentralEntry&)>& visit)
{
    RecordReader r(cd.records, 0);
    for (std::uint64_t i = 0; i < cd.entries; ++i) {
        StoredZipWriter::CentralEntry e = readCentralEntry(r, path);
        visit(e);
    }
    if (r.at() != cd.records.size())
        throw unreadable(path, QStringLiteral("its central directory holds more than its entries"));
}

void StoredZipWriter::appendArchive(const QString& otherPath)
{
    QFile other(otherPath);
    errno = 0;
    if (!other.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        throw IoError::fromErrno(errno ? errno : EIO, QStringLiteral("Cannot read"), otherPath);
    const auto readFailed = [&] {
        return IoError(kZipOtherUnreadable,
                       QStringLiteral("Cannot read '%1': %2").arg(otherPath, other.errorString()));
    };
    const qint64 size = other.size();
    const auto readFrom = [&](qint64 from) {
        QByteArray bytes;
        if (!other.seek(from) || (bytes = other.read(size - from)).size() != size - from)
            throw readFailed();
        return bytes;
    };
    const qint64 tailStart =
        std::max<qint64>(0, size - qint64(kEndSize + 0xFFFF + kLocatorSize + kEnd64Size));
    CentralDirectory cd = FindCentralDirectory(readFrom(tailStart), std::uint64_t(tailStart), otherPath);
    if (!cd.complete)
        cd = FindCentralDirectory(readFrom(qint64(cd.start)), cd.start, otherPath);
    // The entries' own bytes are everything before the central directory, copied as one block:
    // they must lie there, the first at the very start.
    std::uint64_t first = cd.start;
    ForEachCentralEntry(cd, otherPath, [&](CentralEntry& e) {
        if (e.offset >= cd.start)
            throw unreadable(otherPath, QStringLiteral("an entry lies after the central directory"));
        first = std::min(first, e.offset);
    });
    if (first != 0 && cd.start > 0)
        throw unreadable(otherPath, QStringLiteral("its first entry does not start the file"));
    const std::uint64_t base = m_offset;
    if (!other.seek(0))
        throw readFailed();
    const std::unique_ptr<char[]> buffer(new char[kChunk]);
    for (std::uint64_t left = cd.start; left > 0;) {
        const qint64 want = qint64(std::min<std::uint64_t>(left, kChunk));
        if (other.read(buffer.get(), want) != want)
            throw readFailed();
        writeAll(buffer.get(), std::size_t(want));
        left -= std::uint64_t(want);
    }
    m_taken.push_back({std::move(cd), base, otherPath});
}

void StoredZipWriter::finish()
{
    const std::uint64_t start = m_offset;
    std::uint64_t count = 0;
    // The records go out in pieces, so that a directory of many entries is never held whole twice.
    QByteArray pending;
    const auto add = [&](const CentralEntry& e) {
        pending += centralRecord(e);
        ++count;
        if (pending.size() >= kChunk) {
            writeAll(pending.constData(), std::size_t(pending.size()));
            pending.clear();
        }
    };
    for (const CentralEntry& e : m_entries)
        add(e);
    for (const TakenDirectory& taken : m_taken) {
        ForEachCentralEntry(taken.directory, taken.path, [&](CentralEntry& e) {
            e.offset += taken.shift;
            add(e);
        });
    }
    writeAll(pending.constData(), std::size_t(pending.size()));
    const std::uint64_t size = m_offset - start;
    const bool big =
        count >= m_limits.entries || start >= m_limits.offsetOrSize || size >= m_limits.offsetOrSize;
    RecordBytes end;
    if (big) {
        end.u32(kEnd64Signature).u64(kEnd64Size - 12).u16(kMadeBy).u16(kNeededZip64).u32(0).u32(0);
        end.u64(count).u64(count).u64(size).u64(start);
        end.u32(kEnd64LocatorSignature).u32(0).u64(start + size).u32(1);
    }
    end.u32(kEndSignature).u16(0).u16(0);
    end.u16(big ? 0xFFFF : count).u16(big ? 0xFFFF : count);
    end.u32(big ? 0xFFFFFFFFu : size).u32(big ? 0xFFFFFFFFu : start).u16(0);
    writeAll(end.data().constData(), std::size_t(end.data().size()));
    errno = 0;
    if (!m_file->flush())
        writeFailed();
    m_file->close();
    if (m_file->error() != QFileDevice::NoError)
        writeFailed();
}

} // namespace builder
