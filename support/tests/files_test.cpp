#include "support/folder_deletion.h"
#include "support/io_error.h"
#include "support/mortar_file.h"
#include "support/mortar_tools.h"

#include "support/tests/test_files.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using namespace support;
using namespace testfiles;

class FilesTest : public QObject
{
    Q_OBJECT

private slots:
    void deleteFolderRemovesHiddenReadOnlyAndNestedEntries()
    {
        QTemporaryDir tmp;
        const QString root = tmp.filePath("work");
        writeFile(root + "/readonly.txt", "r");
        QFile::setPermissions(root + "/readonly.txt", QFile::ReadOwner);
        writeFile(root + "/.hidden", "h");
        writeFile(root + "/.git/objects/ab", "x");
        writeFile(root + "/a/b/c/d/deep.txt", "d");
        writeFile(root + "/locked/inner.txt", "i");
        QFile::setPermissions(root + "/locked", QFile::ReadOwner | QFile::ExeOwner);

        QVERIFY(DeleteFolder(root + "/")); // a trailing separator is the same folder
        QVERIFY(!QFileInfo::exists(root));
    }

    void deleteFolderNeverFollowsLinksOut()
    {
        QTemporaryDir tmp;
        writeFile(tmp.filePath("outside/keep.txt"), "keep");
        writeFile(tmp.filePath("work/file.txt"), "f");
        QVERIFY(QFile::link(tmp.filePath("outside"), tmp.filePath("work/link-to-dir")));
        QVERIFY(QFile::link(tmp.filePath("outside/keep.txt"), tmp.filePath("work/link-to-file")));

        QVERIFY(DeleteFolder(tmp.filePath("work")));
        QVERIFY(!QFileInfo::exists(tmp.filePath("work")));
        QCOMPARE(readFile(tmp.filePath("outside/keep.txt")), QByteArray("keep"));
    }

    void deleteFolderRefusesWhatItMustNotTouch()
    {
        QTemporaryDir tmp;
        writeFile(tmp.filePath("file.txt"), "f");
        QVERIFY(!DeleteFolder(QString()));
        QVERIFY(!DeleteFolder("relative/path"));
        QVERIFY(!DeleteFolder("/"));
        QVERIFY(!DeleteFolder(tmp.filePath("missing")));
        QVERIFY(!DeleteFolder(tmp.filePath("file.txt")));
        QVERIFY(QFileInfo::exists(tmp.filePath("file.txt")));
    }

    void copyFolderCopiesTheTreeAndReplacesFiles()
    {
        QTemporaryDir tmp;
        writeFile(tmp.filePath("site/index.html"), "new");
        writeFile(tmp.filePath("site/images/icons/a.png"), "png");
        writeFile(tmp.filePath("site/.htaccess"), "h");
        writeFile(tmp.filePath("site/empty/.keep"), "");
        writeFile(tmp.filePath("dest/index.html"), "old");
        writeFile(tmp.filePath("dest/only-old.txt"), "stays");
        QFile::setPermissions(tmp.filePath("site/index.html"), QFile::ReadOwner);

        const QStringList warnings = MortarFile::CopyFolder(tmp.filePath("site"), tmp.filePath("dest"));
        QVERIFY(warnings.isEmpty());
        QCOMPARE(readFile(tmp.filePath("dest/index.html")), QByteArray("new"));
        QCOMPARE(readFile(tmp.filePath("dest/images/icons/a.png")), QByteArray("png"));
        QCOMPARE(readFile(tmp.filePath("dest/.htaccess")), QByteArray("h"));
        QCOMPARE(readFile(tmp.filePath("dest/only-old.txt")), QByteArray("stays"));
        QVERIFY(QFileInfo(tmp.filePath("dest/index.html")).permissions() & QFile::WriteOwner);
        // No temporary names are left behind.
        QCOMPARE(QDir(tmp.filePath("dest")).entryList(QDir::Files | QDir::Hidden).filter(".part").size(), 0);
    }

