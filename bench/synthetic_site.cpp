#include "synthetic_site.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace bench {
namespace {

// splitmix64: fast, and the same stream on every machine.
class Random final
{
public:
    explicit Random(std::uint64_t seed) : m_state(seed) {}

    std::uint64_t next()
    {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    int below(int bound) { return int(next() % std::uint64_t(bound)); }
    double unit() { return double(next() >> 11) / double(1ull << 53); }

private:
    std::uint64_t m_state;
};

const char* const kWords[] = {"garden", "basil",   "thyme",   "harvest", "window",  "soil",     "water",
                              "light",  "leaf",    "seed",    "grow",    "pot",     "chapter",  "guide",
                              "recipe", "fresh",   "dry",     "season",  "mint",    "sage",     "oregano",
                              "root",   "balcony", "kitchen", "bonus",   "instant", "download", "secure",
                              "order",  "today",   "offer",   "price"};

QString words(Random& random, int count)
{
    QString s;
    for (int i = 0; i < count; ++i) {
        if (i > 0)
            s += QLatin1Char(' ');
        s += QLatin1String(kWords[random.below(int(std::size(kWords)))]);
    }
    return s;
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write " + path.toStdString());
}

QByteArray randomBytes(Random& random, qint64 size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    char* out = bytes.data();
    qint64 i = 0;
    for (; i + 8 <= size; i += 8) {
        const std::uint64_t v = random.next();
        std::memcpy(out + i, &v, 8);
    }
    for (; i < size; ++i)
        out[i] = char(random.next());
    return bytes;
}

QByteArray styleText(Random& random, qint64 size)
{
    QString s;
    s.reserve(size + 200);
    int rule = 0;
    while (s.size() < size) {
        s += QStringLiteral(".%1-%2 { margin: %3px; color: #%4; } /* %5 */\n")
                 .arg(QLatin1String(kWords[random.below(int(std::size(kWords)))]))
                 .arg(rule++)
                 .arg(random.below(40))
                 .arg(random.below(0xFFFFFF), 6, 16, QLatin1Char('0'))
                 .arg(words(random, 4));
    }
    s.truncate(size);
    return s.toUtf8();
}

} // namespace

QStringList SiteFileNames(int files)
{
    QStringList names{QStringLiteral("index.html"), QStringLiteral("download.html")};
    for (int i = 2; i < files; ++i) {
        const int k = i - 2;
        QString name;
        if (k % 50 == 1)
            name = QStringLiteral("css/style%1.css").arg(k, 5, 10, QLatin1Char('0'));
        else if (k % 50 == 2)
            name = QStringLiteral("js/app%1.js").arg(k, 5, 10, QLatin1Char('0'));
        else if (k % 50 == 3)
            name = QStringLiteral("downloads/ebook%1.pdf").arg(k, 5, 10, QLatin1Char('0'));
        else if (k % 7 == 0)
            name = QStringLiteral("images/d%1/thumbs/t%2.png")
                       .arg(k / 100, 3, 10, QLatin1Char('0'))
                       .arg(k, 5, 10, QLatin1Char('0'));
        else
            name = QStringLiteral("images/d%1/img%2.jpg")
                       .arg(k / 100, 3, 10, QLatin1Char('0'))
                       .arg(k, 5, 10, QLatin1Char('0'));
        names << name;
    }
    names.resize(std::min<qsizetype>(names.size(), std::max(files, 0)));
    return names;
}

QString SyntheticPage(const QStringList& files, qint64 bytes, std::uint64_t seed, const QString& tag)
{
    Random random(seed);
    QString page;
    page.reserve(bytes + 512);
    page +=
        QStringLiteral("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Bench page</title>\n");
    bool tagWritten = false;
    int block = 0;
    while (page.size() < bytes) {
        const QString file =
            files.isEmpty() ? QStringLiteral("none.png") : files[random.below(int(files.size()))];
        switch (random.below(10)) {
        case 0:
            page += QStringLiteral("<p class='note'><img src='%1'> %2</p>\n").arg(file, words(random, 6));
            break;
        case 1:
            page += QStringLiteral("<a href=\"missing/%1\">%2</a>\n").arg(file, words(random, 3));
            break;
        case 2:
            page += QStringLiteral("<script>var asset = \"%1\";</script>\n").arg(file);
            break;
        default:
            page +=
                QStringLiteral(
                    "<div class=\"item b%1\"><img src=\"%2\" alt=\"%3\"><a href=\"%4\">%5</a></div>\n")
                    .arg(block)
                    .arg(file, words(random, 2),
                         files.isEmpty() ? file : files[random.below(int(files.size()))], words(random, 5));
        }
        if (!tagWritten && page.size() > bytes / 2) {
            page += QStringLiteral("<div class=\"action\">%1</div>\n").arg(tag);
            tagWritten = true;
        }
        ++block;
    }
    if (!tagWritten)
        page += tag;
    page += QStringLiteral("</body></html>\n");
    return page;
}

GeneratedSite GenerateSite(const QString& folder, const SiteShape& shape, std::uint64_t seed)
{
    if (QFileInfo::exists(folder))
        throw std::runtime_error("the site folder already exists: " + folder.toStdString());
    Random random(seed);
    const QStringList names = SiteFileNames(shape.files);
    const QDir root(folder);

    // The bytes that are not pages, shared out by weights spread over two orders of magnitude.
    const int others = std::max<int>(0, int(names.size()) - 2);
    const qint64 rest = std::max<qint64>(0, shape.totalBytes - 2 * shape.pageBytes);
    std::vector<double> weights(others);
    double sum = 0;
    for (double& w : weights) {
        w = std::pow(100.0, random.unit());
        sum += w;
    }

    GeneratedSite site;
    site.folder = root.absolutePath();
    site.frontPage = names.value(0);
    site.downloadPage = names.value(1);
    for (qsizetype i = 0; i < names.size(); ++i) {
        const QString path = root.filePath(names[i]);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QByteArray bytes;
        if (i < 2) {
            bytes = SyntheticPage(names, shape.pageBytes, seed + std::uint64_t(i) + 1,
                                  i == 0 ? QStringLiteral("#FRONT#") : QStringLiteral("#BACK#"))
                        .toUtf8();
        } else {
            const qint64 size = std::max<qint64>(1, qint64(double(rest) * weights[i - 2] / sum));
            const QString& name = names[i];
            bytes = name.endsWith(QLatin1String(".css")) || name.endsWith(QLatin1String(".js"))
                        ? styleText(random, size)
                        : randomBytes(random, size);
        }
        writeFile(path, bytes);
        site.bytes += bytes.size();
        ++site.files;
    }
    return site;
}

GeneratedSite GenerateMediaSite(const QString& folder, const QStringList& samples, qint64 pageBytes,
                                qint64 totalBytes, std::uint64_t seed)
{
    if (QFileInfo::exists(folder) || samples.isEmpty())
        throw std::runtime_error("the site folder already exists, or there are no samples: " +
                                 folder.toStdString());
    Random random(seed);
    std::vector<QByteArray> bytes;
    qint64 smallest = totalBytes;
    for (const QString& sample : samples) {
        QFile f(sample);
        if (!f.open(QIODevice::ReadOnly))
            throw std::runtime_error("cannot read " + sample.toStdString());
        bytes.push_back(f.readAll());
        smallest = std::max<qint64>(1, std::min<qint64>(smallest, bytes.back().size()));
    }
    QStringList names = SiteFileNames(int(std::min<qint64>(200'000, totalBytes / smallest + 100)));
    const QDir root(folder);
    GeneratedSite site;
    site.folder = root.absolutePath();
    site.frontPage = names.value(0);
    site.downloadPage = names.value(1);
    qsizetype used = 2;
    for (; used < names.size() && site.bytes + 2 * pageBytes < totalBytes; ++used) {
        QString& name = names[used];
        QByteArray content;
        if (name.endsWith(QLatin1String(".css")) || name.endsWith(QLatin1String(".js"))) {
            content = styleText(random, 20'000);
        } else {
            const int pick = random.below(int(samples.size()));
            name = name.left(name.lastIndexOf(QLatin1Char('.')) + 1) + QFileInfo(samples[pick]).suffix();
            content = bytes[size_t(pick)];
        }
        const QString path = root.filePath(name);
        QDir().mkpath(QFileInfo(path).absolutePath());
        writeFile(path, content);
        site.bytes += content.size();
    }
    names = names.mid(0, used);
    for (int i = 0; i < 2; ++i) {
        const QByteArray page = SyntheticPage(names, pageBytes, seed + std::uint64_t(i) + 1,
                                              i == 0 ? QStringLiteral("#FRONT#") : QStringLiteral("#BACK#"))
                                    .toUtf8();
        writeFile(root.filePath(names[i]), page);
        site.bytes += page.size();
    }
    site.files = int(used);
    return site;
}

} // namespace bench
