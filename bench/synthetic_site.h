#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>

namespace bench {

// One scale of the benchmark: how many files the site holds (its two pages included), how long
// each page is, and how many bytes the whole site holds.
struct SiteShape
{
    QString name;
    int files = 0;
    qint64 pageBytes = 0;
    qint64 totalBytes = 0;
};

struct GeneratedSite
{
    QString folder;
    QString frontPage;    // relative to folder
    QString downloadPage; // relative to folder
    int files = 0;
    qint64 bytes = 0;
};

// The "/"-separated relative paths of a site of n files: the two pages first, then style sheets,
// scripts, downloads and images spread over folders of about a hundred files, a few nested.
QStringList SiteFileNames(int files);

// An HTML page of about the given length, made of blocks that refer to the named files in double
// quotes (and, now and then, in single quotes, or to files that do not exist), with the marker tag
// in it. The same seed gives the same page.
QString SyntheticPage(const QStringList& files, qint64 bytes, std::uint64_t seed, const QString& tag);

// Writes a whole site of the given shape into folder, which must not exist yet. Images and
// downloads are incompressible bytes, as real ones mostly are; style sheets and scripts are text.
// The same seed gives the same site. Throws std::runtime_error when a file cannot be written.
GeneratedSite GenerateSite(const QString& folder, const SiteShape& shape, std::uint64_t seed);

// Writes a site of about totalBytes made of real media files: copies of the given sample files
// (picked at random, each copy under its own name with the sample's extension), with a style
// sheet or script of 20 KB among every ten files and two pages of pageBytes that refer to them.
GeneratedSite GenerateMediaSite(const QString& folder, const QStringList& samples, qint64 pageBytes,
                                qint64 totalBytes, std::uint64_t seed);

} // namespace bench
