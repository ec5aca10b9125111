// Faults injected into a running build: each must end as a failure that names what failed, with
// no partial archive under the final name, an earlier archive of that name intact, the site
// untouched and nothing else left in the output folder.

#include "builder/build_plugin.h"
#include "support/io_error.h"
#include "support/mortar_file.h"
#include "tests/support/example_request.h"

#include "tests/support/test_files.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace builder;
using namespace testsupport;

namespace {

QByteArray randomBytes(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(bytes.data()), size / 4);
    return bytes;
}

// Runs a mount-related command; the reason it failed, or empty.
QString run(const QString& program, const QStringList& args)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    if (!p.waitForFinished(30000))
        return program + ": " + p.errorString();
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return program + " " + args.join(' ') + ": " + QString::fromLocal8Bit(p.readAll()).trimmed();
    return {};
}

} // namespace

class FaultsTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_tmp{QDir::tempPath() + "/vantor faults XXXXXX"};
    QString m_site;
    QString m_output;
    QStringList m_mounts;
    QStringList m_immutable;

    BuildRequest request() const { return exampleRequest(m_site, m_output); }

    // A tmpfs of the given size over the output folder; the reason when that is not possible here.
    QString mountOutput(const QString& options)
    {
        const QString why = run("mount", {"-t", "tmpfs", "-o", options, "vantor-faults", m_output});
        if (why.isEmpty())
            m_mounts << m_output;
        return why;
    }

    QString makeTemplateCopy()
    {
        const QString copy =
            m_tmp.filePath("template " + QString::number(QRandomGenerator::global()->generate()));
        support::MortarFile::CopyFolder(request().templateFolder, copy);
        return copy;
    }

    // The checks every failed build must pass; earlier is the archive that stood before it.
    void checkFailure(const BuildResult& result, int number, const QString& says, const QByteArray& earlier,
                      const QMap<QString, QByteArray>& site)
    {
        QCOMPARE(result.status, BuildResult::Status::Failed);
        QVERIFY2(result.errorNumber == number, qPrintable(result.description));
        QVERIFY2(result.description.contains(says), qPrintable(result.description));
        QCOMPARE(entries(m_output), QStringList{"myplugin.zip"});
        QCOMPARE(readFile(m_output + "/myplugin.zip"), earlier);
        QCOMPARE(fingerprint(m_site), site);
        QVERIFY2(result.warnings.isEmpty(), qPrintable(result.warnings.join('\n')));
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
        for (const QString& path : std::as_const(m_immutable))
            run("chattr", {"-i", path});
        m_immutable.clear();
        for (const QString& mount : std::as_const(m_mounts))
            run("umount", {"-l", mount});
        m_mounts.clear();
    }

    void failedStepsLeaveEverythingAsItWas_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("says");
        QTest::newRow("page deleted after the listing")
            << "delete page" << 53 << "download.html': No such file";
        QTest::newRow("page replaced by a pipe")
            << "pipe page" << 75 << "download.html': it is not a regular file";
        QTest::newRow("page replaced by a folder") << "folder page" << 75 << "download.html': Is a directory";
        QTest::newRow("archiver killed mid-way") << "archiver killed" << 1003 << "stopped before it finished";
        QTest::newRow("archiver fails after writing")
            << "archiver fails" << 1002 << "exit code 2: disk trouble";
        QTest::newRow("archiver makes no archive") << "archiver idle" << 1004 << "ended without making";
        QTest::newRow("template file is a folder")
            << "cpt.php folder" << 75 << "'modules/cpt.php' is a folder";
        QTest::newRow("optional template file is a folder")
            << "thanks.php folder" << 75 << "'modules/template/thanks.php' is a folder";
    }
    void failedStepsLeaveEverythingAsItWas()
    {
        QFETCH(QString, fault);
        QFETCH(int, number);
        QFETCH(QString, says);
        const BuildResult first = BuildPlugin(request());
        QVERIFY2(first.ok(), qPrintable(first.description));
        const QByteArray earlier = readFile(m_output + "/myplugin.zip");

        BuildRequest r = request();
        const QString page = r.downloadPage;
        if (fault.startsWith("archiver")) {
            r.archiver = m_tmp.filePath("7za " + fault);
            // The archive path is the fifth argument: a -tzip -bd -y <archive> -- <folder>.
            const QByteArray partial = "printf 'PK\\003\\004partial' > \"$5\"\n";
            writeFile(r.archiver, "#!/bin/sh\n" + (fault == "archiver killed" ? partial + "kill -KILL $$\n"
                                                   : fault == "archiver fails"
                                                       ? partial + "echo disk trouble >&2\nexit 2\n"
                                                       : QByteArray("exit 0\n")));
            QFile::setPermissions(r.archiver, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        } else if (fault.endsWith("php folder")) {
            r.templateFolder = makeTemplateCopy();
            const QString file =
                r.templateFolder +
                (fault.startsWith("cpt") ? "/modules/cpt.php" : "/modules/template/thanks.php");
            QVERIFY(QFile::remove(file));
            writeFile(file + "/inside.txt", "a folder where a file belongs");
        }

        auto site = fingerprint(m_site);
        const BuildResult result = BuildPlugin(r, [&](int, const QString& step) {
            // Strike after the site was listed, before the download page is read.
            if (!step.startsWith("Converting the download page") || !fault.endsWith(" page"))
                return;
            QVERIFY(QFile::remove(page));
            if (fault == "pipe page")
                QCOMPARE(::mkfifo(QFile::encodeName(page).constData(), 0644), 0);
            else if (fault == "folder page")
                QVERIFY(QDir().mkpath(page));
            site = fingerprint(m_site);
        });
        checkFailure(result, number, says, earlier, site);
    }

    void anArchiveNameTakenByAFolderIsLeftAlone()
    {
        writeFile(m_output + "/myplugin.zip/keep.txt", "the user's own folder");
        const auto site = fingerprint(m_site);
        const BuildResult result = BuildPlugin(request());
        QCOMPARE(result.status, BuildResult::Status::Failed);
        QVERIFY2(result.description.contains(m_output + "/myplugin.zip"), qPrintable(result.description));
        QCOMPARE(entries(m_output), QStringList{"myplugin.zip"});
        QCOMPARE(readFile(m_output + "/myplugin.zip/keep.txt"), QByteArray("the user's own folder"));
        QCOMPARE(fingerprint(m_site), site);
    }

    void aFullOutputDiskFailsTheBuild_data()
    {
        QTest::addColumn<int>("siteFileSize");
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("says");
        // The disk holds 2 MB: 3 MB do not fit into the work folder; 1.2 MB fit, but not twice
        // (the copy and the archive). Whichever of the archiver and the build's own writer finds the
        // disk full first, the number is that of a full disk.
        QTest::addColumn<QByteArray>("head");
        QTest::newRow("full while copying the site")
            << 3 * 1024 * 1024 << 61 << "No space left on device" << QByteArray();
        // The archiver's own "System ERROR: errno=28" gives the number of a full disk.
        QTest::newRow("full while packing") << 1200 * 1024 << 61 << "No space left on device" << QByteArray();
        // A PNG is stored as it is, written by the build itself beside the archiver's call.
        QTest::newRow("full while writing stored files")
            << 1200 * 1024 << 61 << "No space left on device"
            << QByteArray::fromHex("89504e470d0a1a0a0000000d49484452");
    }
    void aFullOutputDiskFailsTheBuild()
    {
        QFETCH(int, siteFileSize);
        QFETCH(int, number);
        QFETCH(QString, says);
        QFETCH(QByteArray, head);
        if (const QString why = mountOutput("size=2m"); !why.isEmpty())
            QSKIP(qPrintable("cannot mount a small file system here (" + why +
                             "); vantor-build's test covers a "
                             "file-size limit instead"));
        const BuildResult first = BuildPlugin(request());
        QVERIFY2(first.ok(), qPrintable(first.description));
        const QByteArray earlier = readFile(m_output + "/myplugin.zip");

        writeFile(m_site + "/files/big.bin", head + randomBytes(siteFileSize));
        const auto site = fingerprint(m_site);
        const BuildResult result = BuildPlugin(request());
        checkFailure(result, number, says, earlier, site);
    }

    void aReadOnlyOutputFolderFailsTheBuild()
    {
        QString protection;
        if (mountOutput("size=4m").isEmpty()) {
            protection = "read-only mount";
        } else if (run("chattr", {"+i", m_output}).isEmpty()) {
            run("chattr", {"-i", m_output});
            protection = "immutable folder";
        } else {
            QSKIP("neither a read-only mount nor an immutable folder can be made here (needs root and a file "
                  "system "
                  "with attributes)");
        }
        const BuildResult first = BuildPlugin(request());
        QVERIFY2(first.ok(), qPrintable(first.description));
        const QByteArray earlier = readFile(m_output + "/myplugin.zip");
        if (protection == "read-only mount") {
            QCOMPARE(run("mount", {"-o", "remount,ro", m_output}), QString());
        } else {
            QCOMPARE(run("chattr", {"+i", m_output}), QString());
            m_immutable << m_output;
        }

        const auto site = fingerprint(m_site);
        const BuildResult result = BuildPlugin(request());
        checkFailure(result, support::kPermissionDenied, "Cannot create a folder in '" + m_output + "'",
                     earlier, site);
    }
};

QTEST_GUILESS_MAIN(FaultsTest)
#include "faults_test.moc"
