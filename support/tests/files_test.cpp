#include "support/folder_deletion.h"
#include "support/io_error.h"
#include "support/mortar_file.h"
#include "support/mortar_tools.h"

#include "tests/support/test_files.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <functional>

using namespace support;
using namespace testsupport;

namespace {

// Temporary files left anywhere below folder, hidden ones included.
QStringList leftoverParts(const QString& folder)
{
    QStringList found;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (path.endsWith(".part"))
            found << QDir(folder).relativeFilePath(path);
    }
    return found;
}

struct ChildOutcome
{
    int errorNumber = -1; // the IoError's number, 0 when nothing was thrown, -1 when the child died
    QString description;
};

// Runs work in a child process whose files cannot grow past limit bytes, which is what a full
// disk looks like to a writer, and root cannot be exempted from it. work runs in the child only.
ChildOutcome withFileSizeLimit(rlim_t limit, const std::function<void()>& work)
{
    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        return {};
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        return {};
    }
    if (pid == 0) {
        ::close(pipeFds[0]);
        // Ignored, the signal turns a write past the limit into an EFBIG error instead of a kill.
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit lim{};
        ::getrlimit(RLIMIT_FSIZE, &lim);
        lim.rlim_cur = limit;
        int number = 0;
        QByteArray said;
        if (::setrlimit(RLIMIT_FSIZE, &lim) != 0) {
            number = 255;
            said = "setrlimit failed";
        } else {
            try {
                work();
            } catch (const IoError& e) {
                number = e.number();
                said = e.description().toUtf8();
            }
        }
        if (::write(pipeFds[1], said.constData(), size_t(said.size())) != said.size())
            number = 254;
        ::_exit(number);
    }
    ::close(pipeFds[1]);
    ChildOutcome outcome;
    QByteArray said;
    char buffer[512];
    for (ssize_t got; (got = ::read(pipeFds[0], buffer, sizeof buffer)) != 0;) {
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            break;
        said.append(buffer, got);
    }
    ::close(pipeFds[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status)) {
        outcome.errorNumber = WEXITSTATUS(status);
        outcome.description = QString::fromUtf8(said);
    }
    return outcome;
}

