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

// Writes source behind the guard to a new file of folder, in chunks (a file of any size needs
// one chunk of memory), and hashes it on the way.
StoredFile StoreDeliveryFile(const QString& source, const QString& name, const QString& folder);

// text's UTF-8 bytes as a PHP single-quoted string literal, which only "\" and "'" can end or
// change: everything else, "?>" and line breaks included, stays inside as it is.
QByteArray PhpSingleQuoted(const QString& text);

// modules/delivery.php: 'files' lists the names in the order given (the order the converted
// download page numbers them), 'stored' the same files as the store holds them.
QByteArray DeliveryManifest(const QList<StoredFile>& files);

// Moves each delivered file of the site copy into the plugin's store and writes the manifest.
// Folders the moves leave empty go too.
QList<StoredFile> HoldBackDeliveryFiles(const QString& pluginFolder, const QString& siteCopy,
                                        const QStringList& delivered);

} // namespace builder
