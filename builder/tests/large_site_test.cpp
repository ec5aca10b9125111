// Sites far larger than any real one: 100,000 files, a 200 MB page. They take minutes and
// gigabytes, so they run only when VANTOR_SLOW_TESTS is set (ctest -L slow). Each prints its
// time and the process's peak memory; nothing here asserts a speed.

#include "builder/build_plugin.h"
#include "tests/support/example_request.h"

#include "tests/support/test_files.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace builder;
using namespace testsupport;

namespace {

qint64 peakMemoryKb()
{
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

// The number of entries in the archive, from 7za's own listing.
int archivedFiles(const QString& zip, int* entries = nullptr)
{
    QProcess p;
    p.start(archiverPath(), {"l", "-slt", "-bd", zip});
    if (!p.waitForFinished(600000))
        return -1;
    int files = 0, all = 0;
    for (const QByteArray& line : p.readAllStandardOutput().split('\n')) {
        if (line.startsWith("Attributes = ")) {
            ++all;
            files += !line.contains('D');
        }
    }
    if (entries)
        *entries = all;
    return files;
}

// The entries PHP's ZipArchive (WordPress's first way to unpack) counts, its consistency check on.
int phpEntries(const QString& zip)
{
    QProcess p;
    p.start("php", {"-r",
                    "$z = new ZipArchive(); echo $z->open($argv[1], ZipArchive::CHECKCONS) === true ? "
                    "$z->numFiles : -1;",
                    zip});
    return p.waitForFinished(600000) ? p.readAllStandardOutput().toInt() : -1;
}

} // namespace

class LargeSiteTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_tmp{QDir::tempPath() + "/vantor large XXXXXX"};

    BuildRequest request(const QString& site, const QString& output) const
    {
        return exampleRequest(site, output);
    }

    // The template's files and the two converted pages: what a plugin holds beside the site.
    int templateFiles() const
    {
        int files = 0;
        QDirIterator it(request({}, {}).templateFolder, QDir::Files | QDir::Hidden,
                        QDirIterator::Subdirectories);
        for (; it.hasNext(); it.next())
            ++files;
        return files + 2;
    }

private slots:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("VANTOR_SLOW_TESTS"))
            QSKIP("set VANTOR_SLOW_TESTS=1 to build a site of 100,000 files and one with a 200 MB page");
    }

    void aHundredThousandFiles()
    {
        const QString site = m_tmp.filePath("many");
        const QString output = m_tmp.filePath("many out");
        QDir().mkpath(output);
        writeFile(site + "/index.html", "<html><img src=\"files/d000/f000001.txt\">#FRONT#</html>");
        writeFile(site + "/download.html", "<html><a href=\"files/d099/f099999.txt\">last</a>#BACK#</html>");
        // Plain system calls: QFile per file would take longer than the build.
        QElapsedTimer clock;
        clock.start();
        for (int d = 0; d < 100; ++d) {
            const QByteArray dir =
                QFile::encodeName(site) + "/files/d" + QByteArray::number(d).rightJustified(3, '0');
            QVERIFY(QDir().mkpath(QFile::decodeName(dir)));
            for (int i = d * 1000; i < (d + 1) * 1000; ++i) {
                const QByteArray file = dir + "/f" + QByteArray::number(i).rightJustified(6, '0') + ".txt";
                const int fd = ::open(file.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
                QVERIFY(fd >= 0);
                // Every other file a (tiny) GIF: stored as it is, so the archive's entries come
                // from both writers and number more than the plain end record can count.
                const QByteArray bytes = i % 2 ? QByteArray("GIF89a\x01\x00", 8) : QByteArray("x");
                QCOMPARE(::write(fd, bytes.constData(), size_t(bytes.size())), ssize_t(bytes.size()));
                ::close(fd);
            }
        }
        qInfo("made 100,000 files in %lld ms", clock.restart());
        const BuildResult result = BuildPlugin(request(site, output));
        qInfo("built in %lld ms, peak memory %lld KB", clock.elapsed(), peakMemoryKb());
        QVERIFY2(result.ok(), qPrintable(result.description));
        int entries = 0;
        // The site's files (the one for buyers goes to the store, with its list, index.php and
        // .htaccess), the template and the two converted pages.
        QCOMPARE(archivedFiles(result.archivePath, &entries), 100000 - 1 + 4 + templateFiles());
        QCOMPARE(phpEntries(result.archivePath), entries);
        QCOMPARE(QDir(output).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{"myplugin.zip"});
    }

    // The site of the big page with the chunk written `blocks` times `repeats` times; returns the
    // page's size and the converted page's size (its bytes are not read: one copy is enough).
    std::pair<qint64, qint64> buildPage(const QString& name, const QByteArray& chunk, int repeats, int blocks)
    {
        const QString site = m_tmp.filePath(name);
        const QString output = m_tmp.filePath(name + " out");
        QDir().mkpath(output);
        writeFile(site + "/images/a.png", "\x89PNG");
        writeFile(site + "/download.html", "<html>#BACK#</html>");
        {
            QFile page(site + "/index.html");
            if (!page.open(QIODevice::WriteOnly))
                return {-1, -1};
            page.write("<html><body>#FRONT#\n");
            const QByteArray block = chunk.repeated(repeats);
            for (int i = 0; i < blocks; ++i)
                page.write(block);
            page.write("</body></html>");
        }
        const qint64 pageSize = QFileInfo(site + "/index.html").size();
        QElapsedTimer clock;
        clock.start();
        const BuildResult result = BuildPlugin(request(site, output));
        qInfo("page of %lld bytes built in %lld ms, peak memory %lld KB", pageSize, clock.elapsed(),
              peakMemoryKb());
        if (!result.ok())
            return {pageSize, -1};
        const QString x = m_tmp.filePath(name + " x");
        QProcess p;
        p.start(archiverPath(), {"x", "-y", "-bd", "-o" + x, result.archivePath,
                                 "p4217/modules/template/converted_index.php"});
        if (!p.waitForFinished(600000) || p.exitCode() != 0)
            return {pageSize, -1};
        return {pageSize, QFileInfo(x + "/p4217/modules/template/converted_index.php").size()};
    }

    // Every reference rewritten and every "<?" neutralised: the converted page grows by the same
    // bytes for each of its million lines as a page of one line and of two lines do, which the size
    // shows without holding another copy of the page.
    void aPageOf200Megabytes()
    {
        const QByteArray chunk =
            "<p>Text with <img src=\"images/a.png\"> and <?xml and caf\xC3\xA9 to fill the page.</p>\n";
        const int repeats = int(1024 * 1024 / chunk.size());
        const auto [oneSize, one] = buildPage("one", chunk, 1, 1);
        const auto [twoSize, two] = buildPage("two", chunk, 2, 1);
        QVERIFY(one > 0 && two > one);
        const auto [pageSize, converted] = buildPage("big", chunk, repeats, 200);
        QVERIFY(converted > 0);
        const qint64 lines = qint64(repeats) * 200;
        QCOMPARE(pageSize, oneSize + (lines - 1) * chunk.size());
        QCOMPARE(converted, one + (lines - 1) * (two - one));
    }
};

QTEST_GUILESS_MAIN(LargeSiteTest)
#include "large_site_test.moc"
