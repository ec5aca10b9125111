// The plugin folder the archiver reads is made of links to the site's and the template's files:
// whatever the build does, and however it ends, the originals stay as they were.

#include "builder/build_plugin.h"
#include "builder/build_stop.h"
#include "support/mortar_file.h"
#include "tests/support/example_request.h"
#include "tests/support/test_files.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QTest>

#include <map>
#include <thread>

#include <sys/stat.h>

using namespace builder;
using namespace testsupport;

namespace {

// Every file below folder: its bytes and how many names its data has.
std::map<QString, std::pair<QByteArray, nlink_t>> originals(const QString& folder)
{
    std::map<QString, std::pair<QByteArray, nlink_t>> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        struct stat st
        {
        };
        ::stat(QFile::encodeName(path).constData(), &st);
        files[path] = {readFile(path), st.st_nlink};
    }
    return files;
}

// The unpacked plugin: each file's path and bytes, with the random names of the stored delivery
// files made plain (a stored file is named after its bytes instead).
std::map<QString, QByteArray> unpacked(const QString& zip, const QString& into)
{
    std::map<QString, QByteArray> files;
    QProcess p;
    p.start(archiverPath(), {"x", "-y", "-o" + into, zip});
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return files;
    const QRegularExpression stored("[0-9a-f]{32}\\.php");
    QDirIterator it(into, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QString name = QDir(into).relativeFilePath(path);
        QByteArray bytes = readFile(path);
        if (name.contains("/delivery-files/"))
            name.replace(stored,
                         QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex().left(16));
        if (name.endsWith("modules/delivery.php"))
            bytes = QString::fromUtf8(bytes).replace(stored, "STORED").toUtf8();
        files[name] = bytes;
    }
    return files;
}

} // namespace

class StagingTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_tmp;
    QString m_site;
    QString m_template;
    QString m_output;
    QStringList m_steps;

    BuildRequest request()
    {
        BuildRequest r = exampleRequest(m_site, m_output);
        r.templateFolder = m_template;
        return r;
    }
    BuildProgress recordSteps()
    {
        m_steps.clear();
        return [this](int, const QString& step) { m_steps << step; };
    }

private slots:
    void init()
    {
        static int run = 0;
        const QString here = m_tmp.filePath(QString::number(run++));
        m_site = here + "/site";
        m_template = here + "/template";
        m_output = here + "/out";
        support::MortarFile::CopyFolder(QStringLiteral(VANTOR_SOURCE_DIR "/examples/reseller-site"), m_site);
        support::MortarFile::CopyFolder(QStringLiteral(VANTOR_SOURCE_DIR "/resources/plugintemplate"),
                                        m_template);
        // A page whose file is read-only: linked, its data must not change either.
        QFile::setPermissions(m_site + "/css/style.css", QFile::ReadOwner | QFile::ReadGroup);
        QDir().mkpath(m_output);
    }

    // Built, failed or stopped: the site's and the template's files keep their bytes and their
    // link counts (the staged links are gone with the work folder), placeholders included.
    void originalsStayAsTheyWere_data()
    {
        QTest::addColumn<QString>("ending");
        QTest::newRow("built") << "built";
        QTest::newRow("failed in the archiver") << "failed";
        QTest::newRow("stopped while packing") << "stopped";
    }
    void originalsStayAsTheyWere()
    {
        QFETCH(QString, ending);
        const auto site = originals(m_site);
        const auto templ = originals(m_template);
        BuildRequest r = request();
        BuildStop stop;
        if (ending == "failed") {
            r.archiver = m_tmp.filePath("failing-7za");
            writeFile(r.archiver, "#!/bin/sh\necho 'no space left' >&2\nexit 2\n");
            QFile::setPermissions(r.archiver, QFile::ReadOwner | QFile::ExeOwner);
        } else if (ending == "stopped") {
            r.archiver = m_tmp.filePath("slow-7za");
            writeFile(r.archiver, "#!/bin/sh\nexec sleep 600\n");
            QFile::setPermissions(r.archiver, QFile::ReadOwner | QFile::ExeOwner);
            r.stop = &stop;
        }
        BuildResult result;
        std::thread worker([&] {
            result = BuildPlugin(r, [&](int, const QString& step) {
                if (step.startsWith("Packing"))
                    stop.request();
                m_steps << step;
            });
        });
        worker.join();
        const auto expected = ending == "built"    ? BuildResult::Status::Done
                              : ending == "failed" ? BuildResult::Status::Failed
                                                   : BuildResult::Status::Stopped;
        QVERIFY2(result.status == expected, qPrintable(result.description));
        QVERIFY2(m_steps.join('\n').contains("Staged the site: 8 by hard link"),
                 qPrintable(m_steps.join('\n')));
        QVERIFY(originals(m_site) == site);
        QVERIFY(originals(m_template) == templ);
        QCOMPARE(QDir(m_output).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 ending == "built" ? QStringList{"myplugin.zip"} : QStringList{});
    }

    // A site on another file system cannot be linked into the output folder: it is copied, and
    // the plugin is the same either way.
    void aSiteOnAnotherFileSystemIsCopied()
    {
        const QString shm = QStringLiteral("/dev/shm");
        if (!QFileInfo(shm).isDir() || !QFileInfo(shm).isWritable() ||
            QStorageInfo(shm).device() == QStorageInfo(m_output).device())
            QSKIP("no other file system at /dev/shm to put the site on");
        QTemporaryDir elsewhere(shm + "/vantor-staging-XXXXXX");
        const QString copy = elsewhere.filePath("site");
        support::MortarFile::CopyFolder(m_site, copy);

        const BuildResult linked = BuildPlugin(request(), recordSteps());
        QVERIFY2(linked.ok(), qPrintable(linked.description));
        QVERIFY(m_steps.join('\n').contains("Staged the site: 8 by hard link"));
        QVERIFY(QFile::rename(linked.archivePath, m_tmp.filePath("linked.zip")));

        BuildRequest r = request();
        r.siteFolder = copy;
        r.frontPage = copy + "/index.html";
        r.downloadPage = copy + "/download.html";
        const BuildResult copied = BuildPlugin(r, recordSteps());
        QVERIFY2(copied.ok(), qPrintable(copied.description));
        QVERIFY2(m_steps.join('\n').contains("Staged the site: 8 by copying"),
                 qPrintable(m_steps.join('\n')));

        const auto a = unpacked(m_tmp.filePath("linked.zip"), m_tmp.filePath("a"));
        const auto b = unpacked(copied.archivePath, m_tmp.filePath("b"));
        QVERIFY(a.size() > 10);
        QVERIFY(a == b);
    }
};

QTEST_GUILESS_MAIN(StagingTest)
#include "staging_test.moc"
