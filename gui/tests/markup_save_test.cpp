#include "support/text_codec.h"
#include "workspace/markup_save.h"

#include <QRegularExpression>
#include <QTest>

using workspace::PageBytesToSave;

class MarkupSaveTest final : public QObject
{
    Q_OBJECT

private slots:
    void writesTheEditedRootWithTheFilesProlog_data();
    void writesTheEditedRootWithTheFilesProlog();
    void windows1252PageKeepsDisplayingItsCharacters();
};

void MarkupSaveTest::writesTheEditedRootWithTheFilesProlog_data()
{
    QTest::addColumn<QByteArray>("original");
    QTest::addColumn<QString>("markup");
    QTest::addColumn<QByteArray>("expected");

    const QString edited = QStringLiteral("<html><head></head><body><p>Buy#FRONT#</p></body></html>");
    const QByteArray editedBytes = edited.toUtf8();

    QTest::newRow("doctype kept") << QByteArray("<!DOCTYPE html>\n<html><body><p>Buy</p></body></html>\n")
                                  << edited << "<!DOCTYPE html>\n" + editedBytes + "\n";
    QTest::newRow("xml declaration and comments kept")
        << QByteArray("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<!-- saved from the shop -->\n"
                      "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\" "
                      "\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd\">\n"
                      "<html xmlns=\"http://www.w3.org/1999/xhtml\"><body><p>Buy</p></body></html>")
        << QStringLiteral(
               "<html "
               "xmlns=\"http://www.w3.org/1999/xhtml\"><head></head><body><p>Buy#FRONT#</p></body></html>")
        << QByteArray(
               "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<!-- saved from the shop -->\n"
               "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\" "
               "\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd\">\n"
               "<html "
               "xmlns=\"http://www.w3.org/1999/xhtml\"><head></head><body><p>Buy#FRONT#</p></body></html>");
    QTest::newRow("byte-order mark kept")
        << QByteArray("\xEF\xBB\xBF<!DOCTYPE html><html><body><p>Buy</p></body></html>") << edited
        << "\xEF\xBB\xBF<!DOCTYPE html>" + editedBytes;
    QTest::newRow("utf-16 stays utf-16")
        << QByteArray("\xFF\xFE<\0h\0t\0m\0l\0>\0", 14) << QStringLiteral("<html>\u00e9</html>")
        << QByteArray("\xFF\xFE<\0h\0t\0m\0l\0>\0\xE9\0<\0/\0h\0t\0m\0l\0>\0", 30);
    QTest::newRow("utf-16 big-endian stays big-endian")
        << QByteArray("\xFE\xFF\0<\0h\0t\0m\0l\0>", 14) << QStringLiteral("<html>\u00e9\u20ac</html>")
        << QByteArray("\xFE\xFF\0<\0h\0t\0m\0l\0>\0\xE9\x20\xAC\0<\0/\0h\0t\0m\0l\0>", 32);
    QTest::newRow("no prolog") << QByteArray("<html><body><p>Buy</p></body></html>") << edited << editedBytes;
    QTest::newRow("upper-case root, CRLF lines")
        << QByteArray("<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">\r\n"
                      "<HTML><BODY><P>Buy</P></BODY></HTML>\r\n")
        << edited
        << "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">\r\n" + editedBytes + "\r\n";
    QTest::newRow("no root tag in the file") << QByteArray("<!doctype html><title>Offer</title><p>Buy")
                                             << edited << "<!doctype html>" + editedBytes;
    QTest::newRow("comments after the root kept")
        << QByteArray("<!DOCTYPE html><html><body><p>Buy</p></body></html>\n<!-- served by the shop -->\n")
        << edited << "<!DOCTYPE html>" + editedBytes + "\n<!-- served by the shop -->\n";
    QTest::newRow("utf-8 stays utf-8")
        << QByteArray("<!DOCTYPE html><html><body><p>caf\xC3\xA9</p></body></html>")
        << QStringLiteral("<html><head></head><body><p>caf\u00e9 \u2192#FRONT#</p></body></html>")
        << QByteArray("<!DOCTYPE html><html><head></head><body><p>caf\xC3\xA9 "
                      "\xE2\x86\x92#FRONT#</p></body></html>");
    QTest::newRow("editing markers removed")
        << QByteArray("<html><body><p>Buy</p></body></html>")
        << QStringLiteral("<html><head></head><body contenteditable=\"true\"><p>Buy#FRONT#<span "
                          "class=\"Apple-converted-space\">&nbsp;</span></p><br "
                          "class=\"Apple-interchange-newline\"></body></html>")
        << QByteArray("<html><head></head><body><p>Buy#FRONT#&nbsp;</p></body></html>");
    QTest::newRow("ids copied by Enter dropped")
        << QByteArray("<html><body><p id=\"spot\" class=\"buy\">Buy</p><div id='twice'></div><div "
                      "id=twice></div></body></html>")
        << QStringLiteral(
               "<html><head></head><body><p id=\"spot\" class=\"buy\">Buy</p><p id=\"spot\" "
               "class=\"buy\">#FRONT#</p>"
               "<div id=\"twice\"></div><div id=\"twice\"></div><div id=\"twice\"><br></div></body></html>")
        << QByteArray(
               "<html><head></head><body><p id=\"spot\" class=\"buy\">Buy</p><p class=\"buy\">#FRONT#</p>"
               "<div id=\"twice\"></div><div id=\"twice\"></div><div><br></div></body></html>");
    QTest::newRow("the page's own contenteditable kept")
        << QByteArray("<html><body><div contenteditable=\"true\">Buy</div></body></html>")
        << QStringLiteral(
               "<html><head></head><body><div contenteditable=\"true\">Buy#FRONT#</div></body></html>")
        << QByteArray(
               "<html><head></head><body><div contenteditable=\"true\">Buy#FRONT#</div></body></html>");
}

