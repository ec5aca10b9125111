// Inputs the fuzzers found, kept as plain cases.

#include "builder/plugin_rules.h"

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
};

QTEST_GUILESS_MAIN(FuzzRegressionTest)
#include "fuzz_regression_test.moc"
