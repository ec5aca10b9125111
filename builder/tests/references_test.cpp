#include "builder/page_converter.h"
#include "builder/plugin_header.h"
#include "builder/reference_resolver.h"

#include <QTest>

#include <algorithm>

using namespace builder;

namespace {

const QStringList kFiles = {"index.html", "download.html", "a.png", "img/b.png", "img/c d.png",
                            "css/site.css", "css/print.css", "a&b.png", "side 2.htm", "Logo.PNG",
                            "dup/Icon.png", "dup/ICON.png", "sub/page.html", "sub/s.png", "docs/index.html",
                            "movie.mp4", "poster.jpg", "data.json", "café.jpg", "NOTES.HTML", "book.xhtml",
                            "€.png", "Ÿ.png", "old/index.htm",
                            // A name that is not UTF-8, as the listing hands it on.
                            "caf\uFFFD.jpg"};

// What the converted page says in place of a site file's path prefix and of a funnel link.
const QString P = GetAssetUrlPrefix();
const QString L = QString::fromLatin1(kFunnelUrlCode);

ConvertedPage convert(const QString& page, const QString& pagePath = "index.html")
{
    return ConvertPage(page, pagePath, SiteFiles(kFiles), {"index.html", "download.html"},
                       PageRole::FrontEnd);
}

QString text(const QString& page, const QString& pagePath = "index.html")
{
    return QString::fromUtf8(convert(page, pagePath).text);
}

} // namespace

