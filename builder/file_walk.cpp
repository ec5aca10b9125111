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

} // namespace

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
