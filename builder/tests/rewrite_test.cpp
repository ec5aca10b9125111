#include "builder/asset_rewrite.h"
#include "builder/file_walk.h"
#include "builder/page_converter.h"
#include "builder/plugin_header.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <filesystem>
#include <random>

using namespace builder;

namespace {

void touch(const QString& path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
}

const QString P = QStringLiteral("<?php bloginfo('wpurl'); ?>/wp-content/plugins/p1/modules/template/");

// A page at the site's top converted against files, neither of them a funnel page.
QString convert(const QString& page, const QStringList& files, PageRole role = PageRole::FrontEnd)
{
    return QString::fromUtf8(ConvertPage(page, "page.html", SiteFiles(files), {}, role).text);
}

} // namespace

class RewriteTest : public QObject
{
    Q_OBJECT

private slots:
    void walkIsDepthFirstInNameOrder()
    {
        QTemporaryDir tmp;
        const QString site = tmp.filePath("site");
        touch(site + "/index.html");
        touch(site + "/images/a.png");
        touch(site + "/images/icons/b.png");
        touch(site + "/images/z.png");
        touch(site + "/zeta.css");
        touch(site + "/.hidden/secret.txt");
        touch(site + "/.htaccess");
        QDir().mkpath(site + "/empty");
        QVERIFY(QFile::link(tmp.filePath("outside.txt"), site + "/link-out.txt"));
        touch(tmp.filePath("outside.txt"));

        const QStringList expected = {"images/a.png", "images/icons/b.png", "images/z.png", "index.html",
                                      "zeta.css"};
        QCOMPARE(ListWorkingFolderFiles(site), expected);
        // A fresh list every time: nothing piles up.
        QCOMPARE(ListWorkingFolderFiles(site), expected);

        QStringList list{"kept"};
        RecurseFiles(site + "/images/", site, list);
        QCOMPARE(list, (QStringList{"kept", "images/a.png", "images/icons/b.png", "images/z.png"}));
        QVERIFY(ListWorkingFolderFiles(site + "/empty").isEmpty());
    }

    void walkOrdersWhatTheFileSystemListsInAnyOrder()
    {
        // Hundreds of names made in a shuffled order: no file system hands them back sorted by
        // chance, so only the walk's own sort can put them in byte order.
        QTemporaryDir tmp;
        const QString site = tmp.filePath("site");
        QStringList expected;
        QStringList made;
        for (int i = 0; i < 300; ++i) {
            const QString name = QStringLiteral("f%1").arg(i, 3, 10, QLatin1Char('0'));
            // Every 50th entry is a folder, whose files come where it stands; upper case sorts first.
            if (i % 50 == 25) {
                expected << name + "/Z.txt" << name + "/a.txt";
                made << name + "/a.txt" << name + "/Z.txt";
            } else {
                expected << name + ".txt";
                made << name + ".txt";
            }
        }
        std::shuffle(made.begin(), made.end(), std::mt19937(4217));
        for (const QString& name : made)
            touch(site + "/" + name);

        QStringList listedBySystem;
        for (const auto& entry : std::filesystem::directory_iterator(QFile::encodeName(site).toStdString()))
            listedBySystem << QString::fromStdString(entry.path().filename().string());
        if (std::is_sorted(listedBySystem.begin(), listedBySystem.end()))
            QSKIP(
                "this file system lists the names sorted by itself, so the walk's sort cannot be told apart");

        QCOMPARE(ListWorkingFolderFiles(site), expected);
    }

    void rewriteTouchesOnlyExactDoubleQuotedPaths()
    {
        const QStringList files = {"images/logo.png", "style.css", "images/icons/a.png", "page.html"};
        const QString page =
            R"(<img src="images/logo.png"><img src="images/logo.png"><a href="images/logo.png">)"
            R"(<img src='images/logo.png'> url(images/logo.png) "./images/logo.png" "/images/logo.png")"
            R"( "images\logo.png" "style.css?v=2" "page.html#top" "Images/Logo.png" "../icons/a.png")"
            R"( <script>var s = "style.css";</script> <a href="page.html">)";
        const QString out = RewriteAssetPaths(page, files, P);
        QCOMPARE(out.count(QString("\"" + P + "images/logo.png\"")), 3);
        QVERIFY(out.contains("'images/logo.png'"));
        QVERIFY(out.contains("url(images/logo.png)"));
        QVERIFY(out.contains("\"./images/logo.png\""));
        QVERIFY(out.contains("\"/images/logo.png\""));
        QVERIFY(out.contains("\"images\\logo.png\""));
        QVERIFY(out.contains("\"style.css?v=2\""));
        QVERIFY(out.contains("\"page.html#top\""));
        QVERIFY(out.contains("\"Images/Logo.png\""));
        QVERIFY(out.contains("\"../icons/a.png\""));
        QVERIFY(out.contains("var s = \"" + P + "style.css\";"));
        QVERIFY(out.contains("href=\"" + P + "page.html\""));
        // A second application changes nothing more.
        QCOMPARE(RewriteAssetPaths(out, files, P), out);
        QCOMPARE(RewriteAssetPaths(page, {}, P), page);
    }

    void convertedPageRunsOnlyItsOwnPhp()
    {
        const QString page = "<?xml version=\"1.0\"?>\n<html><body><?php system('id'); ?>"
                             "<img src=\"a.png\">#FRONT# #front# #Front# #fRONT# #BACK#</body></html>";
        const QString out = convert(page, {"a.png"});
        const QString P = GetAssetUrlPrefix();
        QCOMPARE(
            out,
            QString(
                "<<?php ?>?xml version=\"1.0\"?>\n<html><body><<?php ?>?php system('id'); ?>"
                "<img src=\"" +
                P +
                "a.png\">"
                "<?php echo $front_tag;?> <?php echo $front_tag;?> <?php echo $front_tag;?> #fRONT# #BACK#"
                "</body></html>"));
        const QString back = convert("#back# #BACK# #Back# #FRONT#", {}, PageRole::Download);
        QCOMPARE(back,
                 QStringLiteral(
                     "<?php echo $back_tag;?> <?php echo $back_tag;?> <?php echo $back_tag;?> #FRONT#"));
        QCOMPARE(convert(QString(), {"a.png"}), QString());
    }

    void convertedPageFollowsTheRuleWhateverPrivateCharactersItHolds()
    {
        // The page already holds characters the converter could use internally.
        QString page = "\"a.png\" ";
        for (char16_t u = 0xE000; u < 0xE100; ++u)
            page += QChar(u);
        const QString out = convert(page, {"a.png"});
        const QString P = GetAssetUrlPrefix();
        QCOMPARE(out, RewriteAssetPaths(page, {"a.png"}, P));
        QVERIFY(out.startsWith("\"" + P + "a.png\""));
        QVERIFY(out.endsWith(QChar(0xE0FF)));
    }
};

QTEST_GUILESS_MAIN(RewriteTest)
#include "rewrite_test.moc"
