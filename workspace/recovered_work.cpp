#include "workspace/recovered_work.h"

#include "support/io_error.h"
#include "support/mortar_file.h"
#include "workspace/edited_pages.h"
#include "workspace/logging.h"
#include "workspace/write_back.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace workspace {
namespace {

const QString kTarget = QStringLiteral("target");
const QString kLoaded = QStringLiteral("target sha256 when the edits began");
const QString kUnsaved = QStringLiteral("unsaved typing");
const QString kBytes = QStringLiteral("page (base64)");

QString typedFolder(const Folders& folders)
{
    return QDir(folders.recoveryFolder).filePath(QStringLiteral("typed"));
}

QString keptFolder(const Folders& folders)
{
    return QDir(folders.recoveryFolder).filePath(QStringLiteral("kept"));
}

QStringList copiesIn(const QString& folder)
{
    QStringList paths;
    const QDir dir(folder);
    for (const QString& name : dir.entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name))
        paths << dir.filePath(name);
    return paths;
}

void writeCopy(const QString& path, const RecoveredWork::Page& page)
{
    const QJsonObject copy{{kTarget, page.target},
                           {kLoaded, QString::fromLatin1(page.loadedHash)},
                           {kUnsaved, page.unsaved},
                           {kBytes, QString::fromLatin1(page.bytes.toBase64())}};
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        throw support::IoError(
            support::kPathNotFound,
            QStringLiteral("Cannot make the folder '%1'").arg(QFileInfo(path).absolutePath()));
    support::MortarFile::WriteBinaryFile(QJsonDocument(copy).toJson(QJsonDocument::Compact), path);
}

bool readCopy(const QString& path, RecoveredWork::Page* page)
{
    QByteArray bytes;
    try {
        bytes = support::MortarFile::ReadBinaryFile(path);
    } catch (const support::IoError& e) {
        qCWarning(lcWorkspace).noquote() << "Recovery copy not read:" << e.description();
        return false;
    }
    const QJsonObject copy = QJsonDocument::fromJson(bytes).object();
    if (copy.value(kTarget).toString().isEmpty() || !copy.contains(kBytes)) {
        qCWarning(lcWorkspace).noquote() << "Recovery copy not understood:" << path;
        return false;
    }
    page->target = copy.value(kTarget).toString();
    page->loadedHash = copy.value(kLoaded).toString().toLatin1();
    page->unsaved = copy.value(kUnsaved).toBool();
    page->bytes = QByteArray::fromBase64(copy.value(kBytes).toString().toLatin1());
    return true;
}

} // namespace

QString RecoveredWork::recordFile(const Folders& folders)
{
    return QDir(folders.recoveryFolder).filePath(QStringLiteral("loaded.json"));
}

void RecoveredWork::gather()
{
    m_pages.clear();
    // Typing on screen was made from the saved page, so it stands for that page too.
    for (const QString& path : copiesIn(typedFolder(m_folders))) {
        Page page;
        if (readCopy(path, &page))
            m_pages << page;
    }
    EditedPages working;
    working.setRecordFile(recordFile(m_folders));
    if (working.restore(m_folders.workingFolder)) {
        const QDir site(working.siteFolder());
        const QDir copy(m_folders.workingFolder);
        for (const QString& name : working.changed()) {
            const QString target = site.filePath(name);
            if (std::any_of(m_pages.cbegin(), m_pages.cend(),
                            [&](const Page& p) { return p.target == target; }))
                continue;
            try {
                m_pages << Page{target,
                                support::MortarFile::ReadBinaryFile(copy.filePath(name)),
                                working.siteHash(name),
                                false,
                                {}};
            } catch (const support::IoError& e) {
                qCWarning(lcWorkspace).noquote() << "Edited page not read:" << e.description();
            }
        }
    }
    for (const QString& path : copiesIn(keptFolder(m_folders))) {
        Page page;
        if (readCopy(path, &page)) {
            page.keptIn = path;
            m_pages << page;
        }
    }
}

void RecoveredWork::keep(const QList<Page>& pages) const
{
    const QString folder = keptFolder(m_folders);
    const QString stamp = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-hhmmss-zzz"));
    int n = 0;
    for (const Page& page : pages) {
        if (!page.keptIn.isEmpty())
            continue;
        QString path;
        do
            path = QDir(folder).filePath(QStringLiteral("%1-%2.json").arg(stamp).arg(++n));
        while (QFileInfo::exists(path));
        writeCopy(path, page);
    }
}

void RecoveredWork::forget(const QList<Page>& pages) const
{
    for (const Page& page : pages) {
        if (!page.keptIn.isEmpty() && !QFile::remove(page.keptIn) && QFileInfo::exists(page.keptIn))
            qCWarning(lcWorkspace).noquote() << "Kept page not removed:" << page.keptIn;
    }
}

void RecoveredWork::keepTyping(const Folders& folders, const QString& editedFile, const Page& page)
{
    const QByteArray key = QCryptographicHash::hash(editedFile.toUtf8(), QCryptographicHash::Sha256).toHex();
    writeCopy(
        QDir(typedFolder(folders)).filePath(QString::fromLatin1(key.left(24)) + QStringLiteral(".json")),
        page);
}

void RecoveredWork::dropTyping(const Folders& folders)
{
    for (const QString& path : copiesIn(typedFolder(folders))) {
        if (!QFile::remove(path) && QFileInfo::exists(path))
            qCWarning(lcWorkspace).noquote() << "Copy of typing not removed:" << path;
    }
}

} // namespace workspace