    void copyFolderSkipsLinksThatLeaveTheSite()
    {
        QTemporaryDir tmp;
        writeFile(tmp.filePath("secret.txt"), "secret");
        writeFile(tmp.filePath("site/page.html"), "p");
        QVERIFY(QFile::link(tmp.filePath("secret.txt"), tmp.filePath("site/out.txt")));
        QVERIFY(QFile::link(tmp.filePath("site/page.html"), tmp.filePath("site/alias.html")));
        QVERIFY(QFile::link(tmp.filePath("site"), tmp.filePath("site/loop")));
        QVERIFY(QFile::link(tmp.filePath("nowhere"), tmp.filePath("site/broken")));

        const QStringList warnings = MortarFile::CopyFolder(tmp.filePath("site"), tmp.filePath("dest"));
        QCOMPARE(readFile(tmp.filePath("dest/alias.html")), QByteArray("p"));
        QVERIFY(!QFileInfo(tmp.filePath("dest/alias.html")).isSymLink());
        QVERIFY(!QFileInfo::exists(tmp.filePath("dest/out.txt")));
        QVERIFY(!QFileInfo::exists(tmp.filePath("dest/loop")));
        QCOMPARE(warnings.size(), 3);
        QVERIFY(warnings.filter("out.txt").first().contains("outside"));
        QVERIFY(warnings.filter("loop").first().contains("folder"));
        QVERIFY(warnings.filter("broken").first().contains("broken"));
    }

    void copyFolderFailureNamesTheFile()
    {
        QTemporaryDir tmp;
        writeFile(tmp.filePath("site/page.html"), "p");
        try {
            MortarFile::CopyFolder(tmp.filePath("nosuch"), tmp.filePath("dest"));
            QFAIL("a missing source must fail");
        } catch (const IoError& e) {
            QVERIFY(e.description().contains("nosuch"));
        }
        writeFile(tmp.filePath("dest/page.html/inner"), "a folder where the file goes");
        try {
            MortarFile::CopyFolder(tmp.filePath("site"), tmp.filePath("dest"));
            QFAIL("a folder in the file's place must fail");
        } catch (const IoError& e) {
            QVERIFY2(e.description().contains("page.html"), qPrintable(e.description()));
        }
    }

    void textFilesAreWrittenWholeAsUtf8()
    {
        QTemporaryDir tmp;
        const QString path = tmp.filePath("page.html");
        MortarFile::WriteTextFile(QStringLiteral(u"caf\u00E9"), path);
        QCOMPARE(readFile(path), QByteArray("caf\xC3\xA9"));
        QCOMPARE(MortarFile::ReadTextFile(path), QStringLiteral(u"caf\u00E9"));
        QVERIFY(MortarFile::FileExists(path));
        QVERIFY(!MortarFile::FileExists(tmp.path()));
        QVERIFY(MortarTools::PathExists(tmp.path(), true));
        QVERIFY(!MortarTools::PathExists(path, true));

        // A file that cannot be replaced keeps its old text and the error names it.
        QFile::setPermissions(path, QFile::ReadOwner);
        if (::geteuid() != 0) {
            QVERIFY_THROWS_EXCEPTION(IoError, MortarFile::WriteTextFile("new", path));
            QCOMPARE(readFile(path), QByteArray("caf\xC3\xA9"));
        }
        try {
            MortarFile::ReadTextFile(tmp.filePath("gone.html"));
            QFAIL("reading a missing file must fail");
        } catch (const IoError& e) {
            QCOMPARE(e.number(), int(kFileNotFound));
            QVERIFY(e.description().contains("gone.html"));
        }
        QVERIFY_THROWS_EXCEPTION(IoError, MortarFile::ReadTextFile(tmp.path()));
    }
};

QTEST_GUILESS_MAIN(FilesTest)
#include "files_test.moc"
