// vantor-build as scripts see it: exit status, standard output holding only the archive path,
// and failures that stay failures when the disk or the installation folder is odd.

#include "tests/support/test_files.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

using namespace testsupport;

namespace {

const QString kInstallDir = QStringLiteral(VANTOR_INSTALL_DIR);

struct Run
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Run runCli(const QString& program, const QStringList& args, const std::function<void()>& inChild = {})
{
    QProcess p;
    if (inChild)
        p.setChildProcessModifier(inChild);
    p.start(program, args);
    Run r;
    if (!p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished();
        r.err = "did not finish in two minutes";
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

QStringList workFolders(const QString& output)
{
    return QDir(output).entryList({".vantor-build-*"}, QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot);
}

} // namespace

class CliTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_tmp{QDir::tempPath() + "/vantor cli XXXXXX"};
    QString m_site;
    QString m_output;

    QString cli() const { return kInstallDir + "/vantor-build"; }

    // Starts a build of the example site whose archiver sleeps; the archiver's process id once it
    // runs, 0 when it never started.
    qint64 startSleepingBuild(QProcess& build)
    {
        const QString archiver = writeSleepingArchiver(m_tmp.path());
        build.start(cli(), {m_site, "--output", m_output, "--front", "index.html", "--download",
                            "download.html", "--archiver", archiver});
        if (!QTest::qWaitFor([&] { return archiverPid(archiver) > 0; }, 60000))
            return 0;
        return archiverPid(archiver);
    }

private slots:
    void init()
    {
        m_site = m_tmp.filePath("site " + QString::number(QRandomGenerator::global()->generate()));
        m_output = m_tmp.filePath("out " + QString::number(QRandomGenerator::global()->generate()));
        writeFile(m_site + "/index.html", "<html><img src=\"a.png\">#FRONT#</html>");
        writeFile(m_site + "/download.html", "<html>#BACK#</html>");
        writeFile(m_site + "/notags.html", "<html>no tags</html>");
        writeFile(m_site + "/a.png", "\x89PNG");
    }

    void exitStatusAndOutput_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("stderrSays");
        QTest::addColumn<bool>("archive");
        QTest::newRow("built") << QStringList{"--front", "index.html", "--download", "download.html"} << 0
                               << "[100%] Done" << true;
        QTest::newRow("missing tags warn")
            << QStringList{"--front", "notags.html", "--download", "download.html"} << 0
            << "warning: The following tags are not present" << true;
        QTest::newRow("missing tags with --strict")
            << QStringList{"--front", "notags.html", "--download", "download.html", "--strict"} << 1
            << "error: --strict" << false;
        QTest::newRow("refused identifier")
            << QStringList{"--front", "index.html", "--download", "download.html", "--id", "../x"} << 1
            << "error: The unique identifier \"../x\" cannot be used" << false;
        QTest::newRow("empty details") << QStringList{"--front", "index.html", "--download", "download.html",
                                                      "--name",  "",           "--version",  ""}
                                       << 1 << "error: --name, --version must not be empty" << false;
        QTest::newRow("page that is a pipe")
            << QStringList{"--front", "pipe.html", "--download", "download.html"} << 1 << "pipe.html"
            << false;
        QTest::newRow("a file to deliver, and what was held back")
            << QStringList{"--front", "index.html", "--download", "download.html", "--deliver", "a.png"} << 0
            << "delivered only at the download address, with its key: a.png" << true;
        QTest::newRow("a file to deliver that is not the site's")
            << QStringList{"--front", "index.html", "--download", "download.html", "--deliver", "../a.png"}
            << 1 << "error: '../a.png' is not a file of the site folder" << false;
        QTest::newRow("no download page")
            << QStringList{"--front", "index.html"} << 2 << "usage: vantor-build" << false;
        QTest::newRow("unknown option")
            << QStringList{"--front", "index.html", "--download", "d.html", "--bogus"} << 2
            << "Unknown option 'bogus'" << false;
    }
    void exitStatusAndOutput()
    {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QString, stderrSays);
        QFETCH(bool, archive);
        QCOMPARE(::mkfifo(QFile::encodeName(m_site + "/pipe.html").constData(), 0644), 0);
        const Run r = runCli(cli(), QStringList{m_site, "--output", m_output} + args);
        QVERIFY2(r.exitCode == exitCode, r.err.constData());
        QVERIFY2(QString::fromLocal8Bit(r.err).contains(stderrSays), r.err.constData());
        const QString zip = m_output + "/myplugin.zip";
        // A script reads the archive path from standard output: that line and nothing else.
        QCOMPARE(r.out, archive ? QFile::encodeName(zip) + '\n' : QByteArray());
        QCOMPARE(QFile::exists(zip), archive);
        if (QDir(m_output).exists())
            QCOMPARE(QDir(m_output).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                     archive ? QStringList{"myplugin.zip"} : QStringList{});
    }

    void replacingAnEarlierArchiveIsReported()
    {
        const QStringList args{m_site,       "--output",   m_output,       "--front",
                               "index.html", "--download", "download.html"};
        const Run first = runCli(cli(), args);
        QCOMPARE(first.exitCode, 0);
        QVERIFY2(!first.err.contains("replaced"), first.err.constData());
        const Run again = runCli(cli(), args);
        QCOMPARE(again.exitCode, 0);
        QVERIFY2(again.err.contains("note: replaced the earlier archive '" + QFile::encodeName(m_output) +
                                    "/myplugin.zip'"),
                 again.err.constData());
    }

    // A build killed outright leaves no archiver running; its work folder goes with the next build.
    void killedBuildLeavesNoArchiverAndTheNextBuildClearsUp()
    {
        QProcess killed;
        const qint64 pid = startSleepingBuild(killed);
        QVERIFY(pid > 0);
        QCOMPARE(::kill(pid_t(killed.processId()), SIGKILL), 0);
        QVERIFY(killed.waitForFinished(10000));
        QTRY_VERIFY_WITH_TIMEOUT(!running(pid), 10000);
        QCOMPARE(workFolders(m_output).size(), 1);

        const Run next = runCli(
            cli(), {m_site, "--output", m_output, "--front", "index.html", "--download", "download.html"});
        QVERIFY2(next.exitCode == 0, next.err.constData());
        QCOMPARE(QDir(m_output).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{"myplugin.zip"});
    }

    // A second build into the same output folder leaves the running one's work folder alone;
    // SIGTERM then stops the first, which takes its work folder away and keeps the ZIP as it is.
    void runningBuildKeepsItsFolderAndStopsOnSigterm()
    {
        QProcess first;
        const qint64 pid = startSleepingBuild(first);
        QVERIFY(pid > 0);
        const QStringList held = workFolders(m_output);
        QCOMPARE(held.size(), 1);
        const auto heldBefore = fingerprint(m_output + "/" + held.first());
        QVERIFY(heldBefore.size() > 5);

        const Run second = runCli(
            cli(), {m_site, "--output", m_output, "--front", "index.html", "--download", "download.html"});
        QVERIFY2(second.exitCode == 0, second.err.constData());
        QCOMPARE(workFolders(m_output), held);
        QCOMPARE(fingerprint(m_output + "/" + held.first()), heldBefore);
        const QByteArray built = readFile(m_output + "/myplugin.zip");

        QCOMPARE(::kill(pid_t(first.processId()), SIGTERM), 0);
        QVERIFY(first.waitForFinished(30000));
        QCOMPARE(first.exitStatus(), QProcess::CrashExit); // ended by the signal, after cleaning up
        const QByteArray said = first.readAllStandardError();
        QVERIFY2(said.contains("stopped: the build was stopped before it finished. Nothing of it was kept; "
                               "the output folder is as it was."),
                 said.constData());
        QVERIFY(first.readAllStandardOutput().isEmpty());
        QVERIFY(!running(pid));
        QCOMPARE(QDir(m_output).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{"myplugin.zip"});
        QCOMPARE(readFile(m_output + "/myplugin.zip"), built);
    }

    // Refused details leave no trace, not even the output folder the build would have made.
    void refusedDetailsCreateNothing_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("stderrSays");
        QTest::newRow("capital identifier") << QStringList{"--id", "P1"} << "Please use \"p1\" instead.";
        QTest::newRow("line feed in the URI") << QStringList{"--uri", "https://a.invalid\nAuthor: Mallory"}
                                              << "The plugin URI cannot hold a line break";
    }
    void refusedDetailsCreateNothing()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, stderrSays);
        const Run r = runCli(cli(), QStringList{m_site, "--output", m_output, "--front", "index.html",
                                                "--download", "download.html"} +
                                        args);
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(QString::fromUtf8(r.err).contains(stderrSays), r.err.constData());
        QVERIFY(r.out.isEmpty());
        QVERIFY(!QFileInfo::exists(m_output));
    }

    // An output folder in the site would pack the build's work folder and earlier plugins into the
    // plugin: refused before anything is written, however the two are named. A site inside the
    // output folder holds neither, and builds.
    void overlappingOutputAndSiteFolders_data()
    {
        QTest::addColumn<QString>("site");
        QTest::addColumn<QString>("output");
        QTest::addColumn<QStringList>("links"); // "name>target", the target made first
        QTest::addColumn<bool>("refused");
        QTest::newRow("output inside the site") << "site"
                                                << "site/out" << QStringList() << true;
        QTest::newRow("output deep inside the site, not made yet") << "site"
                                                                   << "site/a/b" << QStringList() << true;
        QTest::newRow("the same folder") << "site"
                                         << "site" << QStringList() << true;
        QTest::newRow("the same folder, spelled otherwise") << "site"
                                                            << "site/x/../" << QStringList() << true;
        QTest::newRow("output a link into the site") << "site"
                                                     << "out" << QStringList{"out>site/plugins"} << true;
        QTest::newRow("output a link to the site") << "site"
                                                   << "out" << QStringList{"out>site"} << true;
        QTest::newRow("site named through a link, output inside it")
            << "site link"
            << "site/out" << QStringList{"site link>site"} << true;
        QTest::newRow("output not made yet, below a link to the site")
            << "site"
            << "site link/out" << QStringList{"site link>site"} << true;
        QTest::newRow("site inside the output") << "out/site"
                                                << "out" << QStringList() << false;
        QTest::newRow("site a link into the output") << "site link"
                                                     << "out" << QStringList{"site link>out/site"} << false;
    }
    void overlappingOutputAndSiteFolders()
    {
        QFETCH(QString, site);
        QFETCH(QString, output);
        QFETCH(QStringList, links);
        QFETCH(bool, refused);
        const QDir root(m_tmp.filePath("overlap " + QString::number(QRandomGenerator::global()->generate())));
        for (const QString& link : links) {
            const QString target = root.filePath(link.section('>', 1));
            QVERIFY(QDir().mkpath(target));
            QVERIFY(QFile::link(target, root.filePath(link.section('>', 0, 0))));
        }
        const QString siteFolder = QFileInfo(root.filePath(site)).canonicalFilePath().isEmpty()
                                       ? root.filePath(site)
                                       : QFileInfo(root.filePath(site)).canonicalFilePath();
        writeFile(siteFolder + "/index.html", "<html><img src=\"a.png\">#FRONT#</html>");
        writeFile(siteFolder + "/download.html", "<html>#BACK#</html>");
        writeFile(siteFolder + "/a.png", "\x89PNG");
        const auto before = fingerprint(root.path());

        const Run r = runCli(cli(), {root.filePath(site), "--output", root.filePath(output), "--front",
                                     "index.html", "--download", "download.html", "--id", "p4217"});
        if (refused) {
            QCOMPARE(r.exitCode, 1);
            QVERIFY2(r.err.contains("error: The output folder '") &&
                         r.err.contains("' lies inside the site folder '"),
                     r.err.constData());
            QVERIFY(r.out.isEmpty());
            QCOMPARE(fingerprint(root.path()), before);
            return;
        }
        QVERIFY2(r.exitCode == 0, r.err.constData());
        const QString zip = QDir(root.filePath(output)).filePath("myplugin.zip");
        QCOMPARE(r.out, QFile::encodeName(zip) + '\n');
        auto after = fingerprint(root.path());
        QVERIFY(after.remove(QDir(root.path()).relativeFilePath(zip)) == 1);
        QCOMPARE(after, before);
        const QString x = m_tmp.filePath("x " + QString::number(QRandomGenerator::global()->generate()));
        QVERIFY(extract(zip, x));
        QCOMPARE(entries(x), QStringList{"p4217"});
        QVERIFY(QFile::exists(x + "/p4217/modules/template/a.png"));
        for (QDirIterator it(x, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                             QDirIterator::Subdirectories);
             it.hasNext();) {
            const QString name = it.nextFileInfo().fileName();
            QVERIFY2(!name.endsWith(".zip") && !name.startsWith(".vantor-build"), qPrintable(name));
        }
    }

    // Arguments are bytes: a site folder whose name is not UTF-8 is named as such, not as missing.
    void aSiteNameThatIsNotUtf8IsNamedSo()
    {
        const QByteArray raw = QFile::encodeName(m_tmp.path()) + "/caf\xe9 site";
        QCOMPARE(::mkdir(raw.constData(), 0755), 0);
        QProcess sh;
        // Only a shell can hand the program an argument that is not UTF-8: QProcess encodes text.
        sh.start("/bin/sh", {"-c",
                             "exec \"$0\" \"$1/caf$(printf '\\351') site\" --output \"$2\" "
                             "--front index.html --download index.html",
                             cli(), m_tmp.path(), m_output});
        QVERIFY(sh.waitForFinished(60000));
        const QString err = QString::fromUtf8(sh.readAllStandardError());
        QCOMPARE(sh.exitCode(), 1);
        QVERIFY2(err.contains(QStringLiteral(u"error: The site folder '") + QFile::decodeName(raw) +
                              "' cannot be read: its name is not valid UTF-8."),
                 qPrintable(err));
        QVERIFY(!QFileInfo::exists(m_output));
        QCOMPARE(::rmdir(raw.constData()), 0); // the temporary folder's clean-up cannot name it
    }

    void helpGoesToStandardOutput()
    {
        const Run r = runCli(cli(), {"--help"});
        QCOMPARE(r.exitCode, 0);
        for (const char* option : {"--front", "--download", "--strict", "--output", "Exit status"})
            QVERIFY2(r.out.contains(option), option);
        QVERIFY(r.err.isEmpty());
    }

    // What WordPress will do with the plugin: a ZIP over the upload limit (lowered here) and a
    // file that the download page links itself (every funnel delivers it) are warned about; a file
    // named with --deliver alone is the user's own choice and is not.
    void warnsAboutWhatWordPressWillDo()
    {
        writeFile(m_site + "/download.html", "<html>#BACK# <a href=\"guide.pdf\">Guide</a></html>");
        writeFile(m_site + "/guide.pdf", "%PDF-1.4");
        const QStringList args{m_site,       "--output",   m_output,       "--front",
                               "index.html", "--download", "download.html"};

        Run r = runCli(cli(), args);
        QVERIFY2(r.exitCode == 0, r.err.constData());
        QVERIFY2(r.err.contains("warning: The download page itself links a file of the site") &&
                     r.err.contains("The page links: guide.pdf.") && !r.err.contains("upload_max_filesize"),
                 r.err.constData());

        r = runCli(cli(), args + QStringList{"--upload-limit", "4k"});
        QVERIFY2(r.exitCode == 0, r.err.constData());
        QVERIFY2(r.err.contains("warning: The plugin ZIP is ") && r.err.contains("taken as 4 KB") &&
                     r.err.contains("wp-content/plugins/"),
                 r.err.constData());
        QCOMPARE(r.out, QFile::encodeName(m_output + "/myplugin.zip") + '\n');

        writeFile(m_site + "/download.html", "<html>#BACK#</html>");
        r = runCli(cli(), args + QStringList{"--deliver", "./guide.pdf", "--upload-limit", "64M"});
        QVERIFY2(r.exitCode == 0, r.err.constData());
        QVERIFY2(r.err.contains("delivered only at the download address, with its key: guide.pdf") &&
                     !r.err.contains("itself links") && !r.err.contains("upload_max_filesize"),
                 r.err.constData());

        // Lean, the ZIP holds none of the file; standard error names the list laid beside it.
        r = runCli(cli(), args + QStringList{"--deliver", "guide.pdf", "--lean"});
        const QString list = m_output + "/myplugin-delivery.json";
        QVERIFY2(r.exitCode == 0, r.err.constData());
        QVERIFY2(r.err.contains("upload them on the funnel's screen") &&
                     r.err.contains(QFile::encodeName(list)),
                 r.err.constData());
        QVERIFY(QFile(list).exists());
        QCOMPARE(r.out, QFile::encodeName(m_output + "/myplugin.zip") + '\n');

        r = runCli(cli(), args + QStringList{"--upload-limit", "2 MB"});
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.err.contains("--upload-limit: '2 MB' is not a size such as 2M"), r.err.constData());
        QVERIFY(r.out.isEmpty());
    }

    // The installation folder may sit under a folder with a blank in its name: the archiver and
    // the template are found beside the program, and the default output folder is made there.
    void runsFromAnInstallationFolderWithABlank()
    {
        const QString install =
            m_tmp.filePath("Program Files/vantor " + QString::number(QRandomGenerator::global()->generate()));
        QVERIFY(QDir().mkpath(install));
        QVERIFY(QFile::copy(cli(), install + "/vantor-build"));
        QVERIFY(QFile::setPermissions(install + "/vantor-build",
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QVERIFY(QFile::link(QFileInfo(kInstallDir + "/7za").canonicalFilePath(), install + "/7za"));
        QCOMPARE(
            QProcess::execute("cp", {"-r", kInstallDir + "/plugintemplate", install + "/plugintemplate"}), 0);

        const Run r = runCli(install + "/vantor-build", {m_site, "--front", "index.html", "--download",
                                                         "download.html", "--name", "Blank Test"});
        QVERIFY2(r.exitCode == 0, r.err.constData());
        QCOMPARE(r.out, QFile::encodeName(install + "/output/blanktest.zip") + '\n');
        QVERIFY(QFileInfo(install + "/output/blanktest.zip").size() > 0);
    }

    // A file-size limit stands in for a full disk where no small file system can be mounted:
    // the write fails with EFBIG, and the earlier archive must survive the failed rebuild.
    void aFileSizeLimitFailsTheBuildAndKeepsTheEarlierArchive()
    {
        const QStringList args{m_site,       "--output",   m_output,       "--front",
                               "index.html", "--download", "download.html"};
        QCOMPARE(runCli(cli(), args).exitCode, 0);
        const QByteArray earlier = readFile(m_output + "/myplugin.zip");
        // Incompressible, so that the archive itself outgrows the limit: the site is linked, not
        // copied, into the plugin folder the archiver reads.
        QByteArray noise(3 * 1024 * 1024, Qt::Uninitialized);
        QRandomGenerator(7).fillRange(reinterpret_cast<quint32*>(noise.data()), noise.size() / 4);
        writeFile(m_site + "/big.bin", noise);

        const Run r = runCli(cli(), args, [] {
            const rlimit limit{1024 * 1024, 1024 * 1024};
            ::setrlimit(RLIMIT_FSIZE, &limit);
            std::signal(SIGXFSZ, SIG_IGN); // the write then fails with EFBIG instead of killing
        });
        QCOMPARE(r.exitCode, 1);
        // What failed, with the system's reason, then what to do about it.
        const QString said = QString::fromLocal8Bit(r.err);
        QVERIFY2(said.contains("error: the build failed: "), r.err.constData());
        QVERIFY2(said.contains(QString::fromLocal8Bit(std::strerror(EFBIG))), r.err.constData());
        QVERIFY2(said.contains("\nNothing of it was kept; the output folder is as it was. ") &&
                     said.trimmed().endsWith("run the build again."),
                 r.err.constData());
        QVERIFY(r.out.isEmpty());
        QCOMPARE(QDir(m_output).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{"myplugin.zip"});
        QCOMPARE(readFile(m_output + "/myplugin.zip"), earlier);
    }
};

QTEST_GUILESS_MAIN(CliTest)
#include "cli_test.moc"
