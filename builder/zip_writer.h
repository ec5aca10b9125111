#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

class QFile;

namespace builder {

// Error numbers of the ZIP writer, after the archiver's.
enum ZipWriterError : int
{
    kZipWriteFailed = 1011,    // the archive file could not be written
    kZipSourceChanged = 1012,  // a file changed size while it was being packed
    kZipOtherUnreadable = 1013 // the other program's archive could not be read as a ZIP
};

// From which sizes on the archive uses its 64-bit records. The defaults are the format's own
// limits; tests lower them to write the 64-bit records on small archives.
struct ZipLimits
{
    std::uint64_t offsetOrSize = 0xFFFFFFFFu;
    std::uint64_t entries = 0xFFFFu;
};

// Writes a ZIP archive whose files are stored as they are (method 0), front to back, then takes
// over every entry of an archive another program made (their bytes copied as they are) and ends
// with one central directory for all of them. Entries over 4 GB, offsets past 4 GB and more than
// 65,535 entries get the format's 64-bit records; smaller archives keep the plain records that
// every reader knows.
class StoredZipWriter final
{
public:
    // Creates archivePath (an existing file of that name is replaced). Throws support::IoError.
    explicit StoredZipWriter(const QString& archivePath, ZipLimits limits = {});
    ~StoredZipWriter();
    StoredZipWriter(const StoredZipWriter&) = delete;
    StoredZipWriter& operator=(const StoredZipWriter&) = delete;

    struct Source
    {
        std::filesystem::path file;
        QByteArray name; // its bytes in the archive, folders separated by '/'
    };

    // Adds the files, stored, in the order given, each with its CRC-32 worked out while it is
    // copied. Their places in the archive follow from their sizes, so up to `threads` files are
    // read and written at once. Between pieces of a file it throws BuildStopped when cancel is set.
    // Throws support::IoError when a file cannot be read, changes size meanwhile, or the archive
    // cannot be written.
    void addStoredFiles(const std::vector<Source>& files, int threads = 1,
                        const std::atomic<bool>* cancel = nullptr);

    // Copies every entry of the ZIP at otherPath behind the entries written so far. Throws
    // support::IoError (kZipOtherUnreadable) when it is no ZIP this writer can take over: one
    // whose entries do not lie front to back before its central directory, or that spans disks.
    void appendArchive(const QString& otherPath);

    // Writes the central directory and closes the file; the archive is complete once this returns.
    void finish();

    struct CentralEntry
    {
        std::uint16_t madeBy = 0;
        std::uint16_t needed = 0;
        std::uint16_t flags = 0;
        std::uint16_t method = 0;
        std::uint16_t time = 0;
        std::uint16_t date = 0;
        std::uint32_t crc = 0;
        std::uint64_t packedSize = 0;
        std::uint64_t size = 0;
        std::uint16_t internalAttributes = 0;
        std::uint32_t externalAttributes = 0;
        std::uint64_t offset = 0;
        QByteArray name;
        QByteArray extra; // without the 64-bit sizes record, which is written anew
        QByteArray comment;
    };

private:
    void writeAll(const char* data, std::size_t size);
    [[noreturn]] void writeFailed() const;
    CentralEntry storedEntry(const Source& source, std::uint64_t offset) const;
    QByteArray localHeader(const CentralEntry& e) const;
    std::uint64_t localHeaderSize(const CentralEntry& e) const;
    QByteArray centralRecord(const CentralEntry& e) const;

    QString m_path;
    ZipLimits m_limits;
    std::unique_ptr<QFile> m_file;
    struct TakenDirectory;
    std::vector<TakenDirectory> m_taken;
    std::uint64_t m_offset = 0;
    std::vector<CentralEntry> m_entries;
};

// The central directory of a ZIP whose last bytes (from offset bytesOffset of the file to its
// end) are given: where it starts, how many entries its end record names and, when the bytes reach
// back that far, its records as they are (complete). Throws support::IoError (kZipOtherUnreadable)
// naming path when the bytes are no ZIP. Exposed for the tests and the fuzz target.
struct CentralDirectory
{
    std::uint64_t start = 0;
    std::uint64_t entries = 0;
    QByteArray records;
    bool complete = false;
};
CentralDirectory FindCentralDirectory(QByteArrayView bytes, std::uint64_t bytesOffset, const QString& path);

// Reads the directory's records one by one, their 64-bit values resolved, and hands each to visit.
// Throws as FindCentralDirectory does when a record is damaged or the records do not add up to the
// entries named.
void ForEachCentralEntry(const CentralDirectory& cd, const QString& path,
                         const std::function<void(StoredZipWriter::CentralEntry&)>& visit);

} // namespace builder