void MarkupSaveTest::writesTheEditedRootWithTheFilesProlog()
{
    QFETCH(QByteArray, original);
    QFETCH(QString, markup);
    QFETCH(QByteArray, expected);

    QCOMPARE(PageBytesToSave(original, markup), expected);
}

void MarkupSaveTest::windows1252PageKeepsDisplayingItsCharacters()
{
    const QByteArray original = "<!DOCTYPE html>\n<html><head><meta http-equiv=\"Content-Type\" "
                                "content=\"text/html; charset=windows-1252\"></head>"
                                "<body><p>Caf\xE9 \x96 \x80"
                                "5</p></body></html>\n";
    const QString shown = support::DecodeText(original).text;
    QCOMPARE(support::DecodeText(original).encoding, support::TextEncoding::Windows1252);
    const QString root = shown.mid(shown.indexOf(QLatin1String("<html>"))).trimmed();

    // Every character fits: the bytes stay Windows-1252, untouched but for the typed tag.
    QString edited = root;
    edited.replace(QLatin1String("</p>"), QLatin1String("#FRONT#</p>"));
    QByteArray expected = original;
    expected.replace("</p>", "#FRONT#</p>");
    QCOMPARE(PageBytesToSave(original, edited), expected);

    // One that does not fit: UTF-8, and the page says so.
    edited.replace(QLatin1String("#FRONT#"), QStringLiteral("\u2192 #FRONT#"));
    const QByteArray saved = PageBytesToSave(original, edited);
    const support::DecodedText reread = support::DecodeText(saved);
    QCOMPARE(reread.encoding, support::TextEncoding::Utf8);
    QVERIFY(saved.startsWith("<!DOCTYPE html>\n<html>"));
    QVERIFY(saved.contains("charset=utf-8\""));
    QVERIFY(!saved.contains("windows-1252"));
    QVERIFY(reread.text.contains(QStringLiteral("Caf\u00e9 \u2013 \u20ac5\u2192 #FRONT#")));

    // Without a declaration the page gains one, or a browser would read the bytes as before.
    QByteArray undeclared = original;
    undeclared.replace("<meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1252\">", "");
    QString undeclaredRoot = edited;
    undeclaredRoot.remove(QRegularExpression(QStringLiteral("<meta[^>]*>")));
    const QByteArray declared = PageBytesToSave(undeclared, undeclaredRoot);
    QVERIFY2(declared.contains("<head><meta charset=\"utf-8\"></head>"), declared.constData());
    QCOMPARE(support::DecodeText(declared).encoding, support::TextEncoding::Utf8);
}

QTEST_GUILESS_MAIN(MarkupSaveTest)

#include "markup_save_test.moc"
