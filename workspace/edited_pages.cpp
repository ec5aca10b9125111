#include "workspace/edited_pages.h"

#include "support/io_error.h"
#include "support/mortar_file.h"
#include "workspace/logging.h"
#include "workspace/page_listing.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <optional>

namespace workspace {
namespace {

QByteArray fingerprintOf(const QByteArray& bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
}

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

} // namespace

void EditedPages::reset(const QString& siteFolder, const QString& workingFolder)
{
    clear();
    m_siteFolder = siteFolder;
    m_workingFolder = workingFolder;
    const QDir working(workingFolder);
    for (const QString& name : ListPages(workingFolder)) {
        QString why;
        if (const auto bytes = readBytes(working.filePath(name), &why))
            m_loaded.insert(name, fingerprintOf(*bytes));
        else // never offered for writing back
            qCWarning(lcWorkspace).noquote() << "Page left out of the edit check:" << why;
    }
}

void EditedPages::clear()
{
    m_siteFolder.clear();
    m_workingFolder.clear();
    m_loaded.clear();
}

QStringList EditedPages::changed() const
{
    QStringList names;
    const QDir working(m_workingFolder);
    for (auto it = m_loaded.cbegin(); it != m_loaded.cend(); ++it) {
        // A page deleted from the working copy has nothing to give back.
        const QString page = working.filePath(it.key());
        QString why;
        const auto bytes = readBytes(page, &why);
        if (bytes && fingerprintOf(*bytes) != it.value())
            names << it.key();
        else if (!bytes && QFileInfo::exists(page))
            qCWarning(lcWorkspace).noquote() << "Page not checked for edits:" << why;
    }
    std::sort(names.begin(), names.end());
    return names;
}

EditedPages::WriteBack EditedPages::writeBackChanged()
{
    WriteBack result;
    const QDir working(m_workingFolder);
    const QDir site(m_siteFolder);
    for (const QString& name : changed()) {
        const QString target = site.filePath(name);
        const auto fail = [&](const QString& reason) {
            result.failures << name + QStringLiteral(": ") + reason;
        };
        const auto edited = readBytes(working.filePath(name));
        if (!edited) {
            fail(QStringLiteral("the edited copy could not be read"));
            continue;
        }
        const auto current = readBytes(target);
        if (!current) {
            fail(QFileInfo::exists(target) ? QStringLiteral("the file in the site folder could not be read")
                                           : QStringLiteral("the file is no longer in the site folder"));
            continue;
        }
        if (*current == *edited) { // written back before, or the same change made there
            m_loaded[name] = fingerprintOf(*edited);
            continue;
        }
        // Someone else's change to the site's file since the load is theirs to keep.
        if (fingerprintOf(*current) != m_loaded.value(name)) {
            fail(QStringLiteral("the file in the site folder was changed by another program since the "
                                "folder was loaded"));
            continue;
        }
        // The marks on the file count, not what this process could do anyway (root).
        if (!(QFileInfo(target).permissions() &
              (QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther))) {
            fail(QStringLiteral("the file in the site folder is read-only"));
            continue;
        }
        try {
            support::MortarFile::WriteBinaryFile(*edited, target);
        } catch (const support::IoError& e) {
            fail(e.description());
            continue;
        }
        m_loaded[name] = fingerprintOf(*edited);
        result.written << name;
    }
    return result;
}

} // namespace workspace
