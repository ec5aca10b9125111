#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <filesystem>
#include <functional>
#include <vector>

namespace support {

// What a tree walk does with one entry of a folder below root.
enum class EntryKind
{
    File,
    Folder,
    Skipped
};

// Regular files and folders are themselves; a symbolic link counts as the file it points to only
// when that is a regular file inside root (canonical); other links, sockets and devices are
// skipped, with the reason in *why.
EntryKind ClassifyEntry(const std::filesystem::path& root, const std::filesystem::directory_entry& entry,
                        QString* why);

// What StageFolder did: the entries it skipped, and how many files it put in place each way.
struct StagedFolder
{
    QStringList warnings;
    int hardLinks = 0;
    int clones = 0;
    int copies = 0;

    QString methods() const; // "412 by hard link, 3 by copying"
};

// Files and folders. Every operation throws IoError when it fails.
class MortarFile final
{
public:
    // Copies the whole tree of source into destination: existing files are replaced, missing
    // folders created. Symbolic links are never followed out of the source folder: a link to a
    // file inside it is copied as that file; links to folders, to anything outside and broken
    // links are skipped, and so are sockets and devices. Returns one warning per skipped entry.
    // beforeEachFile runs before each file is copied; what it throws ends the copy.
    static QStringList CopyFolder(const QString& source, const QString& destination,
                                  const std::function<void()>& beforeEachFile = {});

    // Puts the tree of source into destination for reading, the cheapest way the file systems
    // allow: a hard link where destination shares source's file system, a copy-on-write clone
    // where the file system offers one, a copy otherwise; the same entries are skipped as by
    // CopyFolder. A staged file may be the original's own data: it must never be written in place,
    // only removed or replaced by a new file renamed over it.
    static StagedFolder StageFolder(const QString& source, const QString& destination,
                                    const std::function<void()>& beforeEachFile = {});
    // The same for the named files of source only (paths relative to source), in their folders.
    static StagedFolder StageFiles(const QString& source, const QString& destination,
                                   const std::vector<std::filesystem::path>& files,
                                   const std::function<void()>& beforeEachFile = {});

    // The whole text of a file, decoded as DecodeText does.
    static QString ReadTextFile(const QString& path);
    static QByteArray ReadBinaryFile(const QString& path);

    // Creates or replaces the file with the text as UTF-8 (no byte-order mark), whole or not at
    // all: a failure leaves any earlier file as it was.
    static void WriteTextFile(const QString& text, const QString& path);
    static void WriteBinaryFile(const QByteArray& bytes, const QString& path);

    static bool FileExists(const QString& path);
};

} // namespace support
