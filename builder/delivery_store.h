#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace builder {

// The first bytes of every stored delivery file. A web server that runs the file as PHP stops at
// once; PHP parses nothing after __halt_compiler(), so the file's own bytes may be anything.
inline constexpr char kStoreGuard[] = "<?php exit; __halt_compiler();";

// The folder of the plugin's modules folder that holds the stored files.
inline constexpr char kStoreFolder[] = "delivery-files";

// One delivery file as the plugin holds it: under a random name ending in ".php", its bytes after
// the guard.
struct StoredFile
{
    QString name;       // as the site names it, "/"-separated below the site's top
    QString storedName; // the file in the store folder
    qint64 guardLength = 0;
    qint64 size = 0;   // the delivery file's own bytes
    QByteArray sha256; // of those bytes, lower-case hex
};

// Where the build puts the delivery files' bytes: into the plugin's store, or nowhere (a lean
// plugin, whose owner uploads the files into the store on the site afterwards).
enum class DeliveryBytes
{
    InPlugin,
    LeftOut,
};

// Writes source behind the guard to a new file of folder, in chunks (a file of any size needs
// one chunk of memory), and hashes it on the way.
StoredFile StoreDeliveryFile(const QString& source, const QString& name, const QString& folder);

// source as the store will hold it once uploaded (a stored name, the guard's length, size and
// SHA-256), read in chunks; nothing is written.
StoredFile DescribeDeliveryFile(const QString& source, const QString& name);

// text's UTF-8 bytes as a PHP single-quoted string literal, which only "\" and "'" can end or
// change: everything else, "?>" and line breaks included, stays inside as it is.
QByteArray PhpSingleQuoted(const QString& text);

// modules/delivery.php: 'files' lists the names in the order given (the order the converted
// download page numbers them), 'stored' the same files as the store holds them.
QByteArray DeliveryManifest(const QList<StoredFile>& files);

// The list of delivery files a lean build left out, to lay beside the ZIP: for each its name,
// size and SHA-256 (and the stored name the plugin expects), as JSON.
QByteArray LeftOutDeliveryList(const QList<StoredFile>& files);

// Moves each delivered file of the site copy into the plugin's store (or, when its bytes are left
// out, only takes it out of the site copy) and writes the manifest, which lists the files either
// way. Folders the moves leave empty go too.
QList<StoredFile> HoldBackDeliveryFiles(const QString& pluginFolder, const QString& siteCopy,
                                        const QStringList& delivered,
                                        DeliveryBytes bytes = DeliveryBytes::InPlugin);

} // namespace builder
