#include "builder/asset_rewrite.h"
#include "builder/page_converter.h"
#include "builder/plugin_header.h"
#include "support/mortar_file.h"
#include "support/mortar_parser.h"

#include <QRegularExpression>
#include <QTest>

#include <random>

using namespace builder;

namespace {

// Small alphabets make quotes, prefixes and names collide as often as possible.
class Generator final
{
public:
    explicit Generator(std::uint32_t seed) : m_engine(seed) {}

    int below(int bound) { return std::uniform_int_distribution<int>(0, bound - 1)(m_engine); }

    QString word(const QString& alphabet, int maxLength)
    {
        QString s;
        const int length = below(maxLength + 1);
        for (int i = 0; i < length; ++i)
            s += alphabet[below(int(alphabet.size()))];
        return s;
    }

    // A page made of quotes, the names themselves, prefixed names and stray characters.
    QString page(const QStringList& names, const QString& prefix, int pieces)
    {
        QString s;
        for (int i = 0; i < pieces; ++i) {
            switch (below(6)) {
            case 0:
            case 1:
                s += QLatin1Char('"');
                break;
            case 2:
                if (!names.isEmpty())
                    s += names[below(int(names.size()))];
                break;
            case 3:
                if (!names.isEmpty())
                    s += prefix + names[below(int(names.size()))];
                break;
            case 4:
                s += QLatin1Char('"') + (names.isEmpty() ? QString() : names[below(int(names.size()))]) +
                     QLatin1Char('"');
                break;
            default:
                s += word(QStringLiteral("ab/\"x"), 3);
            }
        }
        return s;
    }

    // A page that writes every reference the way the literal rule has always expected: the
    // exact path between double quotes, in markup, scripts, comments and text, among markup
    // that names no file.
    QString htmlPage(const QStringList& files, int pieces)
    {
        const auto file = [&] { return files[below(int(files.size()))]; };
        QString s = QStringLiteral("<!DOCTYPE html>\n<html><head><title>t</title>");
        for (int i = 0; i < pieces; ++i) {
            switch (below(12)) {
            case 0:
                s += QStringLiteral("<img src=\"%1\" alt=\"x\">").arg(file());
                break;
            case 1:
                s += QStringLiteral("<a href=\"%1\">%2</a>").arg(file(), word(QStringLiteral("ab c"), 6));
                break;
            case 2:
                s += QStringLiteral("<link rel=\"stylesheet\" href=\"%1\">").arg(file());
                break;
            case 3:
                s += QStringLiteral("<script>var v = \"%1\", w = '%2';</script>"
                                    "<img onmouseover=\"MM_swapImage('b','','%3',1)\">"
                                    "<a href=\"javascript:window.open('%4')\">w</a>")
                         .arg(file(), file(), file(), file());
                break;
            case 4:
                s += QStringLiteral("<p title=\"%1\" class=x>\"%2\"</p>").arg(file(), file());
                break;
            case 5:
                s += QStringLiteral("<!-- \"%1\" <img src='%2'> -->").arg(file(), file());
                break;
            case 6:
                s += QStringLiteral("<img src=\"http://x.invalid/%1\"><a href=\"#%2\">").arg(file(), file());
                break;
            case 7:
                s += QStringLiteral("<?php echo 1; ?><?xml x?>");
                break;
            case 8:
                s += QStringLiteral(
                         "<div data-x=\"&amp;%1\">#FRONT# #back# #FRONT#front#Front# #back#BACK#</div>")
                         .arg(word(QStringLiteral("ab"), 3));
                break;
            case 9:
                s += QStringLiteral("<style>p { color: red }</style><b><i>x</b></i>");
                break;
            case 10:
                s += QStringLiteral("<img src=\"%1\" srcset=\"%1\">").arg(file());
                break;
            default:
                s += word(QStringLiteral("ab \">/=&;"), 8); // text only: a "<" here would open tags
            }
        }
        return s + QStringLiteral("</body></html>");
    }

private:
    std::mt19937 m_engine;
};

// Inside scripts, event handlers and javascript: addresses, a name between single quotes that
// is a path (not a bare word) gets the prefix too.
QString prefixScriptStrings(const QString& page, const QStringList& files, const QString& marker)
{
    static const QRegularExpression scripts(
        QStringLiteral("<script>[^<]*</script>|onmouseover=\"[^\"]*\"|href=\"javascript:[^\"]*\""));
    QString out;
    qsizetype copied = 0;
    for (const QRegularExpressionMatch& m : scripts.globalMatch(page)) {
        QString code = m.captured();
        for (const QString& file : files) {
            if (file.contains(u'.') || file.contains(u'/'))
                code.replace(u'\'' + file + u'\'', u'\'' + marker + file + u'\'');
        }
        out += page.mid(copied, m.capturedStart() - copied) + code;
        copied = m.capturedEnd();
    }
    return out + page.mid(copied);
}

// The conversion as it was before pages were read as HTML: the literal rule, the page's own "<?"
// neutralised, the tags filled in; and the quoted paths of scripts.
QString literalConversion(const QString& page, const QStringList& files, PageRole role)
{
    using support::MortarParser;
    const QString marker(QChar(0xE000));
    QString text = RewriteAssetPathsReference(prefixScriptStrings(page, files, marker), files, marker);
    text = MortarParser::ReplaceText(text, QStringLiteral("<?"), QStringLiteral("<<?php ?>?"));
    text = MortarParser::ReplaceText(text, marker, GetAssetUrlPrefix());
    const QString code = QString::fromUtf16(role == PageRole::FrontEnd ? kFrontTagCode : kBackTagCode);
    const QStringList forms = role == PageRole::FrontEnd ? QStringList{"#front#", "#FRONT#", "#Front#"}
                                                         : QStringList{"#back#", "#BACK#", "#Back#"};
    for (const QString& form : forms)
        text = MortarParser::ReplaceText(text, form, code);
    return text;
}

} // namespace

