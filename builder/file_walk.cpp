#include "builder/file_walk.h"

#include "support/io_error.h"
#include "support/mortar_file.h"

#include <algorithm>
#include <filesystem>
#include <vector>

namespace fs = std::filesystem;

namespace builder {
namespace {

void walk(const fs::path& root, const fs::path& dir, const QString& rel, QStringList& list)
{
    std::error_code ec;
    std::vector<fs::directory_entry> entries;
    fs::directory_iterator it(dir, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        if (!it->path().filename().native().starts_with('.'))
            entries.push_back(*it);
    }
    if (ec)
        throw support::IoError::fromErrorCode(ec, QStringLiteral("Cannot list the folder"),
                                              support::FromFsPath(dir));
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
        return a.path().filename().native() < b.path().filename().native();
    });

    for (const auto& entry : entries) {
        const QString name = rel + support::FromFsPath(entry.path().filename());
        switch (support::ClassifyEntry(root, entry, nullptr)) {
        case support::EntryKind::Folder:
            walk(root, entry.path(), name + QLatin1Char('/'), list);
            break;
        case support::EntryKind::File:
            list.append(name);
            break;
        case support::EntryKind::Skipped:
            break;
        }
    }
}

class SiteWalk
{
public:
    SiteWalk(const fs::path& root, const QSet<QString>& shipAnyway, SiteListing& out)
        : m_root(root), m_ship(shipAnyway), m_out(out)
    {
    }

    // inherited: the kind of a left-out folder above, entered only for files named to ship anyway.
    void walk(const fs::path& dir, const fs::path& relDir, const QString& rel, LeftOutKind inherited)
    {
        std::error_code ec;
        std::vector<fs::directory_entry> entries;
        fs::directory_iterator it(dir, ec);
        for (; !ec && it != fs::directory_iterator(); it.increment(ec))
            entries.push_back(*it);
        if (ec)
            throw support::IoError::fromErrorCode(ec, QStringLiteral("Cannot list the folder"),
                                                  support::FromFsPath(dir));
        std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
            return a.path().filename().native() < b.path().filename().native();
        });
        for (const auto& entry : entries) {
            const fs::path fileName = entry.path().filename();
            const QString ownName = support::FromFsPath(fileName);
            const QString name = rel + ownName;
            QString why;
            switch (support::ClassifyEntry(m_root, entry, &why)) {
            case support::EntryKind::Folder: {
                LeftOutKind kind = LeftOutKindOf(ownName, true);
                if (kind == LeftOutKind::None)
                    kind = inherited;
                if (kind != LeftOutKind::None && !shipsSomethingIn(name + QLatin1Char('/'))) {
                    m_out.leftOut.push_back({name + QLatin1Char('/'), kind});
                    break;
                }
                walk(entry.path(), relDir / fileName, name + QLatin1Char('/'), kind);
                break;
            }
            case support::EntryKind::File: {
                LeftOutKind kind = LeftOutKindOf(ownName, false);
                if (kind == LeftOutKind::None)
                    kind = inherited;
                if (kind != LeftOutKind::None && !m_ship.contains(name)) {
                    m_out.leftOut.push_back({name, kind});
                    break;
                }
                m_out.files.append(name);
                m_out.paths.push_back(relDir / fileName);
                break;
            }
            case support::EntryKind::Skipped:
                m_out.warnings << QStringLiteral("Skipped '%1': %2").arg(name, why);
                break;
            }
        }
    }

private:
    const fs::path& m_root;
    const QSet<QString>& m_ship;
    SiteListing& m_out;

    bool shipsSomethingIn(const QString& folder) const
    {
        return std::any_of(m_ship.cbegin(), m_ship.cend(),
                           [&](const QString& file) { return file.startsWith(folder); });
    }
};

} // namespace

SiteListing ListSiteFiles(const QString& siteFolder, const QSet<QString>& shipAnyway)
{
    std::error_code ec;
    const fs::path root = fs::canonical(support::ToFsPath(siteFolder), ec);
    if (ec)
        throw support::IoError::fromErrorCode(ec, QStringLiteral("Cannot list the folder"), siteFolder);
    SiteListing listing;
    SiteWalk(root, shipAnyway, listing).walk(root, fs::path(), QString(), LeftOutKind::None);
    return listing;
}

void RecurseFiles(const QString& folder, const QString& base, QStringList& list)
{
    std::error_code ec;
    const fs::path root = fs::canonical(support::ToFsPath(base), ec);
    if (ec)
        throw support::IoError::fromErrorCode(ec, QStringLiteral("Cannot list the folder"), base);
    const fs::path start = fs::canonical(support::ToFsPath(folder), ec);
    if (ec)
        throw support::IoError::fromErrorCode(ec, QStringLiteral("Cannot list the folder"), folder);
    QString rel = support::FromFsPath(start.lexically_relative(root));
    rel = (rel == QLatin1String(".") || rel.isEmpty()) ? QString() : rel + QLatin1Char('/');
    walk(root, start, rel, list);
}

QStringList ListWorkingFolderFiles(const QString& siteFolder)
{
    QStringList list;
    RecurseFiles(siteFolder, siteFolder, list);
    return list;
}

} // namespace builder
