// Sites made to break the build: link loops, odd file names, paths at the length limit, pages
// that are empty or not text. Each ends in a clear message or a correct plugin, in bounded time.

#include "builder/build_plugin.h"
#include "builder/left_out_files.h"
#include "builder/plugin_header.h"
#include "tests/support/example_request.h"

#include "tests/support/test_files.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <climits>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

using namespace builder;
using namespace testsupport;
namespace fs = std::filesystem;

namespace {

// A file whose name is given as raw bytes, which need not be UTF-8.
void writeRaw(const QString& folder, const QByteArray& name, const QByteArray& bytes)
{
    const QByteArray path = QFile::encodeName(folder) + '/' + name;
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    QVERIFY2(fd >= 0, path.constData());
    QCOMPARE(::write(fd, bytes.constData(), size_t(bytes.size())), ssize_t(bytes.size()));
    ::close(fd);
}

QByteArray readRaw(const fs::path& path)
{
    QFile f;
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0 || !f.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        return "<missing>";
    return f.readAll();
}

} // namespace

class HostileSiteTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_tmp{QDir::tempPath() + "/vantor hostile XXXXXX"};
    QString m_site;
    QString m_output;

    BuildRequest request() const { return exampleRequest(m_site, m_output); }

    QString extracted(const BuildResult& result)
    {
        const QString x = m_tmp.filePath("x " + QString::number(QRandomGenerator::global()->generate()));
        if (!extract(result.archivePath, x))
            return {};
        return x + "/p4217/modules/template";
    }

