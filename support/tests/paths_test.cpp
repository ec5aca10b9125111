#include "support/paths.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <filesystem>
#include <system_error>

using support::IsSameOrInside;
using support::ResolvedPath;

class PathsTest : public QObject
{
    Q_OBJECT

private slots:
    // Paths that need no file system: compared as written once cleaned.
    void lexicalCases_data()
    {
        QTest::addColumn<QString>("inner");
        QTest::addColumn<QString>("outer");
        QTest::addColumn<bool>("inside");
        QTest::newRow("equal") << "/no/such/a/b"
                               << "/no/such/a/b" << true;
        QTest::newRow("child") << "/no/such/a/b/c"
                               << "/no/such/a/b" << true;
        QTest::newRow("parent is not inside its child") << "/no/such/a"
                                                        << "/no/such/a/b" << false;
        QTest::newRow("sibling with a common prefix") << "/no/such/a/bc"
                                                      << "/no/such/a/b" << false;
        QTest::newRow("sibling with a common prefix, below") << "/no/such/a/bc/d"
                                                             << "/no/such/a/b" << false;
        QTest::newRow("trailing separator on the folder") << "/no/such/a/b/c"
                                                          << "/no/such/a/b/" << true;
        QTest::newRow("trailing separator, equal") << "/no/such/a/b/"
                                                   << "/no/such/a/b" << true;
        QTest::newRow("doubled separators") << "/no//such/a//b/c"
                                            << "/no/such/a/b" << true;
        QTest::newRow(".. leaves the folder") << "/no/such/a/b/../c"
                                              << "/no/such/a/b" << false;
        QTest::newRow(".. back into the folder") << "/no/such/a/c/../b/d"
                                                 << "/no/such/a/b" << true;
        QTest::newRow(".. to the folder itself") << "/no/such/a/b/c/.."
                                                 << "/no/such/a/b" << true;
        QTest::newRow(". in the path") << "/no/such/a/./b/./c"
                                       << "/no/such/a/b" << true;
        QTest::newRow("case counts") << "/no/such/a/B/c"
                                     << "/no/such/a/b" << false;
        QTest::newRow("everything is inside the root") << "/no/such/a"
                                                       << "/" << true;
        QTest::newRow("the root is inside itself") << "/"
                                                   << "/" << true;
        QTest::newRow("the root is inside no folder") << "/"
                                                      << "/no" << false;
        QTest::newRow("empty inner") << ""
                                     << "/no/such" << false;
        QTest::newRow("empty outer") << "/no/such"
                                     << "" << false;
    }

    void lexicalCases()
    {
        QFETCH(QString, inner);
        QFETCH(QString, outer);
        QFETCH(bool, inside);
        QCOMPARE(IsSameOrInside(inner, outer), inside);
    }

    // Existing paths are compared as the file system resolves them: a link counts where it leads.
    void linksCountWhereTheyLead()
    {
        QTemporaryDir tmp;
        const QDir root(tmp.path());
        QVERIFY(root.mkpath("site/pages"));
        QVERIFY(root.mkpath("outside"));
        QFile page(root.filePath("outside/x.html"));
        QVERIFY(page.open(QIODevice::WriteOnly));
        page.close();
        QVERIFY(root.mkpath("site-old"));
        QVERIFY(QFile::link(root.filePath("outside"), root.filePath("site/way-out")));
        QVERIFY(QFile::link(root.filePath("site/pages"), root.filePath("way-in")));
        QVERIFY(QFile::link(root.filePath("site"), root.filePath("site-link")));

        QVERIFY(IsSameOrInside(root.filePath("site/pages"), root.filePath("site")));
        QVERIFY(!IsSameOrInside(root.filePath("site/way-out"), root.filePath("site")));
        QVERIFY(!IsSameOrInside(root.filePath("site/way-out/x.html"), root.filePath("site")));
        QVERIFY(IsSameOrInside(root.filePath("way-in"), root.filePath("site")));
        QVERIFY(IsSameOrInside(root.filePath("site"), root.filePath("site-link")));
        QVERIFY(IsSameOrInside(root.filePath("site-link/pages"), root.filePath("site")));
        QVERIFY(!IsSameOrInside(root.filePath("site-old"), root.filePath("site")));
        // A folder not made yet lies where the folder that would hold it leads.
        QVERIFY(IsSameOrInside(root.filePath("site-link/new/output"), root.filePath("site")));
        QVERIFY(!IsSameOrInside(root.filePath("site/way-out/new"), root.filePath("site")));
        // A relative path is taken from the current folder.
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(root.filePath("site-link")));
        const bool relativeInside = IsSameOrInside(QStringLiteral("pages"), root.filePath("site"));
        const bool relativeOutside = IsSameOrInside(QStringLiteral("../outside"), root.filePath("site"));
        QVERIFY(QDir::setCurrent(before));
        QVERIFY(relativeInside);
        QVERIFY(!relativeOutside);
    }

    // Names that are not UTF-8 read the same as text (U+FFFD for each bad byte), so the native
    // overload compares their bytes.
    void namesThatAreNotUtf8KeepTheirBytes()
    {
        namespace fs = std::filesystem;
        QTemporaryDir tmp;
        const fs::path root(QFile::encodeName(tmp.path()).toStdString());
        std::error_code ec;
        fs::create_directories(root / "\xff" / "pages", ec);
        fs::create_directories(root / "\xfe" / "pages", ec);
        if (ec)
            QSKIP("this file system does not take names that are not UTF-8");
        QVERIFY(IsSameOrInside(root / "\xff" / "pages", root / "\xff"));
        QVERIFY(!IsSameOrInside(root / "\xfe" / "pages", root / "\xff"));
        QVERIFY(!IsSameOrInside(root / "\xfe", root / "\xff"));
        // QTemporaryDir cannot name them to remove them.
        fs::remove_all(root / "\xff", ec);
        fs::remove_all(root / "\xfe", ec);
    }

    void resolvedPathFollowsLinksAndCleansTheRest()
    {
        QTemporaryDir tmp;
        const QDir root(tmp.path());
        QVERIFY(root.mkpath("real"));
        QVERIFY(QFile::link(root.filePath("real"), root.filePath("link")));
        const QString real = QFileInfo(root.filePath("real")).canonicalFilePath();
        QCOMPARE(ResolvedPath(root.filePath("link")), real);
        QCOMPARE(ResolvedPath(root.filePath("link") + "/"), real);
        QCOMPARE(ResolvedPath(root.filePath("real/../real")), real);
        QCOMPARE(ResolvedPath(root.filePath("link/not/yet")), real + "/not/yet");
        QCOMPARE(ResolvedPath("/no//such/./a/../b/"), QStringLiteral("/no/such/b"));
        QCOMPARE(ResolvedPath("/"), QStringLiteral("/"));
        QCOMPARE(ResolvedPath(QString()), QString());
    }
};

QTEST_GUILESS_MAIN(PathsTest)
#include "paths_test.moc"