class ReferencesTest : public QObject
{
    Q_OBJECT

private slots:
    void everyWayOfWritingAReferenceReachesTheFile_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("expected");
        // Quoting.
        QTest::newRow("double quotes") << "<img src=\"a.png\">"
                                       << "<img src=\"" + P + "a.png\">";
        QTest::newRow("single quotes") << "<img src='a.png'>"
                                       << "<img src='" + P + "a.png'>";
        QTest::newRow("no quotes") << "<img src=a.png alt=x>"
                                   << "<img src=" + P + "a.png alt=x>";
        QTest::newRow("blanks around") << "<img src=' a.png '>"
                                       << "<img src=' " + P + "a.png '>";
        // Attributes that carry addresses.
        QTest::newRow("srcset candidates")
            << "<img srcset=\"a.png 1x, img/b.png 2x,img/c%20d.png 3x\">"
            << "<img srcset=\"" + P + "a.png 1x, " + P + "img/b.png 2x," + P + "img/c%20d.png 3x\">";
        // A comma inside a URL is part of it, as browsers read it: only one that ends it separates.
        QTest::newRow("srcset candidates without a descriptor")
            << "<img srcset=\"a.png, img/b.png 2x\"><img srcset='a.png,,, img/b.png'><img "
               "srcset='a.png,img/b.png'>"
            << "<img srcset=\"" + P + "a.png, " + P + "img/b.png 2x\"><img srcset='" + P + "a.png,,, " + P +
                   "img/b.png'><img srcset='a.png,img/b.png'>";
        QTest::newRow("lazy srcset under another data-* name")
            << "<img data-lazy-srcset='a.png 1x, img/b.png 2x'>"
            << "<img data-lazy-srcset='" + P + "a.png 1x, " + P + "img/b.png 2x'>";
        QTest::newRow("srcset over lines ending in CR LF")
            << "<img srcset=\"a.png 1x,\r\n img/b.png 2x\">"
            << "<img srcset=\"" + P + "a.png 1x,\r\n " + P + "img/b.png 2x\">";
        QTest::newRow("imagesrcset") << "<link rel=preload imagesrcset='a.png 480w'>"
                                     << "<link rel=preload imagesrcset='" + P + "a.png 480w'>";
        QTest::newRow("poster, background, object data")
            << "<video poster='poster.jpg' src='movie.mp4'></video><table background='a.png'></table>"
               "<object data='movie.mp4'></object>"
            << "<video poster='" + P + "poster.jpg' src='" + P + "movie.mp4'></video><table background='" +
                   P + "a.png'></table><object data='" + P + "movie.mp4'></object>";
        QTest::newRow("lazy data-*, other data-* left")
            << "<img data-src='a.png' data-srcset='a.png 1x, img/b.png 2x' data-bg='img/b.png' data-x='a.png "
               "b'>"
            << "<img data-src='" + P + "a.png' data-srcset='" + P + "a.png 1x, " + P +
                   "img/b.png 2x' data-bg='" + P + "img/b.png' data-x='a.png b'>";
        QTest::newRow("form action names a file")
            << "<form action='data.json'></form><form action='send.php'>"
            << "<form action='" + P + "data.json'></form><form action='send.php'>";
        // CSS in both places.
        QTest::newRow("style attribute url() in every quoting")
            << "<div style=\"background:url(a.png); list-style:url('img/b.png'); cursor:url( "
               "&quot;a.png&quot; )\">"
            << "<div style=\"background:url(" + P + "a.png); list-style:url('" + P +
                   "img/b.png'); cursor:url( &quot;" + P + "a.png&quot; )\">";
        QTest::newRow("url() with blanks inside, unquoted")
            << "<div style='background:url( a.png )'><style>p{background:url(\timg/b.png\n)}</style>"
            << "<div style='background:url( " + P + "a.png )'><style>p{background:url(\t" + P +
                   "img/b.png\n)}</style>";
        QTest::newRow("style element url() and @import")
            << "<style>@import \"css/print.css\"; @import url(css/site.css); p{background:URL( 'a.png' )}"
               " /* url(a.png) */ q{content:\"url(a.png)\"}</style>"
            << "<style>@import \"" + P + "css/print.css\"; @import url(" + P +
                   "css/site.css); p{background:URL( '" + P +
                   "a.png' )} /* url(a.png) */ q{content:\"url(a.png)\"}</style>";
        // How a reference names a file.
        QTest::newRow("query and fragment kept")
            << "<link href='css/site.css?v=2'><a href=\"css/site.css#top\">"
            << "<link href='" + P + "css/site.css?v=2'><a href=\"" + P + "css/site.css#top\">";
        QTest::newRow("character references") << "<img src='a&amp;b.png'><img src=\"&#97;.png\">"
                                              << "<img src='" + P + "a%26b.png'><img src=\"" + P + "a.png\">";
        QTest::newRow("hexadecimal character references with letter digits")
            << "<img src='img&#x2F;b.png'><img src=\"caf&#xE9;.jpg\"><img src=caf&#Xe9;.jpg>"
            << "<img src='" + P + "img/b.png'><img src=\"" + P + "caf%C3%A9.jpg\"><img src=" + P +
                   "caf%C3%A9.jpg>";
        QTest::newRow("a character reference that ends the value") << "<img src='img/b.pn&#103;'>"
                                                                   << "<img src='" + P + "img/b.png'>";
        QTest::newRow("numeric references in the Windows-1252 range")
            << "<img src='&#128;.png'><img src='&#x9F;.png'>"
            << "<img src='" + P + "%E2%82%AC.png'><img src='" + P + "%C5%B8.png'>";
        // In attribute values "&amp=" stays as written, and "&amp" at the end is "&".
        QTest::newRow("&amp without its semicolon in a query")
            << "<link href='css/site.css?a&amp=1&amp'>"
            << "<link href='" + P + "css/site.css?a&amp=1&amp'>";
        QTest::newRow("percent-encoding") << "<a href='side%202.htm'>"
                                          << "<a href='" + P + "side%202.htm'>";
        QTest::newRow("non-ASCII name, raw and encoded")
            << QString::fromUtf8("<img src='café.jpg'><img src=caf%C3%A9.jpg>")
            << QString::fromUtf8("<img src='") + P + QString::fromUtf8("café.jpg'><img src=") + P +
                   "caf%C3%A9.jpg>";
        QTest::newRow("a raw blank, not the exact name") << "<img src='./img/c d.png'>"
                                                         << "<img src='" + P + "img/c%20d.png'>";
        QTest::newRow("dot segments") << "<img src='./a.png'><img src='img/../img/b.png'>"
                                      << "<img src='" + P + "a.png'><img src='" + P + "img/b.png'>";
        QTest::newRow("root-relative") << "<img src='/img/b.png'>"
                                       << "<img src='" + P + "img/b.png'>";
        QTest::newRow("backslashes") << "<img src='img\\b.png'>"
                                     << "<img src='" + P + "img/b.png'>";
        QTest::newRow("a folder names its index page") << "<a href='docs/'>"
                                                       << "<a href='" + P + "docs/index.html'>";
        QTest::newRow("one file whatever the case") << "<img src='logo.png'>"
                                                    << "<img src='" + P + "Logo.PNG'>";
        // Left as they are.
        QTest::newRow("two files differ only in case") << "<img src='dup/icon.png'>"
                                                       << "<img src='dup/icon.png'>";
        QTest::newRow("climbs out of the site") << "<img src='../a.png'>"
                                                << "<img src='../a.png'>";
        QTest::newRow("elsewhere")
            << "<a href='http://x.invalid/a.png'><img src='//cdn.invalid/a.png'>"
               "<a href='mailto:a@b.invalid'><img src='data:image/png;base64,AA'><a href='#a.png'>"
            << "<a href='http://x.invalid/a.png'><img src='//cdn.invalid/a.png'>"
               "<a href='mailto:a@b.invalid'><img src='data:image/png;base64,AA'><a href='#a.png'>";
        // Found by the fuzzer: what follows "&quot" without its ";" decides whether it is a quote;
        // an address put in front of "./a.png" would turn it into text.
        QTest::newRow("a character reference without its semicolon before the path")
            << "<div style=\"background:url(&quot./a.png&quot)\">"
            << "<div style=\"background:url(&quot./a.png&quot)\">";
        QTest::newRow("base address") << "<base href='./'><base href='img/'>"
                                      << "<base href='./'><base href='img/'>";
        QTest::newRow("names nothing") << "<img src='spacer.gif'>"
                                       << "<img src='spacer.gif'>";
        QTest::newRow("not an address") << "<img alt='a.png' title=a.png>"
                                        << "<img alt='a.png' title=a.png>";
        QTest::newRow("comments") << "<!-- <img src='a.png'> -->"
                                  << "<!-- <img src='a.png'> -->";
        // Scripts: a quoted string that names a file exactly, and nothing else.
        QTest::newRow("script strings in either quotes")
            << "<script>a=\"a.png\"; b='a.png'; c=\"./a.png\"; d='<img src=a.png>'</script>"
            << "<script>a=\"" + P + "a.png\"; b='" + P + "a.png'; c=\"" + P +
                   "a.png\"; d='<img src=a.png>'</script>";
        QTest::newRow("script: rollover and preload, with the page in a subfolder")
            << "<script>MM_preloadImages('../img/b.png','../a.png');</script>"
               "<img onmouseover=\"MM_swapImage('buy','','../img/b.png',1)\" "
               "onmouseout=\"MM_swapImgRestore()\">"
            << "<script>MM_preloadImages('" + P + "img/b.png','" + P +
                   "a.png');</script>"
                   "<img onmouseover=\"MM_swapImage('buy','','" +
                   P + "img/b.png',1)\" onmouseout=\"MM_swapImgRestore()\">";
        QTest::newRow("script: window.open and javascript: addresses")
            << "<a href=\"javascript:window.open('poster.jpg','w')\"><a href=\"JavaScript: void('a.png')\">"
            << "<a href=\"javascript:window.open('" + P + "poster.jpg','w')\"><a href=\"JavaScript: void('" +
                   P + "a.png')\">";
        QTest::newRow("script: an event handler's character references")
            << "<img onclick=\"x=&quot;a.png&quot;; y=&#39;img/b.png&#39;\">"
            << "<img onclick=\"x=&quot;" + P + "a.png&quot;; y=&#39;" + P + "img/b.png&#39;\">";
        QTest::newRow("script: no guessing")
            << "<script>a='img/' + 'b.png'; b='A.PNG'; c='docs/'; d='img'; e='a.png?'.length; f=`a.png`; "
               "g='a\\x2epng'; h='no.png';\n// 'a.png'\n/* 'a.png' */ i='a.png\n'</script>"
            << "<script>a='img/' + 'b.png'; b='A.PNG'; c='docs/'; d='img'; e='" + P +
                   "a.png?'.length; f=`a.png`; "
                   "g='a\\x2epng'; h='no.png';\n// 'a.png'\n/* 'a.png' */ i='a.png\n'</script>";
        QTest::newRow("script: other attributes are not scripts")
            << "<img alt=\"swap('a.png')\" data-x=\"f('a.png')\">"
            << "<img alt=\"swap('a.png')\" data-x=\"f('a.png')\">";
    }
    void everyWayOfWritingAReferenceReachesTheFile()
    {
        QFETCH(QString, page);
        QFETCH(QString, expected);
        QCOMPARE(
            text(page, QTest::currentDataTag() ==
                               QLatin1String("script: rollover and preload, with the page in a subfolder")
                           ? "sub/page.html"
                           : "index.html"),
            expected);
    }

    // Faithful in small things: a value that is a setting stays one, the encoding a page declares
    // is the one it is written in, and a line break after the tag survives PHP.
    void smallThingsStayAsTheAuthorMeantThem_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("expected");
        QTest::newRow("data-* naming a folder or a bare word")
            << "<div data-language=\"docs\" data-path-to-root=\"./\" data-root=\"../\" data-a=\"img\" "
               "data-src=\"a.png\" data-href=\"docs/index.html\">"
            << "<div data-language=\"docs\" data-path-to-root=\"./\" data-root=\"../\" data-a=\"img\" "
               "data-src=\"" +
                   P + "a.png\" data-href=\"" + P + "docs/index.html\">";
        QTest::newRow("meta charset")
            << "<meta charset=\"ISO-8859-1\"><meta charset=windows-1252 id=x><meta charset='utf-8'>"
            << "<meta charset=\"UTF-8\"><meta charset=UTF-8 id=x><meta charset='utf-8'>";
        QTest::newRow("meta http-equiv")
            << "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=iso-8859-1\">"
               "<meta http-equiv='content-type' content='text/html;charset = \"Windows-1252\" '>"
               "<meta name=x content=\"charset=latin1\">"
            << "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=UTF-8\">"
               "<meta http-equiv='content-type' content='text/html;charset = \"UTF-8\" '>"
               "<meta name=x content=\"charset=latin1\">";
        const QString code = QString::fromUtf16(kFrontTagCode);
        QTest::newRow("line break after the tag")
            << "<p>#FRONT#\n</p>#front#\r\nx #Front# y #FRONT#\ry #FRONT#"
            << "<p>" + code + "\n\n</p>" + code + "\n\r\nx " + code + " y " + code + "\n\ry " + code;
        // Unquoted values that end at a line break, on an old page.
        QTest::newRow("line break after a funnel link or a tag's end")
            << "<a href=download.html\nclass=b>#FRONT#</a><a href=index.html\r\ntitle=t>"
            << "<a href=" + L + "\n\nclass=b>" + code + "</a><a href=" + L + "\n\r\ntitle=t>";
    }
    void smallThingsStayAsTheAuthorMeantThem()
    {
        QFETCH(QString, page);
        QFETCH(QString, expected);
        QCOMPARE(text(page), expected);
    }

    // Absolute addresses under the site's old address name its files; elsewhere they stay.
    void theSitesOwnAddressIsLocal_data()
    {
        QTest::addColumn<QStringList>("siteUrls");
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<int>("madeLocal");
        const QString page =
            "<link href='http://127.0.0.1:4000/css/site.css?v=2'><img src=\"//www.old.invalid/img/b.png\">"
            "<a href='https://WWW.OLD.INVALID:443/sub/page.html#x'><img src='http://www.old.invalid/no.png'>"
            "<img src='http://other.invalid/a.png'>";
        QTest::newRow("none given") << QStringList() << page << page << 0;
        QTest::newRow("a loopback host with its port")
            << QStringList{"http://127.0.0.1:4000"} << page
            << "<link href='" + P +
                   "css/site.css?v=2'><img src=\"//www.old.invalid/img/b.png\">"
                   "<a href='https://WWW.OLD.INVALID:443/sub/page.html#x'><img "
                   "src='http://www.old.invalid/no.png'>"
                   "<img src='http://other.invalid/a.png'>"
            << 1;
        QTest::newRow("a named host, any scheme, case and default port")
            << QStringList{"http://www.old.invalid/"} << page
            << "<link href='http://127.0.0.1:4000/css/site.css?v=2'><img src=\"" + P +
                   "img/b.png\">"
                   "<a href='" +
                   P +
                   "sub/page.html#x'><img src='http://www.old.invalid/no.png'>"
                   "<img src='http://other.invalid/a.png'>"
            << 2;
        QTest::newRow("the site in a folder of the host")
            << QStringList{"http://h.invalid/shop/"}
            << "<img src='http://h.invalid/shop/a.png'><img src='http://h.invalid/a.png'><a "
               "href='http://h.invalid/shop'>"
            << "<img src='" + P + "a.png'><img src='http://h.invalid/a.png'><a href='" + L + "'>" << 2;
        QTest::newRow("another port is another site")
            << QStringList{"http://127.0.0.1:4001/"} << "<img src='http://127.0.0.1:4000/a.png'>"
            << "<img src='http://127.0.0.1:4000/a.png'>" << 0;
    }
    void theSitesOwnAddressIsLocal()
    {
        QFETCH(QStringList, siteUrls);
        QFETCH(QString, page);
        QFETCH(QString, expected);
        QFETCH(int, madeLocal);
        QList<SiteAddress> addresses;
        for (const QString& url : siteUrls)
            addresses << ParseSiteAddress(url).value();
        const ConvertedPage c =
            ConvertPage(page, "index.html", SiteFiles(kFiles), {"index.html", "download.html"},
                        PageRole::FrontEnd, nullptr, addresses);
        QCOMPARE(QString::fromUtf8(c.text), expected);
        QCOMPARE(c.localAddresses, madeLocal);
        // A given address that names no file of the site is reported like a relative one.
        const bool reportsNoPng = std::any_of(c.notes.begin(), c.notes.end(), [](const ReferenceNote& n) {
            return n.reference == "http://www.old.invalid/no.png";
        });
        QCOMPARE(reportsNoPng, siteUrls.contains("http://www.old.invalid/"));
    }

    // Without a given address, one host that several absolute references use only to name files
    // of the site is proposed; a host that also names other things, one used once, or two such
    // hosts at once, are not.
    void aHostNamingOnlySiteFilesIsProposed_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("proposed");
        QTest::newRow("loopback, several files")
            << "<img src='http://127.0.0.1:4000/a.png'><link href='http://127.0.0.1:4000/css/site.css'>"
               "<img src='http://cdn.invalid/jquery.js'>"
            << "http://127.0.0.1:4000/";
        QTest::newRow("named host, from scripts too")
            << "<img src='https://old.invalid/a.png'><script>x='https://old.invalid/img/b.png'</script>"
            << "https://old.invalid/";
        QTest::newRow("used once") << "<img src='http://old.invalid/a.png'>"
                                   << "";
        QTest::newRow("names something else too")
            << "<img src='http://old.invalid/a.png'><img src='http://old.invalid/a.png'><a "
               "href='http://old.invalid/blog/'>"
            << "";
        QTest::newRow("two candidates")
            << "<img src='http://a.invalid/a.png'><img src='http://a.invalid/a.png'>"
               "<img src='http://b.invalid/a.png'><img src='http://b.invalid/a.png'>"
            << "";
    }
    void aHostNamingOnlySiteFilesIsProposed()
    {
        QFETCH(QString, page);
        QFETCH(QString, proposed);
        const ConvertedPage c = convert(page);
        QCOMPARE(ProposedSiteAddress({c.hosts}), proposed);
        QCOMPARE(QString::fromUtf8(c.text), page); // nothing changes without an answer
    }

    void aPageInASubfolderResolvesAgainstItsFolder()
    {
        QCOMPARE(text("<img src='s.png'><img src='../a.png'><img src='img/b.png'><img src='../../a.png'>",
                      "sub/page.html"),
                 "<img src='" + P + "sub/s.png'><img src='" + P + "a.png'><img src='" + P +
                     "img/b.png'><img src='../../a.png'>");
    }

    void funnelPagesAreReachedOnlyThroughTheFunnel()
    {
        // From the front page: to itself an in-page link, to the download page the funnel's
        // address without a key, however the link is written.
        QCOMPARE(text("<a href='index.html#order'>"), QString("<a href='#order'>"));
        QCOMPARE(text("<a href=\"index.html\">"), "<a href=\"" + L + "\">");
        QCOMPARE(text("<a href='./Download.html?x=1#top'>"), "<a href='" + L + "#top'>");
        QCOMPARE(text("<script>location = \"download.html\";</script>"),
                 "<script>location = \"" + L + "\";</script>");
        // From the download page, a link to the front page is the funnel's address too.
        const ConvertedPage back =
            ConvertPage("<a href='index.html#x'><a href='download.html#y'>#BACK#", "download.html",
                        SiteFiles(kFiles), {"index.html", "download.html"}, PageRole::Download);
        QCOMPARE(QString::fromUtf8(back.text),
                 "<a href='" + L + "#x'><a href='#y'>" + QString::fromUtf16(kBackTagCode));
    }

    // Only what the download page links to and uses no other way goes to buyers alone; a file that
    // the page also shows, names in a script, or that is a page, stays where it was.
    void linksToDeliveryFilesGoToTheKeyedAddress()
    {
        DeliveryRule rule;
        rule.notDelivered = {"poster.jpg"};
        const ConvertedPage c = ConvertPage(
            "<a href=\"movie.mp4\">film</a> <a href='data.json?x=1#y'>data</a> <a href='img/b.png'>b</a>"
            "<img src='img/b.png'> <a href='sub/page.html'>page</a> <a href='poster.jpg'>poster</a>"
            "<a href='a.png'>a</a><script>var s = \"a.png\";</script><area href='./movie.mp4'>#BACK#",
            "download.html", SiteFiles(kFiles), {"index.html", "download.html"}, PageRole::Download, &rule);
        QCOMPARE(c.delivered, (QStringList{"movie.mp4", "data.json"}));
        const QString out = QString::fromUtf8(c.text);
        const QString d0 = QString::fromLatin1(DeliveryUrlCode(0));
        const QString d1 = QString::fromLatin1(DeliveryUrlCode(1));
        QVERIFY2(out.startsWith("<a href=\"" + d0 + "\">film</a> <a href='" + d1 + "'>data</a> <a href='" +
                                P + "img/b.png'>b</a><img src='" + P + "img/b.png'> <a href='" + P +
                                "sub/page.html'>page</a> <a href='" + P + "poster.jpg'>poster</a><a href='" +
                                P + "a.png'>a</a><script>var s = \"" + P + "a.png\";</script><area href='" +
                                d0 + "'>"),
                 qPrintable(out));
        QCOMPARE(c.referenced, (QSet<QString>{"movie.mp4", "data.json", "img/b.png", "sub/page.html",
                                              "poster.jpg", "a.png"}));
        // Without a rule nothing is held back.
        QVERIFY(
            ConvertPage("<a href='movie.mp4'>", "download.html", SiteFiles(kFiles), {}, PageRole::Download)
                .delivered.isEmpty());
    }

    // A page the download page links is read, not handed out, whatever its extension's spelling;
    // a file the user names is handed out even where the page also shows it, or does not link it.
    void whatTheDownloadPageAloneLinksIsDelivered_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QStringList>("forced");
        QTest::addColumn<QStringList>("delivered");
        QTest::newRow("a file") << "<a href='movie.mp4'>" << QStringList() << QStringList{"movie.mp4"};
        QTest::newRow("linked twice, numbered once")
            << "<a href='data.json'><a href='./movie.mp4'><a href='movie.mp4#t=5'>" << QStringList()
            << QStringList{"data.json", "movie.mp4"};
        QTest::newRow(".htm page") << "<a href='side%202.htm'>" << QStringList() << QStringList();
        QTest::newRow(".HTML page") << "<a href='NOTES.HTML'>" << QStringList() << QStringList();
        QTest::newRow(".xhtml page") << "<a href='book.xhtml'>" << QStringList() << QStringList();
        QTest::newRow("kept public") << "<a href='poster.jpg'>" << QStringList() << QStringList();
        QTest::newRow("shown too") << "<a href='a.png'><img src='a.png'>" << QStringList() << QStringList();
        QTest::newRow("named, though shown")
            << "<img src='a.png'><a href='a.png'>" << QStringList{"a.png"} << QStringList{"a.png"};
        QTest::newRow("named, not linked, after the linked ones in name order")
            << "<a href='movie.mp4'>" << QStringList{"poster.jpg", "data.json", "gone.pdf"}
            << QStringList{"movie.mp4", "data.json", "poster.jpg"};
    }
    void whatTheDownloadPageAloneLinksIsDelivered()
    {
        QFETCH(QString, page);
        QFETCH(QStringList, forced);
        QFETCH(QStringList, delivered);
        DeliveryRule rule;
        rule.notDelivered = {"poster.jpg"};
        rule.forced = QSet<QString>(forced.cbegin(), forced.cend());
        const ConvertedPage c = ConvertPage(page + "#BACK#", "download.html", SiteFiles(kFiles),
                                            {"index.html", "download.html"}, PageRole::Download, &rule);
        QCOMPARE(c.delivered, delivered);
        QCOMPARE(c.text.contains(DeliveryUrlCode(0)), !delivered.isEmpty());
    }

    void theReportNamesPageLineAndWhatIsWrong()
    {
        const ConvertedPage c = convert("<html>\n<img src='spacer.gif'>\n<img src='logo.png'>\n"
                                        "<img src='../up.png'><img src='dup/icon.png'>\n"
                                        "<a href='http://x.invalid/y'><img data-src='no.png'>"
                                        "<div style='background:url(gone.png)'>"
                                        "<style>p{background:url(im\\67/b.png)}</style>");
        QStringList lines;
        for (const ReferenceNote& n : c.notes)
            lines << DescribeReferenceNote(n);
        QCOMPARE(
            lines,
            (QStringList{
                "index.html line 2: \"spacer.gif\" names no file in the site folder",
                "index.html line 3: \"logo.png\" is taken to mean \"Logo.PNG\" (the letter case differs)",
                "index.html line 4: \"../up.png\" points outside the site folder",
                "index.html line 4: \"dup/icon.png\" could be any of \"dup/Icon.png\", \"dup/ICON.png\""
                " (the names differ only in letter case)",
                "index.html line 5: \"gone.png\" names no file in the site folder",
            }));
    }

    void resolverReadsAddressesAsABrowserDoes_data()
    {
        QTest::addColumn<QString>("reference");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("file");
        using K = Resolution::Kind;
        QTest::newRow("query only") << "?page=2"
                                    << "" << int(K::NotLocal) << "";
        QTest::newRow("scheme, any case") << "HTTPS://x.invalid/"
                                          << "" << int(K::NotLocal) << "";
        QTest::newRow("drive letter") << "C:/site/a.png"
                                      << "" << int(K::NotLocal) << "";
        QTest::newRow("network path") << "\\\\server\\a.png"
                                      << "" << int(K::NotLocal) << "";
        QTest::newRow("the top's index") << "./"
                                         << "" << int(K::Resolved) << "index.html";
        QTest::newRow("up to the top's index") << "../"
                                               << "sub" << int(K::Resolved) << "index.html";
        QTest::newRow("from the top, for pages below it") << "a.png"
                                                          << "sub" << int(K::Resolved) << "a.png";
        QTest::newRow("an escape at the very end of the path") << "img/b%2Epng"
                                                               << "" << int(K::Resolved) << "img/b.png";
        QTest::newRow("escapes only, before a query") << "%61%2epng?x=1"
                                                      << "" << int(K::Resolved) << "a.png";
        QTest::newRow("an escape that ends the path") << "img/b.pn%67"
                                                      << "" << int(K::Resolved) << "img/b.png";
        QTest::newRow("an escape that is not UTF-8 stays as written")
            << "caf%E9.jpg"
            << "" << int(K::Missing) << "caf%E9.jpg";
        QTest::newRow("a colon after a slash is no scheme") << "img/b:c.png"
                                                            << "" << int(K::Missing) << "img/b:c.png";
        QTest::newRow("a folder's index.htm") << "old/"
                                              << "" << int(K::Resolved) << "old/index.htm";
        QTest::newRow("a file named with a percent sign") << "100%25.png"
                                                          << "" << int(K::Missing) << "100%.png";
        QTest::newRow("bad percent-encoding stays literal") << "a%zz.png"
                                                            << "" << int(K::Missing) << "a%zz.png";
        QTest::newRow("missing under the page's folder") << "x.png"
                                                         << "sub" << int(K::Missing) << "sub/x.png";
        QTest::newRow("out") << "../../a.png"
                             << "sub" << int(K::OutsideSite) << "";
    }
    void resolverReadsAddressesAsABrowserDoes()
    {
        QFETCH(QString, reference);
        QFETCH(QString, folder);
        QFETCH(int, kind);
        QFETCH(QString, file);
        const Resolution r = ResolveReference(reference, folder, SiteFiles(kFiles));
        QCOMPARE(int(r.kind), kind);
        QCOMPARE(r.file, file);
    }
};

QTEST_GUILESS_MAIN(ReferencesTest)
#include "references_test.moc"