private slots:
    void init()
    {
        m_site = m_tmp.filePath("site " + QString::number(QRandomGenerator::global()->generate()));
        m_output = m_tmp.filePath("out " + QString::number(QRandomGenerator::global()->generate()));
        QDir().mkpath(m_output);
        writeSmallSite(m_site);
    }

    void cleanup()
    {
        // Paths beyond PATH_MAX are out of QDir's reach; rm walks them relative to each folder.
        QProcess::execute("rm", {"-rf", m_site});
    }

    void cleanupTestCase() { QProcess::execute("rm", {"-rf", m_tmp.path()}); }

    void linkLoopsAndLinksOutAreLeftOutWithAWarning()
    {
        writeFile(m_tmp.filePath("secret/key.txt"), "secret");
        QVERIFY(QFile::link("loop b", m_site + "/loop a"));
        QVERIFY(QFile::link("loop a", m_site + "/loop b"));
        QVERIFY(QFile::link("self", m_site + "/self"));
        QVERIFY(QFile::link("..", m_site + "/images/up"));
        QVERIFY(QFile::link(m_tmp.filePath("secret"), m_site + "/secret"));
        QVERIFY(QFile::link(m_tmp.filePath("secret/key.txt"), m_site + "/key.txt"));
        QVERIFY(QFile::link("images/a.png", m_site + "/same.png")); // inside: packed as a file

        const BuildResult result = BuildPlugin(request());
        QVERIFY2(result.ok(), qPrintable(result.description));
        const QString all = result.warnings.join('\n');
        for (const char* name : {"'loop a'", "'loop b'", "'self'", "'images/up'", "'secret'", "'key.txt'"})
            QVERIFY2(all.contains(name), qPrintable(all));
        QCOMPARE(result.warnings.size(), 6);
        const QString tpl = extracted(result);
        QVERIFY(!tpl.isEmpty());
        QCOMPARE(QDir(tpl).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 (QStringList{"converted_download.php", "converted_index.php", "images", "same.png",
                              "template.php", "thanks.php"}));
        QCOMPARE(entries(tpl + "/images"), QStringList{"a.png"});
        QVERIFY(readRaw((tpl + "/same.png").toStdString()) == "\x89PNG fake");
    }

    // What a site folder brings besides the site: each kind stays out of the plugin, is named once
    // in the result, and a reference to it is reported like a missing file, with the reason.
    void serverFilesSecretsAndLitterAreLeftOut_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("entry");
        QTest::addColumn<int>("kind");
        const auto row = [](const char* file, const char* entry, LeftOutKind kind) {
            QTest::newRow(file) << QString(file) << QString(entry) << int(kind);
        };
        const LeftOutKind server = LeftOutKind::ServerFile;
        for (const char* f :
             {"send.php",  "contact/mail.PHP", "shell.php.jpg", "old.phtml",       "app.phar",
              "x.php3",    "x.php5",           "x.php8",        "x.pht",           "cgi-bin/form.cgi",
              "count.pl",  "app.py",           "gen.rb",        "deploy.sh",       "default.asp",
              "page.aspx", "view.jsp",         ".htaccess",     "admin/.htpasswd", ".user.ini",
              "web.config"})
            row(f, f, server);
        row(".env", ".env", LeftOutKind::Secret);
        row(".env.production", ".env.production", LeftOutKind::Secret);
        row(".git/config", ".git/", LeftOutKind::Secret);
        row(".svn/entries", ".svn/", LeftOutKind::Secret);
        row("images/.hg/store", "images/.hg/", LeftOutKind::Secret);
        row("certs/site.pem", "certs/site.pem", LeftOutKind::Secret);
        row("server.key", "server.key", LeftOutKind::Secret);
        row("id_rsa", "id_rsa", LeftOutKind::Secret);
        row("id_rsa.pub", "id_rsa.pub", LeftOutKind::Secret);
        for (const char* f : {".DS_Store", "images/Thumbs.db", "desktop.ini", "index.html~", "index.bak",
                              "images/.a.png.swp", "WS_FTP.LOG"})
            row(f, f, LeftOutKind::Litter);
        row("_notes/dwsync.xml", "_notes/", LeftOutKind::Litter);
        row("hts-cache/new.zip", "hts-cache/", LeftOutKind::Litter);
    }

    void serverFilesSecretsAndLitterAreLeftOut()
    {
        QFETCH(QString, file);
        QFETCH(QString, entry);
        QFETCH(int, kind);
        writeFile(m_site + "/" + file, "<?php echo 'LEFT-OUT-MARKER'; ?>");
        writeFile(m_site + "/index.html",
                  "<html>#FRONT#<img src=\"images/a.png\"><a href=\"" + file.toUtf8() + "\">x</a></html>");

        const BuildResult result = BuildPlugin(request());
        QVERIFY2(result.ok(), qPrintable(result.description));
        QCOMPARE(result.leftOut.size(), std::size_t(1));
        QCOMPARE(result.leftOut[0].path, entry);
        QCOMPARE(int(result.leftOut[0].kind), kind);
        QVERIFY(result.warnings.isEmpty());
        QCOMPARE(result.references.size(), std::size_t(1));
        const ReferenceNote& note = result.references[0];
        QCOMPARE(note.kind, ReferenceNote::Kind::LeftOut);
        QVERIFY2(DescribeReferenceNote(note).contains(LeftOutReason(LeftOutKind(kind))),
                 qPrintable(DescribeReferenceNote(note)));

        const QString tpl = extracted(result);
        QVERIFY(!tpl.isEmpty());
        QVERIFY(!QFileInfo::exists(tpl + "/" + file));
        QVERIFY(!QFileInfo::exists(tpl + "/" + entry));
        QCOMPARE(readFile(tpl + "/images/a.png"), QByteArray("\x89PNG fake"));
        QDirIterator all(QFileInfo(tpl).path() + "/..", QDir::Files | QDir::Hidden,
                         QDirIterator::Subdirectories);
        while (all.hasNext()) {
            const QString path = all.next();
            QVERIFY2(!readFile(path).contains("LEFT-OUT-MARKER"), qPrintable(path));
        }
    }

    // By name, a left-out file goes in all the same; the rest of its kind, and of its folder, stays out.
    void aFileNamedToShipAnywayShips()
    {
        writeFile(m_site + "/send.php", "<?php mail(); ?>");
        writeFile(m_site + "/old.php", "<?php ?>");
        writeFile(m_site + "/.git/config", "[core]");
        writeFile(m_site + "/.git/HEAD", "ref: refs/heads/main");
        BuildRequest r = request();
        r.shipAnyway = QStringList{"send.php", ".git/config"};
        const BuildResult result = BuildPlugin(r);
        QVERIFY2(result.ok(), qPrintable(result.description));
        QStringList leftOut;
        for (const LeftOutEntry& e : result.leftOut)
            leftOut << e.path;
        QCOMPARE(leftOut, (QStringList{".git/HEAD", "old.php"}));
        const QString tpl = extracted(result);
        QCOMPARE(readFile(tpl + "/send.php"), QByteArray("<?php mail(); ?>"));
        QCOMPARE(readFile(tpl + "/.git/config"), QByteArray("[core]"));
        QVERIFY(!QFileInfo::exists(tpl + "/.git/HEAD"));
        QVERIFY(!QFileInfo::exists(tpl + "/old.php"));

        r.shipAnyway = QStringList{"nosuch.php"};
        const BuildResult refused = BuildPlugin(r);
        QCOMPARE(refused.status, BuildResult::Status::Refused);
        QVERIFY2(refused.description.contains("'nosuch.php' is not a file of the site folder"),
                 qPrintable(refused.description));
    }

    // Hidden files of no left-out kind ship, and the pages' references reach them.
    void hiddenFilesThatShipAreReferencedToo()
    {
        writeFile(m_site + "/.well-known/security.txt", "Contact: x");
        writeFile(m_site + "/index.html", "<html>#FRONT#<a href=\".well-known/security.txt\">s</a></html>");
        const BuildResult result = BuildPlugin(request());
        QVERIFY2(result.ok(), qPrintable(result.description));
        QVERIFY(result.references.empty());
        const QString tpl = extracted(result);
        QCOMPARE(readFile(tpl + "/.well-known/security.txt"), QByteArray("Contact: x"));
        QVERIFY(
            readFile(tpl + "/converted_index.php").contains(GetAssetUrlPrefix().toUtf8() + ".well-known/"));
    }

    void aRolePageThatIsAServerScriptIsRefused_data()
    {
        QTest::addColumn<bool>("front");
        QTest::newRow("front-end page") << true;
        QTest::newRow("download page") << false;
    }

    void aRolePageThatIsAServerScriptIsRefused()
    {
        QFETCH(bool, front);
        writeFile(m_site + "/order.php", "<html>#FRONT# #BACK#</html>");
        BuildRequest r = request();
        (front ? r.frontPage : r.downloadPage) = m_site + "/order.php";
        const BuildResult result = BuildPlugin(r);
        QCOMPARE(result.status, BuildResult::Status::Refused);
        QVERIFY2(result.description.contains(front ? "front-end page" : "download page") &&
                     result.description.contains("is a server script") &&
                     result.description.contains("choose an HTML page"),
                 qPrintable(result.description));
        QCOMPARE(entries(m_output), QStringList());
    }

    // Quotes, a line break, leading dashes that look like options and bytes that are not UTF-8:
    // every file is packed under its own bytes; links to the UTF-8 names are rewritten, and the
    // name that is not UTF-8 gets a warning because no link can name it.
    void oddFileNamesArePackedByteForByte()
    {
        const QList<QByteArray> names = {"say \"hi\".png", "it's.png",        "new\nline.png",  "-r",
                                         "--help.png",     "caf\xC3\xA9.png", "bad\xE9name.png"};
        // Every other file is a PNG by its content, which the archive stores rather than deflates.
        const auto content = [&names](const QByteArray& name) {
            return QByteArray(names.indexOf(name) % 2 ? "\x89PNG\r\n\x1A\n" : "") + "bytes of " + name;
        };
        QByteArray page = "<html>#FRONT#";
        for (const QByteArray& name : names) {
            writeRaw(m_site + "/images", name, content(name));
            page += "<img src=\"images/" + name + "\">";
        }
        writeFile(m_site + "/index.html", page + "</html>");

        const BuildResult result = BuildPlugin(request());
        QVERIFY2(result.ok(), qPrintable(result.description));
        QCOMPARE(result.warnings.size(), 1);
        QVERIFY2(result.warnings.first().contains("is not valid UTF-8"), qPrintable(result.warnings.first()));

        const QString tpl = extracted(result);
        QVERIFY(!tpl.isEmpty());
        for (const QByteArray& name : names) {
            const fs::path file =
                fs::path(QFile::encodeName(tpl + "/images").toStdString()) / name.toStdString();
            QVERIFY2(readRaw(file) == content(name), name.constData());
        }
        QFile converted(tpl + "/converted_index.php");
        QVERIFY(converted.open(QIODevice::ReadOnly));
        const QByteArray php = converted.readAll();
        const QByteArray prefix = "\"" + GetAssetUrlPrefix().toUtf8() + "images/";
        for (const QByteArray& name : names.mid(0, 6))
            QVERIFY2(php.contains(prefix + name + "\""), name.constData());
        // The page itself is Windows-1252 here (one byte is not UTF-8) and keeps that link as it was.
        QVERIFY(php.contains("\"images/bad\xC3\xA9name.png\""));
    }

    void deepPaths_data()
    {
        QTest::addColumn<bool>("atTheLimit");
        QTest::newRow("deep, the copy still fits") << false;
        QTest::newRow("the site's own path at the limit") << true;
    }
    void deepPaths()
    {
        QFETCH(bool, atTheLimit);
        // Nested folders of 200-byte names, made one level at a time so that no call sees the
        // whole path.
        const QByteArray part(200, 'n');
        const int room = PATH_MAX - 20 - int(QFile::encodeName(m_site).size());
        const int levels = atTheLimit ? room / (part.size() + 1) : 12;
        int dir = ::open(QFile::encodeName(m_site).constData(), O_RDONLY | O_DIRECTORY);
        QVERIFY(dir >= 0);
        for (int i = 0; i < levels; ++i) {
            QCOMPARE(::mkdirat(dir, part.constData(), 0755), 0);
            const int next = ::openat(dir, part.constData(), O_RDONLY | O_DIRECTORY);
            ::close(dir);
            dir = next;
            QVERIFY(dir >= 0);
        }
        const int fd = ::openat(dir, "deep.png", O_WRONLY | O_CREAT, 0644);
        QVERIFY(fd >= 0);
        ::close(fd);
        ::close(dir);

        const BuildResult result = BuildPlugin(request());
        if (atTheLimit) {
            QCOMPARE(result.status, BuildResult::Status::Failed);
            QVERIFY2(result.description.contains("File name too long"), qPrintable(result.description));
            QVERIFY2(result.description.contains(QString(part)), qPrintable(result.description));
            QCOMPARE(entries(m_output), QStringList());
            return;
        }
        QVERIFY2(result.ok(), qPrintable(result.description));
        QProcess list;
        list.start(archiverPath(), {"l", "-slt", "-bd", result.archivePath});
        QVERIFY(list.waitForFinished(60000));
        QString deep = "p4217/modules/template";
        for (int i = 0; i < levels; ++i)
            deep += "/" + QString(part);
        QVERIFY(QString::fromUtf8(list.readAllStandardOutput()).contains("Path = " + deep + "/deep.png\n"));
    }

    void pagesThatAreEmptyOrNotText_data()
    {
        QTest::addColumn<QByteArray>("page");
        QTest::addColumn<int>("warnings");
        QTest::addColumn<QByteArray>("converted");
        const QByteArray png =
            QByteArray::fromHex("89504e470d0a1a0a0000000d49484452000000010000000108060000001f15c489") +
            "<?php system('id'); ?>" + QByteArray(64, '\0') + "\xFF\xFE\x3C\x3F";
        QTest::newRow("empty page") << QByteArray() << 0
                                    << QByteArray("<?php if ( ! defined( 'ABSPATH' ) ) { exit; } ?>\n");
        QTest::newRow("PNG named .html") << png << 1 << QByteArray();
    }
    void pagesThatAreEmptyOrNotText()
    {
        QFETCH(QByteArray, page);
        QFETCH(int, warnings);
        QFETCH(QByteArray, converted);
        writeFile(m_site + "/index.html", page);
        const BuildResult result = BuildPlugin(request());
        QVERIFY2(result.ok(), qPrintable(result.description));
        QCOMPARE(result.warnings.size(), warnings);
        if (warnings)
            QVERIFY2(result.warnings.first().contains("looks like binary data"),
                     qPrintable(result.warnings.first()));
        const QString tpl = extracted(result);
        QVERIFY(!tpl.isEmpty());
        QFile out(tpl + "/converted_index.php");
        QVERIFY(out.open(QIODevice::ReadOnly));
        const QByteArray php = out.readAll();
        if (page.isEmpty())
            QCOMPARE(php, converted);
        // Whatever the page held, PHP finds nothing to run in it.
        QVERIFY(!php.contains("<?php system"));
        const QString phpBinary = QStandardPaths::findExecutable("php");
        if (phpBinary.isEmpty())
            return;
        QProcess run;
        run.start(phpBinary, {"-d", "short_open_tag=On", "-r",
                              "define('ABSPATH', '/'); $front_tag='[F]'; include $argv[1];",
                              tpl + "/converted_index.php"});
        QVERIFY(run.waitForFinished(30000));
        QCOMPARE(run.exitCode(), 0);
        const QByteArray shown = run.readAllStandardOutput();
        QVERIFY2(!shown.contains("uid="), shown.constData());
        if (!page.isEmpty())
            QVERIFY(shown.contains("<?php system('id'); ?>"));
    }
};

QTEST_GUILESS_MAIN(HostileSiteTest)
#include "hostile_site_test.moc"
