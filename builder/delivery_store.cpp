#include "builder/delivery_store.h"

#include "support/io_error.h"
#include "support/mortar_file.h"
#include "support/sha256.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>

#include <cerrno>
#include <memory>

namespace builder {

using support::IoError;

namespace {

constexpr qint64 kChunk = 1 << 20;

QString randomStoredName()
{
    QString name;
    for (int i = 0; i < 4; ++i)
        name += QStringLiteral("%1").arg(QRandomGenerator::system()->generate(), 8, 16, QLatin1Char('0'));
    return name + QStringLiteral(".php");
}

IoError fileError(const QFile& file, const QString& what, const QString& path)
{
    if (errno != 0)
        return IoError::fromErrno(errno, what, path);
    return IoError(support::kPathFileAccess,
                   QStringLiteral("%1 '%2': %3").arg(what, path, file.errorString()));
}

// Copies from into to behind what to already holds, hashing the copied bytes; returns their count.
qint64 copyHashed(QFile& from, QFile& to, support::Sha256& hash)
{
    const std::unique_ptr<char[]> buffer(new char[kChunk]);
    qint64 total = 0;
    for (;;) {
        errno = 0;
        const qint64 n = from.read(buffer.get(), kChunk);
        if (n < 0)
            throw fileError(from, QStringLiteral("Cannot read"), from.fileName());
        if (n == 0)
            return total;
        hash.addData(QByteArrayView(buffer.get(), n));
        errno = 0;
        if (to.write(buffer.get(), n) != n)
            throw fileError(to, QStringLiteral("Cannot write"), to.fileName());
        total += n;
    }
}

// The store's own index.php and .htaccess: an empty page for the folder, and no file of it for a
// server that reads .htaccess. The guard in each file is what holds on the others.
void writeStoreFolderFiles(const QDir& store)
{
    support::MortarFile::WriteTextFile(
        QStringLiteral(
            "<?php\n/**\n * Nothing to list here: a request for the folder gets an empty "
            "page.\n *\n * @package Funnels\n */\n\nif ( ! defined( 'ABSPATH' ) ) {\n\texit;\n}\n"),
        store.filePath(QStringLiteral("index.php")));
    support::MortarFile::WriteTextFile(
        QStringLiteral("# Handed out by the plugin to buyers only.\n"
                       "<IfModule mod_authz_core.c>\n    Require all denied\n</IfModule>\n"
                       "<IfModule !mod_authz_core.c>\n    Order allow,deny\n    Deny from all\n"
                       "</IfModule>\n"),
        store.filePath(QStringLiteral(".htaccess")));
}

void removeStaged(const QString& siteCopy, const QString& name)
{
    const QString staged = QDir(siteCopy).filePath(name);
    if (!QFile::remove(staged) && QFileInfo::exists(staged))
        throw IoError(support::kPermissionDenied, QStringLiteral("Cannot leave out '%1'.").arg(staged));
    // A folder the move left empty would only tell where the file used to be.
    for (QString folder = QFileInfo(name).path(); folder != QLatin1String(".");
         folder = QFileInfo(folder).path()) {
        if (!QDir(siteCopy).rmdir(folder))
            break;
    }
}

} // namespace

StoredFile StoreDeliveryFile(const QString& source, const QString& name, const QString& folder)
{
    QFile from(source);
    errno = 0;
    if (!from.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        throw fileError(from, QStringLiteral("Cannot read"), source);
    StoredFile stored{name, randomStoredName(), qint64(sizeof kStoreGuard - 1), 0, {}};
    QFile to(QDir(folder).filePath(stored.storedName));
    errno = 0;
    // A name already taken is never written over: the random name is made again.
    while (!to.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered)) {
        if (!to.exists())
            throw fileError(to, QStringLiteral("Cannot write"), to.fileName());
        stored.storedName = randomStoredName();
        to.setFileName(QDir(folder).filePath(stored.storedName));
        errno = 0;
    }
    if (to.write(kStoreGuard, stored.guardLength) != stored.guardLength)
        throw fileError(to, QStringLiteral("Cannot write"), to.fileName());
    support::Sha256 hash;
    stored.size = copyHashed(from, to, hash);
    errno = 0;
    to.close();
    if (to.error() != QFileDevice::NoError)
        throw fileError(to, QStringLiteral("Cannot write"), to.fileName());
    stored.sha256 = hash.hexResult();
    return stored;
}

StoredFile DescribeDeliveryFile(const QString& source, const QString& name)
{
    QFile from(source);
    errno = 0;
    if (!from.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        throw fileError(from, QStringLiteral("Cannot read"), source);
    StoredFile described{name, randomStoredName(), qint64(sizeof kStoreGuard - 1), 0, {}};
    const std::unique_ptr<char[]> buffer(new char[kChunk]);
    support::Sha256 hash;
    for (;;) {
        errno = 0;
        const qint64 n = from.read(buffer.get(), kChunk);
        if (n < 0)
            throw fileError(from, QStringLiteral("Cannot read"), source);
        if (n == 0)
            break;
        hash.addData(QByteArrayView(buffer.get(), n));
        described.size += n;
    }
    described.sha256 = hash.hexResult();
    return described;
}

QByteArray LeftOutDeliveryList(const QList<StoredFile>& files)
{
    QJsonArray list;
    for (const StoredFile& f : files) {
        list.append(QJsonObject{{QStringLiteral("name"), f.name},
                                {QStringLiteral("size"), double(f.size)},
                                {QStringLiteral("sha256"), QString::fromLatin1(f.sha256)},
                                {QStringLiteral("stored"), f.storedName}});
    }
    return QJsonDocument(QJsonObject{{QStringLiteral("files"), list}}).toJson(QJsonDocument::Indented);
}

QByteArray PhpSingleQuoted(const QString& text)
{
    QByteArray out = "'";
    for (const char c : text.toUtf8()) {
        if (c == '\\' || c == '\'')
            out += '\\';
        out += c;
    }
    return out + '\'';
}

QByteArray DeliveryManifest(const QList<StoredFile>& files)
{
    QByteArray php =
        "<?php\n/**\n * The files the download page hands out, in the order the converted page numbers "
        "them, and\n * where the plugin keeps each: a file of its own behind a PHP guard, with its "
        "size and\n * SHA-256. Made when the plugin was built.\n *\n * @package Funnels\n */\n\n"
        "if ( ! defined( 'ABSPATH' ) ) {\n\texit;\n}\n\nreturn array(\n\t'files'  => array(\n";
    for (const StoredFile& f : files)
        php += "\t\t" + PhpSingleQuoted(f.name) + ",\n";
    php += "\t),\n\t'stored' => array(\n";
    for (const StoredFile& f : files) {
        php += "\t\tarray(\n\t\t\t'file'   => " +
               PhpSingleQuoted(QStringLiteral("%1/%2").arg(QLatin1String(kStoreFolder), f.storedName)) +
               ",\n\t\t\t'offset' => " + QByteArray::number(f.guardLength) + ",\n\t\t\t'size'   => " +
               QByteArray::number(f.size) + ",\n\t\t\t'sha256' => '" + f.sha256 + "',\n\t\t),\n";
    }
    return php + "\t),\n);\n";
}

QList<StoredFile> HoldBackDeliveryFiles(const QString& pluginFolder, const QString& siteCopy,
                                        const QStringList& delivered, DeliveryBytes bytes)
{
    const QDir modules(QDir(pluginFolder).filePath(QStringLiteral("modules")));
    const QDir store(modules.filePath(QLatin1String(kStoreFolder)));
    if (!QDir().mkpath(store.path()))
        throw IoError(support::kPathNotFound,
                      QStringLiteral("Cannot create the folder '%1'.").arg(store.path()));
    QList<StoredFile> stored;
    for (const QString& name : delivered) {
        const QString source = QDir(siteCopy).filePath(name);
        stored << (bytes == DeliveryBytes::InPlugin ? StoreDeliveryFile(source, name, store.path())
                                                    : DescribeDeliveryFile(source, name));
        removeStaged(siteCopy, name);
    }
    writeStoreFolderFiles(store);
    support::MortarFile::WriteBinaryFile(DeliveryManifest(stored),
                                         modules.filePath(QStringLiteral("delivery.php")));
    return stored;
}

} // namespace builder
