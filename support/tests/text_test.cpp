#include "support/mortar_parser.h"
#include "support/mortar_tools.h"
#include "support/text_codec.h"
#include "support/utf8_writer.h"

#include <QTemporaryDir>
#include <QTest>

#include <set>

using namespace support;

class TextTest : public QObject
{
    Q_OBJECT

private slots:
    void decodingFollowsMarkThenUtf8ThenWindows1252_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("encoding");
        QTest::newRow("ascii") << QByteArray("abc") << QStringLiteral("abc") << int(TextEncoding::Utf8);
        QTest::newRow("utf8") << QByteArray("caf\xC3\xA9 \xE2\x82\xAC") << QStringLiteral(u"caf\u00E9 \u20AC")
                              << int(TextEncoding::Utf8);
        QTest::newRow("utf8 bom dropped")
            << QByteArray("\xEF\xBB\xBFhi") << QStringLiteral("hi") << int(TextEncoding::Utf8Bom);
        QTest::newRow("utf16le bom") << QByteArray("\xFF\xFEh\0i\0", 6) << QStringLiteral("hi")
                                     << int(TextEncoding::Utf16LE);
        QTest::newRow("utf16be bom") << QByteArray("\xFE\xFF\0h\0i", 6) << QStringLiteral("hi")
                                     << int(TextEncoding::Utf16BE);
        QTest::newRow("pure 1252") << QByteArray("caf\xE9 \x80 \x93q\x94")
                                   << QStringLiteral(u"caf\u00E9 \u20AC \u201Cq\u201D")
                                   << int(TextEncoding::Windows1252);
        // A stray Windows-1252 dash inside UTF-8 text keeps both the dash and the UTF-8 letters.
        QTest::newRow("mixed") << QByteArray("\xC3\xA9t\xC3\xA9 \x96 ok")
                               << QStringLiteral(u"\u00E9t\u00E9 \u2013 ok")
                               << int(TextEncoding::Windows1252);
        QTest::newRow("overlong is not utf8")
            << QByteArray("\xC0\xAF") << QStringLiteral(u"\u00C0\u00AF") << int(TextEncoding::Windows1252);
        QTest::newRow("surrogate is not utf8")
            << QByteArray("\xED\xA0\x80") << QStringLiteral(u"\u00ED\u00A0\u20AC")
            << int(TextEncoding::Windows1252);
        QTest::newRow("truncated at end")
            << QByteArray("a\xE2\x82") << QStringLiteral(u"a\u00E2\u201A") << int(TextEncoding::Windows1252);
        QTest::newRow("four bytes") << QByteArray("\xF0\x9F\x98\x80") << QStringLiteral(u"\U0001F600")
                                    << int(TextEncoding::Utf8);
        QTest::newRow("empty") << QByteArray() << QString() << int(TextEncoding::Utf8);
    }
    void decodingFollowsMarkThenUtf8ThenWindows1252()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QFETCH(int, encoding);
        const DecodedText decoded = DecodeText(bytes);
        QCOMPARE(decoded.text, text);
        QCOMPARE(int(decoded.encoding), encoding);
    }

    void windows1252RoundTripsAndReportsWhatItCannotHold()
    {
        QByteArray all;
        for (int b = 0; b < 256; ++b)
            all.append(char(b));
        bool ok = false;
        // Every byte survives decoding as Windows-1252 and encoding back.
        const QString text = DecodeText(QByteArray("\x96") + all).text;
        QCOMPARE(EncodeWindows1252(text, &ok), QByteArray("\x96") + all);
        QVERIFY(ok);
        EncodeWindows1252(QStringLiteral(u"\u65E5\u672C"), &ok);
        QVERIFY(!ok);
    }

    void replaceTextIsExactAndCaseSensitive()
    {
        QCOMPARE(MortarParser::ReplaceText("#front# #FRONT# #Front# #fRONT#", "#FRONT#", "X"),
                 QStringLiteral("#front# X #Front# #fRONT#"));
        QCOMPARE(MortarParser::ReplaceText("aaaa", "aa", "a"), QStringLiteral("aa"));
        QCOMPARE(MortarParser::ReplaceText("abc", "", "x"), QStringLiteral("abc"));
    }

    void randomNumberCoversZeroToBound()
    {
        std::set<int> seen;
        for (int i = 0; i < 4000; ++i) {
            const int n = MortarTools::RandomNumber(3);
            QVERIFY(n >= 0 && n <= 3);
            seen.insert(n);
        }
        QCOMPARE(seen.size(), size_t(4));
        QCOMPARE(MortarTools::RandomNumber(0), 0);
    }

    void utf8WriterWritesExactBytes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("lineBreak");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("abc") << QStringLiteral("abc") << false << QByteArray("abc");
        QTest::newRow("abc crlf") << QStringLiteral("abc") << true << QByteArray("abc\r\n");
        QTest::newRow("e acute") << QStringLiteral(u"\u00E9") << false << QByteArray("\xC3\xA9");
        QTest::newRow("euro") << QStringLiteral(u"\u20AC") << false << QByteArray("\xE2\x82\xAC");
        QTest::newRow("surrogate pair")
            << QStringLiteral(u"\U0001F600") << false << QByteArray("\xF0\x9F\x98\x80");
        QTest::newRow("empty") << QString() << false << QByteArray();
        QTest::newRow("empty crlf") << QString() << true << QByteArray("\r\n");
        QTest::newRow("own bom only") << QStringLiteral(u"\uFEFFx") << false << QByteArray("\xEF\xBB\xBFx");
    }
    void utf8WriterWritesExactBytes()
    {
        QFETCH(QString, text);
        QFETCH(bool, lineBreak);
        QFETCH(QByteArray, bytes);
        QTemporaryDir dir;
        const QString path = dir.filePath("out.php");
        auto file = OpenFileAtEnd(path);
        WriteUtf8Text(*file, text, lineBreak);
        CloseFile(*file);
        QFile in(path);
        QVERIFY(in.open(QIODevice::ReadOnly));
        QCOMPARE(in.readAll(), bytes);
    }

    void utf8WriterAppendsAfterExistingBytes()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("out.php");
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("old");
        }
        auto file = OpenFileAtEnd(path);
        WriteUtf8Text(*file, "one", false);
        WriteUtf8Text(*file, "two", true);
        CloseFile(*file);
        QFile in(path);
        QVERIFY(in.open(QIODevice::ReadOnly));
        QCOMPARE(in.readAll(), QByteArray("oldonetwo\r\n"));
    }
};

QTEST_GUILESS_MAIN(TextTest)
#include "text_test.moc"