// Marks a file immutable, which stops root too; false where the file system or the process may
// not (no CAP_LINUX_IMMUTABLE in a container, tmpfs on older kernels).
bool setImmutable(const QString& path, bool on)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    int flags = 0;
    bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (ok) {
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return ok;
}

} // namespace

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
        QString why;
        QVERIFY(!DeleteFolder(tmp.filePath("file.txt"), &why));
        QCOMPARE(why, "Cannot delete '" + tmp.filePath("file.txt") + "': it is not a folder.");
        QVERIFY(QFileInfo::exists(tmp.filePath("file.txt")));
        QVERIFY(!DeleteFolder(tmp.filePath("missing"), &why));
        QVERIFY2(why.startsWith("Cannot delete '" + tmp.filePath("missing") + "': "), qPrintable(why));
    }

    // The first entry that will not go stops the deletion, and the reason names it with the
    // system's own words.
    void deleteFolderNamesTheEntryThatStayed()
    {
        QTemporaryDir tmp;
        const QString root = tmp.filePath("work");
        writeFile(root + "/a/stuck.txt", "s");
        writeFile(root + "/a/b/c.txt", "c");
        const QString stuck = root + "/a/stuck.txt";
        if (!setImmutable(stuck, true))
            QSKIP("this file system or process cannot mark a file immutable");
        QString why = "stale";
        const bool deleted = DeleteFolder(root, &why);
        QVERIFY(setImmutable(stuck, false)); // or the temporary folder could not be removed
        QVERIFY(!deleted);
        QCOMPARE(why, "Cannot delete '" + stuck + "': " + QString::fromLocal8Bit(std::strerror(EPERM)));
        QVERIFY(QFileInfo::exists(stuck));

        // Once it may go, the same call deletes the rest and clears the reason.
        QVERIFY(DeleteFolder(root, &why));
        QCOMPARE(why, QString());
        QVERIFY(!QFileInfo::exists(root));
    }

    void copyFolderCopiesTheTreeAndReplacesFiles()
    {
        QTemporaryDir tmp;
        writeFile(tmp.filePath("site/index.html"), "new");
        writeFile(tmp.filePath("site/images/icons/a.png"), "png");
        writeFile(tmp.filePath("site/.htaccess"), "h");
        writeFile(tmp.filePath("site/empty/.keep"), "");
        writeFile(tmp.filePath("dest/index.html"), "old");
        writeFile(tmp.filePath("dest/images/icons/a.png"), "old png");
        writeFile(tmp.filePath("dest/only-old.txt"), "stays");
        QFile::setPermissions(tmp.filePath("site/index.html"), QFile::ReadOwner);
        // A second name for the old files' bytes: a file replaced by a rename leaves them as they
        // were, one written over in place changes them too.
        QCOMPARE(::link(QFile::encodeName(tmp.filePath("dest/index.html")).constData(),
                        QFile::encodeName(tmp.filePath("old-index.html")).constData()),
                 0);
        QCOMPARE(::link(QFile::encodeName(tmp.filePath("dest/images/icons/a.png")).constData(),
                        QFile::encodeName(tmp.filePath("old-a.png")).constData()),
                 0);

        const QStringList warnings = MortarFile::CopyFolder(tmp.filePath("site"), tmp.filePath("dest"));
        QVERIFY(warnings.isEmpty());
        QCOMPARE(readFile(tmp.filePath("dest/index.html")), QByteArray("new"));
        QCOMPARE(readFile(tmp.filePath("old-index.html")), QByteArray("old"));
        QCOMPARE(readFile(tmp.filePath("old-a.png")), QByteArray("old png"));
        QCOMPARE(readFile(tmp.filePath("dest/images/icons/a.png")), QByteArray("png"));
        QCOMPARE(readFile(tmp.filePath("dest/.htaccess")), QByteArray("h"));
        QCOMPARE(readFile(tmp.filePath("dest/only-old.txt")), QByteArray("stays"));
        QVERIFY(QFileInfo(tmp.filePath("dest/index.html")).permissions() & QFile::WriteOwner);
        QCOMPARE(leftoverParts(tmp.filePath("dest")), QStringList());
    }

    void copyFolderFailingPartWayKeepsTheOldFile()
    {
        QTemporaryDir tmp;
        const QByteArray big(3 << 20, 'n');
        writeFile(tmp.filePath("site/index.html"), "new");
        writeFile(tmp.filePath("site/files/book.pdf"), big);
        writeFile(tmp.filePath("dest/files/book.pdf"), "the old book");

        // The disk fills after one megabyte: the copy of book.pdf fails half-way.
        const ChildOutcome outcome = withFileSizeLimit(
            1 << 20, [&] { MortarFile::CopyFolder(tmp.filePath("site"), tmp.filePath("dest")); });
        QCOMPARE(outcome.errorNumber, int(kDiskFull));
        QVERIFY2(outcome.description.contains("book.pdf"), qPrintable(outcome.description));
        QCOMPARE(readFile(tmp.filePath("dest/files/book.pdf")), QByteArray("the old book"));
        QCOMPARE(leftoverParts(tmp.filePath("dest")), QStringList());

        // With room again the same copy goes through.
        QVERIFY(MortarFile::CopyFolder(tmp.filePath("site"), tmp.filePath("dest")).isEmpty());
        QCOMPARE(readFile(tmp.filePath("dest/files/book.pdf")), big);
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

    // Reads and copies that fail part-way let go of every file they opened.
    void failuresLeaveNoFileOpen()
    {
        const auto openFiles = [] {
            return QDir("/proc/self/fd").entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size();
        };
        QTemporaryDir tmp;
        writeFile(tmp.filePath("site/page.html"), "p");
        QCOMPARE(::mkfifo(QFile::encodeName(tmp.filePath("pipe")).constData(), 0644), 0);
        writeFile(tmp.filePath("dest/page.html/inner"), "a folder where the file goes");
        const qsizetype before = openFiles();
        for (const QString& path : {tmp.filePath("pipe"), tmp.filePath("site"), tmp.filePath("missing")}) {
            QVERIFY_THROWS_EXCEPTION(IoError, MortarFile::ReadBinaryFile(path));
            QCOMPARE(openFiles(), before);
        }
        QVERIFY_THROWS_EXCEPTION(IoError, MortarFile::CopyFolder(tmp.filePath("site"), tmp.filePath("dest")));
        QCOMPARE(openFiles(), before);
        QCOMPARE(MortarFile::ReadBinaryFile(tmp.filePath("site/page.html")), QByteArray("p"));
        QCOMPARE(openFiles(), before);
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
        try {
            MortarFile::ReadTextFile(tmp.filePath("gone.html"));
            QFAIL("reading a missing file must fail");
        } catch (const IoError& e) {
            QCOMPARE(e.number(), int(kFileNotFound));
            QVERIFY(e.description().contains("gone.html"));
        }
        QVERIFY_THROWS_EXCEPTION(IoError, MortarFile::ReadTextFile(tmp.path()));
    }

    void aFileThatCannotBeReplacedKeepsItsText_data()
    {
        QTest::addColumn<QString>("obstacle");
        QTest::newRow("read-only file") << "read-only";
        QTest::newRow("immutable file") << "immutable";
        QTest::newRow("full disk") << "full disk";
        QTest::newRow("a file where its folder must be") << "file for folder";
    }
    void aFileThatCannotBeReplacedKeepsItsText()
    {
        QFETCH(QString, obstacle);
        QTemporaryDir tmp;
        QString path = tmp.filePath("page.html");
        const QByteArray old = "caf\xC3\xA9";
        writeFile(path, old);
        const QString text = QString(2 << 20, QLatin1Char('x'));
        ChildOutcome outcome;
        if (obstacle == "read-only") {
            if (::geteuid() == 0)
                QSKIP("root writes over a read-only file; the immutable and full-disk rows cover it");
            QVERIFY(QFile::setPermissions(path, QFile::ReadOwner));
        } else if (obstacle == "immutable") {
            if (!setImmutable(path, true))
                QSKIP("this file system or process cannot mark a file immutable");
        } else if (obstacle == "file for folder") {
            path += "/inner.html"; // page.html is a file, so no folder of that name can hold one
        }
        if (obstacle == "full disk") {
            outcome = withFileSizeLimit(1 << 20, [&] { MortarFile::WriteTextFile(text, path); });
        } else {
            try {
                MortarFile::WriteTextFile(text, path);
                outcome.errorNumber = 0;
            } catch (const IoError& e) {
                outcome = {e.number(), e.description()};
            }
        }
        if (obstacle == "immutable")
            QVERIFY(setImmutable(path, false)); // or the temporary folder could not be removed
        QVERIFY2(outcome.errorNumber > 0, qPrintable(obstacle + " let the write through"));
        QVERIFY2(outcome.description.contains(path), qPrintable(outcome.description));
        QCOMPARE(readFile(tmp.filePath("page.html")), old);
        QCOMPARE(QDir(tmp.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{"page.html"});
    }
};

QTEST_GUILESS_MAIN(FilesTest)
#include "files_test.moc"
