// Sites far larger than any real one: 100,000 files, a 200 MB page. They take minutes and
// gigabytes, so they run only when VANTOR_SLOW_TESTS is set (ctest -L slow). Each prints its
// time and the process's peak memory; nothing here asserts a speed.

#include "builder/build_plugin.h"
#include "tests/support/example_request.h"

#include "tests/support/test_files.h"

#include <QDir>
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
int archivedFiles(const QString& zip)
{
    QProcess p;
    p.start(archiverPath(), {"l", "-slt", "-bd", zip});
    if (!p.waitForFinished(600000))
        return -1;
    int files = 0;
    for (const QByteArray& line : p.readAllStandardOutput().split('\n')) {
        if (line.startsWith("Attributes = ") && !line.contains('D'))
            ++files;
    }
    return files;
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
                QCOMPARE(::write(fd, "x", 1), ssize_t(1));
                ::close(fd);
            }
        }
        qInfo("made 100,000 files in %lld ms", clock.restart());
        const BuildResult result = BuildPlugin(request(site, output));
        qInfo("built in %lld ms, peak memory %lld KB", clock.elapsed(), peakMemoryKb());
        QVERIFY2(result.ok(), qPrintable(result.description));
        QCOMPARE(archivedFiles(result.archivePath),
                 100002 + 7); // the site, the template, two converted pages
        QCOMPARE(QDir(output).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{"myplugin.zip"});
    }

    void aPageOf200Megabytes()
    {
        const QString site = m_tmp.filePath("big");
        const QString output = m_tmp.filePath("big out");
        QDir().mkpath(output);
        writeFile(site + "/images/a.png", "\x89PNG");
        writeFile(site + "/download.html", "<html>#BACK#</html>");
        const QByteArray chunk =
            "<p>Text with <img src=\"images/a.png\"> and <?xml and caf\xC3\xA9 to fill the page.</p>\n";
        {
            QFile page(site + "/index.html");
            QVERIFY(page.open(QIODevice::WriteOnly));
            page.write("<html><body>#FRONT#\n");
            const QByteArray block = chunk.repeated(1024 * 1024 / chunk.size());
            for (int i = 0; i < 200; ++i)
                QCOMPARE(page.write(block), block.size());
            page.write("</body></html>");
        }
        const qint64 pageSize = QFileInfo(site + "/index.html").size();
        QElapsedTimer clock;
        clock.start();
        const BuildResult result = BuildPlugin(request(site, output));
        qInfo("page of %lld bytes built in %lld ms, peak memory %lld KB", pageSize, clock.elapsed(),
              peakMemoryKb());
        QVERIFY2(result.ok(), qPrintable(result.description));

        const QString x = m_tmp.filePath("big x");
        QProcess p;
        p.start(archiverPath(), {"x", "-y", "-bd", "-o" + x, result.archivePath,
                                 "p4217/modules/template/converted_index.php"});
        QVERIFY(p.waitForFinished(600000) && p.exitCode() == 0);
        QFile converted(x + "/p4217/modules/template/converted_index.php");
        QVERIFY(converted.open(QIODevice::ReadOnly));
        // Every reference rewritten and every "<?" neutralised: the size says so without holding
        // another copy of the page.
        const qint64 lines = (pageSize - 34) / chunk.size();
        const qint64 prefix =
            qstrlen("<?php bloginfo('wpurl'); ?>/wp-content/plugins/p4217/modules/template/");
        const qint64 neutraliser = qstrlen("<?php ?>");
        const qint64 guard = qstrlen("<?php if ( ! defined( 'ABSPATH' ) ) { exit; } ?>\n");
        QCOMPARE(converted.size(), guard + pageSize + lines * (prefix + neutraliser) +
                                       (qstrlen("<?php echo $front_tag;?>") - qstrlen("#FRONT#")));
    }
};

QTEST_GUILESS_MAIN(LargeSiteTest)
#include "large_site_test.moc"
