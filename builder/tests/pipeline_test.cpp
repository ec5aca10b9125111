#include "builder/build_plugin.h"
#include "builder/delivery_store.h"
#include "builder/plugin_header.h"
#include "support/mortar_file.h"
#include "tests/support/example_request.h"

#include "tests/support/test_files.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <fcntl.h>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace builder;
using namespace testsupport;

namespace {

// Root reads every file through two capabilities; with them out of force it is held to a file's
// mode like any user. Dropped for the calling thread only, and put back when this goes.
class WithoutReadOverride final
{
public:
    WithoutReadOverride()
    {
        if (::syscall(SYS_capget, &m_header, m_saved) != 0)
            return;
        __user_cap_data_struct lowered[2] = {m_saved[0], m_saved[1]};
        lowered[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        m_dropped = ::syscall(SYS_capset, &m_header, lowered) == 0;
    }
    ~WithoutReadOverride()
    {
        if (m_dropped)
            ::syscall(SYS_capset, &m_header, m_saved);
    }
    WithoutReadOverride(const WithoutReadOverride&) = delete;
    WithoutReadOverride& operator=(const WithoutReadOverride&) = delete;

    bool dropped() const { return m_dropped; }

private:
    __user_cap_header_struct m_header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct m_saved[2]{};
    bool m_dropped = false;
};

} // namespace

class PipelineTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_tmp{QDir::tempPath() + "/vantor pipeline XXXXXX"}; // a blank in every path
    QString m_site;
    QString m_output;

    BuildRequest request(const QString& id = "p4217") const { return exampleRequest(m_site, m_output, id); }

private slots:
    void init()
    {
        m_site = m_tmp.filePath("site " + QString::number(QRandomGenerator::global()->generate()));
        m_output = m_tmp.filePath("out " + QString::number(QRandomGenerator::global()->generate()));
        QDir().mkpath(m_output);
        writeFile(m_site + "/index.html",
                  "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<!DOCTYPE html>\n<html><head>"
                  "<link href=\"css/style.css\" rel=\"stylesheet\"></head><body>"
                  "<img src=\"images/cover one.png\"><p>Caf\xC3\xA9 \x96 "
                  "r\xC3\xA9sum\xC3\xA9</p>#FRONT#</body></html>");
        writeFile(m_site + "/download.html",
                  "<html><body><a href=\"files/guide.pdf\">Guide</a>#BACK#</body></html>");
        writeFile(m_site + "/css/style.css", "body { background: url(../images/bg.png); }");
        writeFile(m_site + "/images/cover one.png", "\x89PNG fake");
        writeFile(m_site + "/images/bg.png", "\x89PNG bg");
        writeFile(m_site + "/files/guide.pdf", "%PDF-1.4 fake");
    }

    void buildsTheArchiveAndLeavesNothingElse()
    {
        const auto before = fingerprint(m_site);
        QList<int> percents;
        const BuildResult result = BuildPlugin(request(), [&](int p, const QString&) { percents << p; });
        QVERIFY2(result.ok(), qPrintable(result.description));
        QCOMPARE(result.archivePath, m_output + "/myplugin.zip");
        QCOMPARE(QDir(m_output).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{"myplugin.zip"});
        QCOMPARE(fingerprint(m_site), before);
        QCOMPARE(percents.last(), 100);
        QVERIFY(std::is_sorted(percents.begin(), percents.end()));
        QCOMPARE(result.errorNumber, 0);
        QCOMPARE(result.description, QString());

        const QString x = m_tmp.filePath("x1");
        QVERIFY(extract(result.archivePath, x));
        QCOMPARE(QDir(x).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"p4217"});
        const QByteArray plugin = readFile(x + "/p4217/plugin.php");
        const QByteArray header =
            "<?php\r\n/*\r\nPlugin Name: My Plugin\r\nPlugin URI: https://vantor.dev/plugins/my-plugin\r\n"
            "Description: Plugin Created with Vantor! - https://vantor.dev.\r\nVersion: 1.0\r\n"
            "Author: Converted by Vantor!\r\nAuthor URI: https://vantor.dev\r\nLicense: GPL\r\n*/\r\n?>";
        // After the file's doc comment, well inside the first 8 KB that WordPress reads it from.
        const qsizetype headerAt = plugin.indexOf(header);
        QVERIFY2(headerAt > 0 && headerAt + header.size() < 8192, plugin.left(600).constData());
        for (const char* placeholder : {"#prefix#", "#header#", "#menuname#"}) {
            QDirIterator it(x, {"*.php"}, QDir::Files, QDirIterator::Subdirectories);
            while (it.hasNext())
                QVERIFY2(!readFile(it.next()).contains(placeholder), qPrintable(it.filePath()));
        }

