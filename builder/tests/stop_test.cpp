// Stopping a running build, and the work folders of builds whose process is gone.

#include "builder/build_plugin.h"
#include "builder/work_folder.h"
#include "tests/support/example_request.h"
#include "tests/support/test_files.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <thread>

using namespace builder;
using namespace testsupport;

class StopTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_tmp{QDir::tempPath() + "/vantor stop XXXXXX"};
    QString m_site;
    QString m_output;

private slots:
    void init()
    {
        static int run = 0;
        m_site = m_tmp.filePath(QStringLiteral("site%1").arg(run));
        m_output = m_tmp.filePath(QStringLiteral("out%1").arg(run++));
        writeFile(m_site + "/index.html", "<html><img src=\"a.png\">#FRONT#</html>");
        writeFile(m_site + "/download.html", "<html>#BACK#</html>");
        writeFile(m_site + "/a.png", "\x89PNG");
        QDir().mkpath(m_output);
    }

    // Also while the files stored as they are are being written beside the archiver's call.
    void stopWhileArchivingKeepsTheEarlierZip_data()
    {
        QTest::addColumn<bool>("storedFiles");
        QTest::newRow("only deflated files") << false;
        QTest::newRow("stored files beside") << true;
    }

    void stopWhileArchivingKeepsTheEarlierZip()
    {
        QFETCH(bool, storedFiles);
        if (storedFiles) {
            QByteArray png = QByteArray::fromHex("89504e470d0a1a0a0000000d49484452");
            png.reserve(8'000'000);
            for (quint32 x = 1; png.size() < 8'000'000; x = x * 1103515245u + 12345u)
                png.append(char(x >> 24));
            for (int i = 0; i < 4; ++i)
                writeFile(m_site + QStringLiteral("/video%1.png").arg(i), png);
        }
        const QByteArray earlier = "an earlier plugin, not a real ZIP";
        writeFile(m_output + "/myplugin.zip", earlier);
        BuildRequest request = exampleRequest(m_site, m_output);
        request.archiver = writeSleepingArchiver(m_tmp.path());
        QFile::remove(request.archiver + ".pid");
        BuildStop stop;
        request.stop = &stop;

        BuildResult result;
        std::thread worker([&] { result = BuildPlugin(request); });
        QTRY_VERIFY_WITH_TIMEOUT(archiverPid(request.archiver) > 0, 60000);
        const qint64 pid = archiverPid(request.archiver);
        QVERIFY(running(pid));
        stop.request();
        worker.join();

        QCOMPARE(result.status, BuildResult::Status::Stopped);
        QCOMPARE(result.description, QString());
        QVERIFY(!running(pid));
        // No work folder, no partial archive, and the earlier one as it was.
        QCOMPARE(entries(m_output), QStringList{"myplugin.zip"});
        QCOMPARE(readFile(m_output + "/myplugin.zip"), earlier);
    }

    void stopBeforeAnyStepLeavesNothing()
    {
        BuildRequest request = exampleRequest(m_site, m_output);
        BuildStop stop;
        stop.request();
        request.stop = &stop;
        QStringList steps;
        const BuildResult result = BuildPlugin(request, [&](int, const QString& step) { steps << step; });
        QCOMPARE(result.status, BuildResult::Status::Stopped);
        QCOMPARE(steps, QStringList{"Cleaning up"});
        QCOMPARE(entries(m_output), QStringList());
    }

    // A work folder whose owner is gone is removed by the next build; one that a live build holds,
    // and anything that only looks like one, are left alone.
    void abandonedWorkFoldersGoHeldOnesStay()
    {
        const QString abandoned = m_output + "/.vantor-build-dead01";
        writeFile(abandoned + "/p1/plugin.php", "left by a killed build");
        writeFile(abandoned + "/.lock", "");
        const QString older = m_output + "/.vantor-build-old001"; // from before the lock existed
        writeFile(older + "/p2/plugin.php", "left by a killed build");
        const QString elsewhere = m_tmp.filePath("elsewhere");
        writeFile(elsewhere + "/keep.txt", "keep");
        QVERIFY(QFile::link(elsewhere, m_output + "/.vantor-build-link01"));

        WorkFolder held(m_output);
        writeFile(held.path() + "/p3/plugin.php", "a running build's");
        const auto heldBefore = fingerprint(held.path());

        const BuildResult result = BuildPlugin(exampleRequest(m_site, m_output));
        QVERIFY2(result.ok(), qPrintable(result.description));
        QVERIFY2(result.warnings.isEmpty(), qPrintable(result.warnings.join('\n')));

        QVERIFY(!QFileInfo::exists(abandoned));
        QVERIFY(!QFileInfo::exists(older));
        QCOMPARE(fingerprint(held.path()), heldBefore);
        QCOMPARE(readFile(elsewhere + "/keep.txt"), QByteArray("keep"));
        QStringList expected{"myplugin.zip", ".vantor-build-link01", QFileInfo(held.path()).fileName()};
        expected.sort();
        QStringList actual = entries(m_output);
        actual.sort();
        QCOMPARE(actual, expected);

        // Once its owner lets go, the next sweep takes it too.
        QVERIFY(held.remove());
        QVERIFY(!QFileInfo::exists(held.path()));
    }

    void twoWorkFoldersNeverShareAName()
    {
        WorkFolder first(m_output);
        WorkFolder second(m_output);
        QVERIFY(first.path() != second.path());
        QVERIFY(QFileInfo(first.path()).fileName().startsWith(".vantor-build-"));
        QCOMPARE(RemoveAbandonedWorkFolders(m_output), QStringList());
        QVERIFY(QFileInfo(first.path()).isDir());
        QVERIFY(QFileInfo(second.path()).isDir());
    }
};

QTEST_GUILESS_MAIN(StopTest)
#include "stop_test.moc"
