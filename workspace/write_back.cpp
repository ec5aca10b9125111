#include "workspace/write_back.h"

#include "support/io_error.h"
#include "support/mortar_file.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace workspace {

QByteArray ContentHash(const QByteArray& bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

WriteBackOutcome WriteBackPage(const QString& target, const QByteArray& bytes, const QByteArray& loadedHash,
                               QString* why)
{
    const auto fail = [why](const QString& reason) {
        if (why)
            *why = reason;
        return WriteBackOutcome::Failed;
    };
    if (!QFileInfo::exists(target))
        return fail(QStringLiteral("the file is no longer in the site folder"));
    QByteArray current;
    try {
        current = support::MortarFile::ReadBinaryFile(target);
    } catch (const support::IoError&) {
        return fail(QStringLiteral("the file in the site folder could not be read"));
    }
    if (current == bytes)
        return WriteBackOutcome::AlreadyThere;
    // Someone else's change to the file since the load is theirs to keep.
    if (ContentHash(current) != loadedHash)
        return WriteBackOutcome::ChangedThere;
    // The marks on the file count, not what this process could do anyway (root).
    if (!(QFileInfo(target).permissions() & (QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther)))
        return fail(QStringLiteral("the file in the site folder is read-only"));
    try {
        support::MortarFile::WriteBinaryFile(bytes, target);
    } catch (const support::IoError& e) {
        return fail(e.description());
    }
    return WriteBackOutcome::Written;
}

QString BesideName(const QString& target, const QByteArray& bytes)
{
    const QFileInfo info(target);
    const QString base = info.completeBaseName();
    const QString suffix = info.suffix().isEmpty() ? QString() : QLatin1Char('.') + info.suffix();
    for (int n = 1;; ++n) {
        const QString name = n == 1 ? QStringLiteral("%1.edited%2").arg(base, suffix)
                                    : QStringLiteral("%1.edited-%2%3").arg(base).arg(n).arg(suffix);
        const QString path = info.dir().filePath(name);
        if (!QFileInfo::exists(path) && !QFileInfo(path).isSymLink())
            return path;
        QFile existing(path);
        if (existing.open(QIODevice::ReadOnly) && existing.size() == bytes.size() &&
            existing.readAll() == bytes)
            return path;
    }
}

QString SaveBeside(const QString& target, const QByteArray& bytes)
{
    const QString path = BesideName(target, bytes);
    if (!QFileInfo::exists(path))
        support::MortarFile::WriteBinaryFile(bytes, path);
    return path;
}

} // namespace workspace
