#include "workspace/edited_pages.h"

#include "support/io_error.h"
#include "support/mortar_file.h"
#include "workspace/logging.h"
#include "workspace/page_listing.h"
#include "workspace/write_back.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUuid>

#include <algorithm>
#include <optional>

namespace workspace {
namespace {

std::optional<QByteArray> readBytes(const QString& path, QString* why = nullptr)
{
    try {
        return support::MortarFile::ReadBinaryFile(path);
    } catch (const support::IoError& e) {
        if (why)
            *why = e.description();
        return std::nullopt;
    }
}

const QString kLoad = QStringLiteral("load");
const QString kSite = QStringLiteral("site");
const QString kPages = QStringLiteral("pages");
const QString kSiteHash = QStringLiteral("site sha256");
const QString kBaseline = QStringLiteral("working sha256");
const QString kSize = QStringLiteral("size");
const QString kModified = QStringLiteral("modified");

} // namespace

void EditedPages::reset(const QString& siteFolder, const QString& workingFolder)
{
    clear();
    m_loadId = QUuid::createUuid().toString(QUuid::WithoutBraces);
    m_siteFolder = siteFolder;
    m_workingFolder = workingFolder;
    const QDir working(workingFolder);
    for (const QString& name : ListPages(workingFolder)) {
        QString why;
        if (const auto bytes = readBytes(working.filePath(name), &why)) {
            const QByteArray hash = ContentHash(*bytes);
            m_pages.insert(name, {hash, hash});
        } else { // never offered for writing back
            qCWarning(lcWorkspace).noquote() << "Page left out of the edit check:" << why;
        }
    }
    writeRecord();
}

void EditedPages::clear()
{
    m_loadId.clear();
    m_siteFolder.clear();
    m_workingFolder.clear();
    m_pages.clear();
    if (!m_recordFile.isEmpty() && QFileInfo::exists(m_recordFile) && !QFile::remove(m_recordFile))
        qCWarning(lcWorkspace).noquote() << "Record of the working copy not removed:" << m_recordFile;
}

bool EditedPages::restore(const QString& workingFolder)
{
    const auto bytes = m_recordFile.isEmpty() ? std::nullopt : readBytes(m_recordFile);
    if (!bytes)
        return false;
    const QJsonObject record = QJsonDocument::fromJson(*bytes).object();
    if (record.value(kLoad).toString().isEmpty() || record.value(kSite).toString().isEmpty())
        return false;
    m_loadId = record.value(kLoad).toString();
    m_siteFolder = record.value(kSite).toString();
    m_workingFolder = workingFolder;
    m_pages.clear();
    const QJsonObject pages = record.value(kPages).toObject();
    for (auto it = pages.begin(); it != pages.end(); ++it) {
        const QJsonObject page = it.value().toObject();
        m_pages.insert(it.key(), {page.value(kSiteHash).toString().toLatin1(),
                                  page.value(kBaseline).toString().toLatin1()});
    }
    return true;
}

void EditedPages::writeRecord() const
{
    if (m_recordFile.isEmpty())
        return;
    QJsonObject pages;
    const QDir site(m_siteFolder);
    for (auto it = m_pages.cbegin(); it != m_pages.cend(); ++it) {
        // Size and time only help a person reading the record; the hashes decide.
        const QFileInfo file(site.filePath(it.key()));
        pages.insert(it.key(),
                     QJsonObject{{kSiteHash, QString::fromLatin1(it->siteHash)},
                                 {kBaseline, QString::fromLatin1(it->baseline)},
                                 {kSize, file.size()},
                                 {kModified, file.lastModified().toUTC().toString(Qt::ISODateWithMs)}});
    }
    const QJsonObject record{{kLoad, m_loadId}, {kSite, m_siteFolder}, {kPages, pages}};
    try {
        QDir().mkpath(QFileInfo(m_recordFile).absolutePath());
        support::MortarFile::WriteBinaryFile(QJsonDocument(record).toJson(), m_recordFile);
    } catch (const support::IoError& e) {
        // The window still offers the edits at its close; only a run that ends unexpectedly
        // would leave them unnoticed.
        qCWarning(lcWorkspace).noquote() << "Record of the working copy not written:" << e.description();
    }
}

QString EditedPages::recordedLoad() const
{
    const auto bytes = readBytes(m_recordFile);
    return bytes ? QJsonDocument::fromJson(*bytes).object().value(kLoad).toString() : QString();
}

QByteArray EditedPages::workingBytes(const QString& name, bool* ok) const
{
    const QString page = QDir(m_workingFolder).filePath(name);
    QString why;
    const auto bytes = readBytes(page, &why);
    *ok = bytes.has_value();
    // A page deleted from the working copy has nothing to give back.
    if (!bytes && QFileInfo::exists(page))
        qCWarning(lcWorkspace).noquote() << "Page not checked for edits:" << why;
    return bytes.value_or(QByteArray());
}

QStringList EditedPages::changed() const
{
    QStringList names;
    for (auto it = m_pages.cbegin(); it != m_pages.cend(); ++it) {
        bool ok = false;
        const QByteArray bytes = workingBytes(it.key(), &ok);
        if (ok && ContentHash(bytes) != it->baseline)
            names << it.key();
    }
    std::sort(names.begin(), names.end());
    return names;
}

EditedPages::WriteBack EditedPages::writeBackChanged()
{
    WriteBack result;
    const QStringList names = changed();
    if (!m_recordFile.isEmpty() && QFileInfo::exists(m_recordFile) && recordedLoad() != m_loadId) {
        for (const QString& name : names) {
            result.failures << name + QStringLiteral(": the working folder no longer holds the copy of this "
                                                     "folder (another window of the program loaded a "
                                                     "folder into it)");
        }
        return result;
    }
    const QDir site(m_siteFolder);
    for (const QString& name : names) {
        bool ok = false;
        const QByteArray edited = workingBytes(name, &ok);
        if (!ok) {
            result.failures << name + QStringLiteral(": the edited copy could not be read");
            continue;
        }
        QString why;
        switch (WriteBackPage(site.filePath(name), edited, m_pages[name].siteHash, &why)) {
        case WriteBackOutcome::Written:
            result.written << name;
            [[fallthrough]];
        case WriteBackOutcome::AlreadyThere: // written back before, or the same change made there
            m_pages[name] = {ContentHash(edited), ContentHash(edited)};
            break;
        case WriteBackOutcome::ChangedThere:
            result.changedThere << name;
            break;
        case WriteBackOutcome::Failed:
            result.failures << name + QStringLiteral(": ") + why;
            break;
        }
    }
    writeRecord();
    return result;
}

QString EditedPages::besideName(const QString& name) const
{
    bool ok = false;
    const QByteArray edited = workingBytes(name, &ok);
    return BesideName(QDir(m_siteFolder).filePath(name), edited);
}

QString EditedPages::saveBeside(const QString& name)
{
    const QString page = QDir(m_workingFolder).filePath(name);
    const QByteArray edited = support::MortarFile::ReadBinaryFile(page);
    const QString path = SaveBeside(QDir(m_siteFolder).filePath(name), edited);
    // The site's own file stays as someone else left it: a later write-back still refuses it.
    m_pages[name].baseline = ContentHash(edited);
    writeRecord();
    return path;
}

} // namespace workspace