        const QString tpl = x + "/p4217/modules/template/";
        const QByteArray index = readFile(tpl + "converted_index.php");
        const QByteArray prefix = GetAssetUrlPrefix().toUtf8();
        QVERIFY(index.contains("href=\"" + prefix + "css/style.css\""));
        QVERIFY(index.contains("src=\"" + prefix + "images/cover one.png\""));
        QVERIFY(index.contains("<?php echo $front_tag;?>"));
        QVERIFY(!index.contains("#FRONT#"));
        QVERIFY(index.startsWith("<?php if ( ! defined( 'ABSPATH' ) ) { exit; } ?>\n<<?php ?>?xml"));
        // Read as UTF-8 with a stray Windows-1252 dash, written as UTF-8 without a byte-order mark.
        QVERIFY(index.contains("Caf\xC3\xA9 \xE2\x80\x93 r\xC3\xA9sum\xC3\xA9"));
        const QByteArray download = readFile(tpl + "converted_download.php");
        QVERIFY(download.contains("href=\"" + DeliveryUrlCode(0) + "\""));
        QVERIFY(download.contains("<?php echo $back_tag;?>"));
        // The rest of the site is shipped unchanged; the two funnel pages only as converted pages,
        // so that neither is served raw with its tag, the download page not without its key.
        QCOMPARE(readFile(tpl + "css/style.css"), readFile(m_site + "/css/style.css"));
        QCOMPARE(readFile(tpl + "images/cover one.png"), readFile(m_site + "/images/cover one.png"));
        QVERIFY(!QFileInfo::exists(tpl + "index.html"));
        QVERIFY(!QFileInfo::exists(tpl + "download.html"));
    }

    // A module the template gains is filled in like the rest, without the build naming it; the
    // folders' index.php files and files that are not PHP are packed as they are.
    void everyPhpFileOfTheTemplateIsFilledIn()
    {
        BuildRequest r = request();
        const QString tpl = m_tmp.filePath("template with modules");
        QVERIFY(support::MortarFile::CopyFolder(r.templateFolder, tpl).isEmpty());
        r.templateFolder = tpl;
        writeFile(tpl + "/modules/extra-module.php", "<?php\nfunction #prefix#_extra() {}\n");
        writeFile(tpl + "/uninstall.php", "<?php\n#prefix#_forget();\n");
        writeFile(tpl + "/modules/notes.txt", "#prefix# stays\n");
        writeFile(tpl + "/modules/sub/index.php", "<?php // #prefix# stays\n");
        const BuildResult result = BuildPlugin(r, {});
        QVERIFY2(result.ok(), qPrintable(result.description));
        const QString x = m_tmp.filePath("x-modules");
        QVERIFY(extract(result.archivePath, x));
        QCOMPARE(readFile(x + "/p4217/modules/extra-module.php"),
                 QByteArray("<?php\nfunction p4217_extra() {}\n"));
        QCOMPARE(readFile(x + "/p4217/uninstall.php"), QByteArray("<?php\np4217_forget();\n"));
        QCOMPARE(readFile(x + "/p4217/modules/notes.txt"), QByteArray("#prefix# stays\n"));
        QCOMPARE(readFile(x + "/p4217/modules/sub/index.php"), QByteArray("<?php // #prefix# stays\n"));
    }

    // What only the download page links to is held back for buyers, each file behind a PHP guard
    // under a random name, listed for the plugin; what the front-end page uses stays public.
    void deliveryFilesAreHeldBackForBuyers()
    {
        writeFile(m_site + "/files/bonus notes é.txt", "notes");
        writeFile(
            m_site + "/download.html",
            "<html><body><a href=\"files/guide.pdf\">Guide</a><a href='files/bonus%20notes%20%C3%A9.txt'>"
            "Notes</a><a href=\"css/style.css\">CSS</a>#BACK#</body></html>");
        writeFile(m_site + "/index.html", "<html><link rel=stylesheet href='css/style.css'>#FRONT#</html>");
        BuildResult result = BuildPlugin(request());
        QVERIFY2(result.ok(), qPrintable(result.description));
        QCOMPARE(result.delivered, (QStringList{"files/guide.pdf", "files/bonus notes é.txt"}));
        QString x = m_tmp.filePath("x3");
        QVERIFY(extract(result.archivePath, x));
        const QDir modules(x + "/p4217/modules");
        const QDir store(modules.filePath("delivery-files"));
        const QStringList held = store.entryList(QDir::Files | QDir::Hidden, QDir::Name);
        QCOMPARE(held.size(), 4);
        QVERIFY(held.contains(".htaccess") && held.contains("index.php"));
        QVERIFY(readFile(store.filePath(".htaccess")).contains("Require all denied"));
        QVERIFY(readFile(store.filePath("index.php")).contains("exit;"));
        QVERIFY(!QFileInfo::exists(modules.filePath("template/files")));
        QVERIFY(QFileInfo::exists(modules.filePath("template/css/style.css")));
        // The list names the files in the page's order and says which stored file holds each.
        const QByteArray list = readFile(modules.filePath("delivery.php"));
        const QRegularExpression entry(
            "'file'   => 'delivery-files/([0-9a-f]{32}\\.php)',\n\t+'offset' => 30,");
        QStringList stored;
        for (auto m = entry.globalMatch(QString::fromUtf8(list)); m.hasNext();)
            stored << m.next().captured(1);
        QVERIFY2(stored.size() == 2 &&
                     list.indexOf("'files/guide.pdf'") < list.indexOf("'files/bonus notes \xC3\xA9.txt'"),
                 list.constData());
        QCOMPARE(readFile(store.filePath(stored[0])),
                 QByteArray(kStoreGuard) + readFile(m_site + "/files/guide.pdf"));
        QCOMPARE(readFile(store.filePath(stored[1])), QByteArray(kStoreGuard) + "notes");
        const QByteArray page = readFile(modules.filePath("template/converted_download.php"));
        QVERIFY(page.contains("href=\"" + DeliveryUrlCode(0) + "\"") &&
                page.contains("href='" + DeliveryUrlCode(1) + "'"));
        // A second build names its stored files anew.
        BuildResult again = BuildPlugin(request());
        QVERIFY(again.ok());
        const QString y = m_tmp.filePath("x4");
        QVERIFY(extract(again.archivePath, y));
        QVERIFY(!QDir(y + "/p4217/modules/delivery-files").entryList(QDir::Files).contains(stored[0]));

        // The user keeps one public, forces the style sheet, or keeps everything public.
        BuildRequest r = request();
        r.keepPublic = QStringList{"files/guide.pdf"};
        r.deliver = QStringList{"css/style.css"};
        result = BuildPlugin(r);
        QCOMPARE(result.delivered, (QStringList{"files/bonus notes é.txt", "css/style.css"}));
        r = request();
        r.publicDelivery = true;
        result = BuildPlugin(r);
        QVERIFY(result.ok() && result.delivered.isEmpty());
        x = m_tmp.filePath("x5");
        QVERIFY(extract(result.archivePath, x));
        QVERIFY(QFileInfo::exists(x + "/p4217/modules/template/files/guide.pdf"));
        QVERIFY(!QFileInfo::exists(x + "/p4217/modules/delivery.php"));

        // A file to deliver must be one of the site's, named inside it.
        for (const QString& bad : QStringList{"files/none.pdf", "../outside.pdf", "/etc/passwd", "files"}) {
            r = request();
            r.deliver = QStringList{bad};
            result = BuildPlugin(r);
            QCOMPARE(int(result.status), int(BuildResult::Status::Refused));
            QVERIFY2(result.description.contains(bad), qPrintable(result.description));
        }
    }

    void everyPhpFileParsesWithShortTagsOnAndOff()
    {
        const QString php = QStandardPaths::findExecutable("php");
        if (php.isEmpty())
            QSKIP("php-cli is not installed");
        const BuildResult result = BuildPlugin(request());
        QVERIFY2(result.ok(), qPrintable(result.description));
        const QString x = m_tmp.filePath("x2");
        QVERIFY(extract(result.archivePath, x));
        int checked = 0;
        QDirIterator it(x, {"*.php"}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString file = it.next();
            for (const char* shortTags : {"short_open_tag=On", "short_open_tag=Off"}) {
                QProcess p;
                p.start(php, {"-d", shortTags, "-l", file});
                QVERIFY(p.waitForFinished(30000));
                QVERIFY2(p.exitCode() == 0, qPrintable(file + ": " + p.readAll()));
            }
            ++checked;
        }
        QVERIFY(checked >= 7); // five template files and two converted pages
        // With short tags on, the page's own "<?xml" prologue is printed, not run.
        QProcess run;
        run.start(php, {"-d", "short_open_tag=On", "-r",
                        "define('ABSPATH', '/'); $front_tag='[F]'; $asset_base='http://wp/p/'; "
                        "include $argv[1];",
                        x + "/p4217/modules/template/converted_index.php"});
        QVERIFY(run.waitForFinished(30000));
        const QByteArray shown = run.readAllStandardOutput();
        QVERIFY2(shown.startsWith("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<!DOCTYPE html>"),
                 shown.constData());
        QVERIFY(shown.contains("src=\"http://wp/p/images/cover one.png\""));
        QVERIFY(shown.contains("[F]"));
        // Requested on its own, outside WordPress, the page stops before printing anything.
        QProcess direct;
        direct.start(php, {x + "/p4217/modules/template/converted_index.php"});
        QVERIFY(direct.waitForFinished(30000));
        QCOMPARE(direct.exitCode(), 0);
        QCOMPARE(direct.readAll(), QByteArray());
    }

    void aRebuildReplacesTheArchiveWhole()
    {
        QVERIFY(BuildPlugin(request()).ok());
        QFile::remove(m_site + "/files/guide.pdf");
        writeFile(m_site + "/files/new.pdf", "%PDF new");
        QVERIFY(BuildPlugin(request()).ok());
        const QString x = m_tmp.filePath("x3");
        QVERIFY(extract(m_output + "/myplugin.zip", x));
        QVERIFY(QFile::exists(x + "/p4217/modules/template/files/new.pdf"));
        QVERIFY(!QFile::exists(x + "/p4217/modules/template/files/guide.pdf"));
    }

    void refusedRequestsTouchNothing_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("value");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("says");
        const int missing = int(BuildResult::Status::MissingFields);
        const int refused = int(BuildResult::Status::Refused);
        QTest::newRow("empty license") << "license"
                                       << "" << missing << "";
        QTest::newRow("empty name") << "name"
                                    << "" << missing << "";
        QTest::newRow("bad identifier") << "identifier"
                                        << "../x" << refused << "unique identifier";
        QTest::newRow("blank name") << "name"
                                    << "   " << refused << "plugin name";
        QTest::newRow("comment end") << "version"
                                     << "1 */" << refused << "version";
        QTest::newRow("site name not UTF-8")
            << "raw site" << QString::fromLatin1("site-\xff") << refused << "its name is not valid UTF-8";
        QTest::newRow("page name not UTF-8")
            << "raw page" << QString::fromLatin1("down\xe9.html") << refused << "its name is not valid UTF-8";
        QTest::newRow("missing name with U+FFFD")
            << "site" << QStringLiteral(u"/nonexistent/caf\uFFFD") << refused << "does not exist";
        QTest::newRow("no page") << "page"
                                 << "gone.html" << refused << "gone.html";
        QTest::newRow("no site") << "site"
                                 << "/nonexistent/site" << refused << "/nonexistent/site";
        QTest::newRow("no archiver") << "archiver"
                                     << "/nonexistent/7za" << refused << "/nonexistent/7za";
        QTest::newRow("output in site") << "output"
                                        << "site" << refused << "inside the site";
    }
    void refusedRequestsTouchNothing()
    {
        QFETCH(QString, field);
        QFETCH(QString, value);
        QFETCH(int, status);
        QFETCH(QString, says);
        BuildRequest r = request();
        if (field == "license")
            r.details.license = value;
        else if (field == "name")
            r.details.name = value;
        else if (field == "identifier")
            r.details.identifier = value;
        else if (field == "version")
            r.details.version = value;
        else if (field == "page")
            r.downloadPage = m_site + "/" + value;
        else if (field == "site")
            r.siteFolder = value;
        else if (field == "archiver")
            r.archiver = value;
        else if (field == "output")
            r.outputFolder = m_site;
        QByteArray raw;
        if (field.startsWith("raw ")) {
            // The name on disk holds a byte that is not UTF-8; the path given is how Qt reads it.
            raw = QFile::encodeName(field == "raw site" ? m_tmp.path() : m_site) + '/' + value.toLatin1();
            const int made = field == "raw site" ? ::mkdir(raw.constData(), 0755)
                                                 : ::close(::creat(raw.constData(), 0644));
            QCOMPARE(made, 0);
            (field == "raw site" ? r.siteFolder : r.downloadPage) = QFile::decodeName(raw);
        }
        const auto site = fingerprint(m_site);
        const BuildResult result = BuildPlugin(r);
        QCOMPARE(int(result.status), status);
        // A missing field needs no reason; a refusal names what is wrong.
        if (says.isEmpty())
            QCOMPARE(result.description, QString());
        else
            QVERIFY2(result.description.contains(says), qPrintable(result.description));
        QVERIFY(QDir(m_output).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
        QCOMPARE(fingerprint(m_site), site);
        if (!raw.isEmpty())
            QCOMPARE(std::remove(raw.constData()), 0); // the temporary folder's clean-up cannot name it
    }

    void failedBuildsKeepTheEarlierArchive_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("says");
        QTest::newRow("template without cpt.php") << "template" << 53 << "modules/cpt.php";
        QTest::newRow("unreadable page") << "page" << 70 << "download.html";
        QTest::newRow("page turned into a pipe during the build") << "pipe" << 75 << "download.html";
        QTest::newRow("archiver fails") << "archiver" << 1002 << "exit code 2";
    }
    void failedBuildsKeepTheEarlierArchive()
    {
        QFETCH(QString, fault);
        QFETCH(int, number);
        QFETCH(QString, says);
        QVERIFY(BuildPlugin(request()).ok());
        const QByteArray earlier = readFile(m_output + "/myplugin.zip");

        BuildRequest r = request();
        BuildProgress progress;
        if (fault == "template") {
            r.templateFolder = m_tmp.filePath("broken template");
            QDir().mkpath(r.templateFolder);
            QProcess::execute("cp", {"-r", request().templateFolder + "/.", r.templateFolder});
            QVERIFY(QFile::remove(r.templateFolder + "/modules/cpt.php"));
        } else if (fault == "page") {
            QVERIFY(QFile::setPermissions(r.downloadPage, QFileDevice::Permissions()));
        } else if (fault == "pipe") {
            // The build checks the page before its first step; from then on the page is a pipe.
            progress = [&](int, const QString&) {
                if (QFileInfo(r.downloadPage).isFile()) {
                    QFile::remove(r.downloadPage);
                    ::mkfifo(QFile::encodeName(r.downloadPage).constData(), 0644);
                }
            };
        } else {
            r.archiver = m_tmp.filePath("failing 7za");
            writeFile(r.archiver, "#!/bin/sh\necho 'cannot write the archive' >&2\nexit 2\n");
            QFile::setPermissions(r.archiver, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        BuildResult result;
        if (fault == "page" && ::geteuid() == 0) {
            const WithoutReadOverride asPlainUser;
            if (!asPlainUser.dropped())
                QSKIP("root reads any file, and this process may not give that up for a while");
            result = BuildPlugin(r);
        } else {
            result = BuildPlugin(r, progress);
        }
        QCOMPARE(result.status, BuildResult::Status::Failed);
        QCOMPARE(result.errorNumber, number);
        QVERIFY2(result.description.contains(says), qPrintable(result.description));
        QCOMPARE(QDir(m_output).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{"myplugin.zip"});
        QCOMPARE(readFile(m_output + "/myplugin.zip"), earlier);
    }

    void linksOutOfTheSiteAreLeftOutWithAWarning()
    {
        writeFile(m_tmp.filePath("private.txt"), "private");
        QVERIFY(QFile::link(m_tmp.filePath("private.txt"), m_site + "/private.txt"));
        const BuildResult result = BuildPlugin(request());
        QVERIFY(result.ok());
        QCOMPARE(result.warnings.size(), 1);
        QVERIFY(result.warnings.first().contains("private.txt"));
        const QString x = m_tmp.filePath("x4");
        QVERIFY(extract(result.archivePath, x));
        QVERIFY(!QFile::exists(x + "/p4217/modules/template/private.txt"));
    }
};

QTEST_GUILESS_MAIN(PipelineTest)
#include "pipeline_test.moc"
