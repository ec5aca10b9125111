// Inputs the fuzzers found, kept as plain cases.

#include "builder/plugin_rules.h"
#include "builder/zip_writer.h"

#include <QTest>

using namespace builder;

class FuzzRegressionTest : public QObject
{
    Q_OBJECT

private slots:
    void namesThatCannotNameTheArchiveAreRefused_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("usable");
        // A lone surrogate is written to disk as U+FFFD: the archive would not bear the name reported.
        QTest::newRow("lone high surrogate")
            << QStringLiteral("My ") + QChar(0xD83D) + QStringLiteral("Plugin") << false;
        QTest::newRow("lone low surrogate") << QString(QChar(0xDE00)) << false;
        QTest::newRow("surrogate pair") << QStringLiteral(u"My \U0001F600 Plugin") << true;
        // C1 controls and the Unicode line breaks would split the printed archive path.
        QTest::newRow("next line U+0085") << QStringLiteral(u"My\u0085Plugin") << false;
        QTest::newRow("C1 control U+009B") << QStringLiteral(u"My\u009BPlugin") << false;
        QTest::newRow("line separator") << QStringLiteral(u"My\u2028Plugin") << false;
        QTest::newRow("paragraph separator") << QStringLiteral(u"My\u2029Plugin") << false;
        // Found by the fuzzer: a byte-order mark after a blank leads the ZIP name once blanks go.
        QTest::newRow("byte-order mark and noncharacter") << QStringLiteral(u" \uFEFF\uFFFF\u00FE") << true;
        QTest::newRow("no-break space stays") << QStringLiteral(u"My\u00A0Plugin") << true;
    }
    void namesThatCannotNameTheArchiveAreRefused()
    {
        QFETCH(QString, name);
        QFETCH(bool, usable);
        QCOMPARE(PluginNameProblem(name).isEmpty(), usable);
    }

    // Found by the fuzzer in an archive the writer had written: the last entry's 64-bit sizes
    // hold the bytes of a 64-bit end locator exactly where one would stand before the end record.
    // It points at no 64-bit record, so the plain end record holds and the entry reads back.
    void locatorLookalikeInTheLastEntryIsNoLocator()
    {
        const QByteArray zip = QByteArray::fromHex(
            "b200000000002488005d2500090020d6c5c9a30000000600000007000000702f612e74787a68655b6c6f0a504b01023f"
            "032d00000000000925885d20303a37ffffffffffffffff07001c000000000000002080637700000000ff8f2f612e7478"
            "010010004b3a7f34504b060700000000ce86dd01740a000000000000504b05060000000001000100510000002b000000"
            "0000");
        const CentralDirectory cd = FindCentralDirectory(zip, 0, QStringLiteral("x.zip"));
        QVERIFY(cd.complete);
        QCOMPARE(cd.start, std::uint64_t(0x2b));
        QList<QByteArray> names;
        ForEachCentralEntry(cd, QStringLiteral("x.zip"), [&](StoredZipWriter::CentralEntry& e) {
            names << e.name;
            QCOMPARE(e.size, std::uint64_t(0x07064b50347f3a4bull));
        });
        QCOMPARE(names, QList<QByteArray>{QByteArray("\xff\x8f/a.tx")});
    }
};

QTEST_GUILESS_MAIN(FuzzRegressionTest)
#include "fuzz_regression_test.moc"
