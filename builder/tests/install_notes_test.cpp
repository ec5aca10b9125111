// What the user is told about what WordPress will do with the plugin: the upload limit and the
// files that every funnel hands out.

#include "builder/install_notes.h"

#include <QTest>

using namespace builder;

class InstallNotesTest : public QObject
{
    Q_OBJECT

private slots:
    void uploadLimitReadsAsPhpDoes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("bytes");
        QTest::newRow("bytes") << "8388608" << qint64(8388608);
        QTest::newRow("kilobytes") << "512K" << qint64(512) * 1024;
        QTest::newRow("megabytes, lower case, blanks") << " 2m " << qint64(2) * 1024 * 1024;
        QTest::newRow("gigabytes") << "64G" << qint64(64) * 1024 * 1024 * 1024;
        QTest::newRow("the largest") << "999999999G" << (qint64(999999999) << 30);
        QTest::newRow("zero") << "0" << qint64(-1);
        QTest::newRow("empty") << "" << qint64(-1);
        QTest::newRow("negative") << "-2M" << qint64(-1);
        QTest::newRow("decimal") << "1.5M" << qint64(-1);
        QTest::newRow("two units") << "2MB" << qint64(-1);
        QTest::newRow("too many digits") << "9999999999G" << qint64(-1);
    }
    void uploadLimitReadsAsPhpDoes()
    {
        QFETCH(QString, text);
        QFETCH(qint64, bytes);
        QCOMPARE(ParseUploadLimit(text), bytes);
    }

    void aZipOverTheLimitIsToldWithTheOtherWaysIn()
    {
        QVERIFY(UploadSizeWarning(kDefaultUploadLimit).isEmpty());
        const QString over = UploadSizeWarning(kDefaultUploadLimit + 1);
        QVERIFY2(over.contains("The plugin ZIP is 2.1 MB.") &&
                     over.contains("2 MB unless the host raised it") &&
                     over.contains("wp-content/plugins/") && over.contains("FTP") &&
                     over.contains("raise upload_max_filesize"),
                 qPrintable(over));
        const QString mine = UploadSizeWarning(3565158, 1024);
        QVERIFY2(mine.contains("The plugin ZIP is 3.4 MB.") && mine.contains("taken as 1 KB") &&
                     mine.contains("above 3.4 MB"),
                 qPrintable(mine));
        QVERIFY(UploadSizeWarning(1536, 1024).contains("The plugin ZIP is 1.5 KB."));
    }

    void filesTheDownloadPageLinksGoToEveryFunnel()
    {
        QVERIFY(PageDeliveryWarning(0).isEmpty());
        const QString one = PageDeliveryWarning(1);
        QVERIFY2(one.contains("links a file of the site") && one.contains("hands it out") &&
                     one.contains("every funnel") && one.contains("opt-in funnel") &&
                     one.contains("\"Download links (HTML)\""),
                 qPrintable(one));
        QVERIFY(PageDeliveryWarning(3).contains("links 3 files of the site"));
        QVERIFY(PageDeliveryWarning(3).contains("hands them out"));
    }
};

QTEST_APPLESS_MAIN(InstallNotesTest)
#include "install_notes_test.moc"