class RewriteDifferentialTest : public QObject
{
    Q_OBJECT

private slots:
    void adversarialInputsMatchTheLiteralRule_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("prefix");
        QTest::addColumn<QString>("expected");

        // A match consumes its closing quote, so the next gap waits for a second "a" in the list.
        QTest::newRow("neighbours, one entry") << "\"a\"a\"" << QStringList{"a"} << "P"
                                               << "\"Pa\"a\"";
        QTest::newRow("neighbours, duplicate entry") << "\"a\"a\"" << QStringList{"a", "a"} << "P"
                                                     << "\"Pa\"Pa\"";
        QTest::newRow("neighbours, other name between") << "\"a\"a\"a\"" << QStringList{"a", "b", "a"} << "P"
                                                        << "\"Pa\"Pa\"Pa\"";
        QTest::newRow("quotes next to quotes, empty entry") << "\"\"\"\"" << QStringList{""} << "P"
                                                            << "\"P\"\"P\"";
        QTest::newRow("different neighbours both match") << "\"a\"b\"" << QStringList{"a", "b"} << "P"
                                                         << "\"Pa\"Pb\"";
        QTest::newRow("prefix of another name")
            << "\"img/a\" \"img/a.png\"" << QStringList{"img/a", "img/a.png"} << "P"
            << "\"Pimg/a\" \"Pimg/a.png\"";
        // A later name equal to an earlier replacement rewrites it again; in the other order it does not.
        QTest::newRow("name holding the prefix, after") << "\"a\"" << QStringList{"a", "Pa"} << "P"
                                                        << "\"PPa\"";
        QTest::newRow("name holding the prefix, before") << "\"a\"" << QStringList{"Pa", "a"} << "P"
                                                         << "\"Pa\"";
        QTest::newRow("name with a quote") << "\"a\"b\"" << QStringList{"a\"b"} << "P"
                                           << "\"Pa\"b\"";
        QTest::newRow("quote name then plain") << "\"a\"b\" \"a\"" << QStringList{"a\"b", "a"} << "P"
                                               << "\"Pa\"b\" \"Pa\"";
        QTest::newRow("prefix with a quote") << "\"a\"a\"" << QStringList{"a", "a"} << "Q\""
                                             << "\"Q\"Q\"a\"a\"";
        QTest::newRow("empty prefix") << "\"a\"" << QStringList{"a"} << ""
                                      << "\"a\"";
        QTest::newRow("empty page") << "" << QStringList{"a", ""} << "P"
                                    << "";
        QTest::newRow("no files") << "\"a\"" << QStringList{} << "P"
                                  << "\"a\"";
        QTest::newRow("unpaired quote") << "x\"a" << QStringList{"a"} << "P"
                                        << "x\"a";
        QTest::newRow("surrogate pair")
            << QString::fromUtf8("\"\xF0\x9F\x98\x80\"") << QStringList{QString::fromUtf8("\xF0\x9F\x98\x80")}
            << "P" << QString::fromUtf8("\"P\xF0\x9F\x98\x80\"");
    }

    void adversarialInputsMatchTheLiteralRule()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, files);
        QFETCH(QString, prefix);
        QFETCH(QString, expected);
        QCOMPARE(RewriteAssetPathsReference(text, files, prefix), expected);
        QCOMPARE(RewriteAssetPaths(text, files, prefix), expected);
    }

    void randomInputsMatchTheLiteralRule_data()
    {
        QTest::addColumn<QString>("alphabet");
        QTest::addColumn<QString>("prefixAlphabet");
        QTest::addColumn<int>("seed");

        QTest::newRow("plain names") << "ab/"
                                     << "x" << 1;
        QTest::newRow("names sharing the prefix's letters") << "abx"
                                                            << "xa" << 2;
        QTest::newRow("names and prefix with quotes") << "a\"b"
                                                      << "x\"" << 3;
        QTest::newRow("tiny alphabet") << "a"
                                       << "a" << 4;
    }

    void randomInputsMatchTheLiteralRule()
    {
        QFETCH(QString, alphabet);
        QFETCH(QString, prefixAlphabet);
        QFETCH(int, seed);
        Generator gen{std::uint32_t(seed)};
        for (int round = 0; round < 4000; ++round) {
            QString prefix = gen.word(prefixAlphabet, 3);
            QStringList files;
            const int count = gen.below(8);
            for (int i = 0; i < count; ++i) {
                // Repeat earlier names and build names out of the prefix now and then.
                const int kind = gen.below(5);
                if (kind == 0 && !files.isEmpty())
                    files << files[gen.below(int(files.size()))];
                else if (kind == 1 && !files.isEmpty())
                    files << prefix + files[gen.below(int(files.size()))];
                else
                    files << gen.word(alphabet, 3);
            }
            const QString text = gen.page(files, prefix, gen.below(40));
            const QString expected = RewriteAssetPathsReference(text, files, prefix);
            const QString actual = RewriteAssetPaths(text, files, prefix);
            if (actual != expected) {
                QFAIL(qPrintable(
                    QStringLiteral("round %1: text [%2] files [%3] prefix [%4]: got [%5], want [%6]")
                        .arg(round)
                        .arg(text, files.join(QStringLiteral("|")), prefix, actual, expected)));
            }
        }
    }

    // Reading pages as HTML only adds: a page written the old way converts as it always did, and
    // the quoted paths of its scripts point into the plugin too.
    void pagesWrittenForTheLiteralRuleConvertAsBefore()
    {
        Generator gen(20261207);
        const QStringList files = {"a.png", "img/b.png",      "img/c d.png", "css/s.css",  "caf\u00e9.jpg",
                                   "x",     "docs/guide.pdf", "page.html",   "index.html", "download.html"};
        const SiteFiles site(files);
        const FunnelPages funnel{"index.html", "download.html"};
        const QStringList referenced = files.mid(0, 8); // never a funnel page: those go to the funnel now
        for (int round = 0; round < 1500; ++round) {
            const QString page = gen.htmlPage(referenced, gen.below(30));
            const PageRole role = round % 2 ? PageRole::Download : PageRole::FrontEnd;
            const QString got = QString::fromUtf8(
                ConvertPage(page, role == PageRole::FrontEnd ? "index.html" : "download.html", site, funnel,
                            role)
                    .text);
            const QString want = literalConversion(page, files, role);
            if (got != want)
                QFAIL(qPrintable(QStringLiteral("round %1: page [%2]\ngot  [%3]\nwant [%4]")
                                     .arg(round)
                                     .arg(page, got, want)));
        }
        // The example site's own pages are written that way too.
        const QString example = QStringLiteral(VANTOR_SOURCE_DIR "/examples/reseller-site");
        const QStringList exampleFiles = {"css/style.css",    "images/author.jpg",
                                          "images/cover.png", "images/leaf-tile.png",
                                          "images/check.png", "files/little-green-balcony.pdf"};
        for (const char* name : {"index.html", "download.html"}) {
            const QString page = support::MortarFile::ReadTextFile(example + "/" + name);
            QCOMPARE(QString::fromUtf8(
                         ConvertPage(page, name, SiteFiles(exampleFiles), {}, PageRole::FrontEnd).text),
                     literalConversion(page, exampleFiles, PageRole::FrontEnd));
        }
    }

    void siteSizedInputMatchesTheLiteralRule()
    {
        // A realistic shape: many names, a long page of quoted references, some to no file at all.
        Generator gen(7);
        QStringList files;
        for (int i = 0; i < 300; ++i)
            files << QStringLiteral("assets/d%1/file%2.png").arg(i % 13).arg(gen.below(400));
        QString page;
        for (int i = 0; i < 10000; ++i) {
            const QString name =
                gen.below(4) == 0 ? QStringLiteral("missing%1.css").arg(i) : files[gen.below(300)];
            page += gen.below(3) == 0 ? QStringLiteral("\"%1\"").arg(name)
                                      : QStringLiteral("<img src=\"%1\"> ").arg(name);
        }
        const QString prefix =
            QStringLiteral("<?php bloginfo('wpurl'); ?>/wp-content/plugins/p1/modules/template/");
        const QString expected = RewriteAssetPathsReference(page, files, prefix);
        QVERIFY(expected != page);
        QCOMPARE(RewriteAssetPaths(page, files, prefix), expected);
    }
};

QTEST_GUILESS_MAIN(RewriteDifferentialTest)
#include "rewrite_differential_test.moc"
