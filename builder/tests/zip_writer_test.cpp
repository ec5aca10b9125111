// The ZIP writer of stored entries: what it writes, alone and joined with an archive 7za made,
// read back by three other readers (7za, Python's zipfile and PHP's ZipArchive, which WordPress
// uses), with the plain records and with the 64-bit ones forced on a small archive; and what it
// refuses.

#include "builder/build_stop.h"
#include "builder/zip_writer.h"
#include "support/io_error.h"

#include "tests/support/test_files.h"

#include <QCryptographicHash>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <fstream>

using namespace builder;
using namespace testsupport;

namespace {

// Writes bytes under a name that may not be UTF-8.
std::filesystem::path writeRaw(const QString& folder, const QByteArray& name, const QByteArray& bytes)
{
    const std::filesystem::path path =
        std::filesystem::path(QFile::encodeName(folder).toStdString()) / name.toStdString();
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary).write(bytes.constData(), bytes.size());
    return path;
}

QByteArray run(const QString& program, const QStringList& arguments, bool* ok)
{
    QProcess p;
    p.start(program, arguments);
    *ok = p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    if (!*ok)
        qWarning().noquote() << program << p.readAllStandardError();
    return p.readAllStandardOutput();
}

// Every entry as Python's zipfile reads it, with the CRC of its bytes checked by zipfile itself:
// name (hex) -> {method, flags, bytes (hex of SHA-256)}.
QJsonObject pythonListing(const QString& zip)
{
    const char* script = R"(
import hashlib, json, sys, zipfile
out = {}
with zipfile.ZipFile(sys.argv[1]) as z:
    bad = z.testzip()
    if bad is not None:
        sys.exit('CRC mismatch in ' + bad)
    for i in z.infolist():
        raw = i.orig_filename.encode('utf-8' if i.flag_bits & 0x800 else 'cp437')
        out[raw.hex()] = {'method': i.compress_type, 'flags': i.flag_bits,
                          'sha': hashlib.sha256(z.read(i)).hexdigest()}
print(json.dumps(out))
)";
    bool ok = false;
    const QByteArray listing = run("python3", {"-c", script, zip}, &ok);
    if (!ok)
        return {};
    return QJsonDocument::fromJson(listing).object();
}

// The entries' names and SHA-256 as PHP's ZipArchive reads them.
QMap<QByteArray, QByteArray> phpListing(const QString& zip)
{
    const char* script = R"(
$z = new ZipArchive();
if ($z->open($argv[1], ZipArchive::CHECKCONS) !== true) { exit(1); }
for ($i = 0; $i < $z->numFiles; $i++) {
    $name = $z->getNameIndex($i, ZipArchive::FL_ENC_RAW);
    $bytes = $z->getFromIndex($i);
    if ($bytes === false) { exit(2); }
    echo bin2hex($name), ' ', hash('sha256', $bytes), "\n";
}
)";
    bool ok = false;
    const QByteArray listing = run("php", {"-r", script, zip}, &ok);
    QMap<QByteArray, QByteArray> found;
    for (const QByteArray& line : listing.split('\n')) {
        if (ok && !line.isEmpty())
            found.insert(QByteArray::fromHex(line.split(' ').value(0)), line.split(' ').value(1));
    }
    return found;
}

QByteArray sha(const QByteArray& bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

} // namespace

class ZipWriterTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_tmp{QDir::tempPath() + "/vantor zip XXXXXX"};

private slots:
    void cleanupTestCase() { QProcess::execute("rm", {"-rf", m_tmp.path()}); }

    // Stored files (names in UTF-8, not in UTF-8, in folders; empty; larger than the copy's
    // pieces) joined with what 7za deflated, folders included; with the plain records and with
    // the 64-bit ones forced everywhere, also in the archive taken over.
    void readersAgreeOnEveryEntry_data()
    {
        QTest::addColumn<bool>("zip64");
        QTest::addColumn<bool>("otherIsZip64");
        QTest::newRow("plain records") << false << false;
        QTest::newRow("64-bit records") << true << false;
        QTest::newRow("taking over a 64-bit archive") << false << true;
    }

    void readersAgreeOnEveryEntry()
    {
        QFETCH(bool, zip64);
        QFETCH(bool, otherIsZip64);
        const QString work = m_tmp.filePath(QTest::currentDataTag());
        const QList<std::pair<QByteArray, QByteArray>> stored = {
            {"p/images/photo.jpg", noise(3'000'000, 1)},
            {"p/\xC3\xA9t\xC3\xA9.png", noise(100, 2)},
            {"p/bad\xE9name.mp4", noise(70'000, 3)},
            {"p/empty.gif", {}},
        };
        std::vector<StoredZipWriter::Source> sources;
        for (const auto& [name, bytes] : stored)
            sources.push_back({writeRaw(work + "/stored", name, bytes), name});

        // What 7za deflates: a page, a style sheet and an empty folder.
        writeFile(work + "/deflated/p/index.php", QByteArray("<?php echo 'page';\n").repeated(500));
        writeFile(work + "/deflated/p/css/site.css", QByteArray("body { margin: 0 }\n").repeated(300));
        QDir().mkpath(work + "/deflated/p/empty folder");
        QString other = work + "/deflated.zip";
        QProcess deflate;
        deflate.setWorkingDirectory(work + "/deflated");
        deflate.start(archiverPath(), {"a", "-tzip", "-bd", "-y", other, "--", "p"});
        QVERIFY(deflate.waitForFinished(60000) && deflate.exitCode() == 0);
        if (otherIsZip64) {
            // The same entries, passed once through a writer that uses only 64-bit records.
            const QString twice = work + "/deflated64.zip";
            StoredZipWriter again(twice, {0, 0});
            again.appendArchive(other);
            again.finish();
            other = twice;
        }

        const QString zip = work + "/out.zip";
        StoredZipWriter writer(zip, zip64 ? ZipLimits{0, 0} : ZipLimits{});
        writer.addStoredFiles(sources, 2);
        writer.appendArchive(other);
        writer.finish();

        QMap<QByteArray, QByteArray> expected;
        for (const auto& [name, bytes] : stored)
            expected.insert(name, sha(bytes));
        expected.insert("p/index.php", sha(QByteArray("<?php echo 'page';\n").repeated(500)));
        expected.insert("p/css/site.css", sha(QByteArray("body { margin: 0 }\n").repeated(300)));

        const QJsonObject python = pythonListing(zip);
        QVERIFY2(!python.isEmpty(), "Python's zipfile could not read the archive");
        for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
            const QJsonObject entry = python.value(QString::fromLatin1(it.key().toHex())).toObject();
            QVERIFY2(!entry.isEmpty(), it.key().constData());
            QCOMPARE(entry.value("sha").toString().toLatin1(), it.value());
            const bool isStored =
                std::any_of(stored.begin(), stored.end(), [&](auto& s) { return s.first == it.key(); });
            QCOMPARE(entry.value("method").toInt(), isStored ? 0 : 8);
            // Only a name in UTF-8 beyond ASCII carries the flag; the raw byte E9 does not.
            const bool utf8 = it.key().contains("\xC3\xA9");
            QCOMPARE(bool(entry.value("flags").toInt() & 0x800), utf8);
        }
        QVERIFY(python.contains(QString::fromLatin1(QByteArray("p/empty folder/").toHex())));
        QCOMPARE(python.size(), expected.size() + 3); // and the folders p/, p/css/ and p/empty folder/

        const QMap<QByteArray, QByteArray> php = phpListing(zip);
        for (auto it = expected.cbegin(); it != expected.cend(); ++it)
            QCOMPARE(php.value(it.key()), it.value());

        bool ok = false;
        const QByteArray test = run(archiverPath(), {"t", "-bd", "--", zip}, &ok);
        QVERIFY2(ok && test.contains("Everything is Ok"), test.constData());
    }

    // Bytes that are no ZIP, a ZIP cut short, and one behind a self-extracting stub are refused
    // with the reader's reason, before anything of them is copied.
    void refusesWhatIsNoPlainZip_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const QString work = m_tmp.filePath("refusals");
        writeFile(work + "/p/a.txt", "some text to deflate");
        const QString zip = work + "/good.zip";
        QProcess deflate;
        deflate.setWorkingDirectory(work);
        deflate.start(archiverPath(), {"a", "-tzip", "-bd", "-y", zip, "--", "p"});
        QVERIFY(deflate.waitForFinished(60000) && deflate.exitCode() == 0);
        const QByteArray good = readFile(zip);
        QVERIFY(good.startsWith("PK\x03\x04"));
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("text") << QByteArray("not an archive at all\n").repeated(10);
        QTest::newRow("cut short") << good.first(good.size() - 30);
        QTest::newRow("behind a stub") << QByteArray("#!/bin/sh\nexit 0\n") + good;
        // The same with every offset moved past the stub, as self-extracting archives have them:
        // readable, but its entries would not start the copied block.
        const QByteArray stub("#!/bin/sh\nexit 0\n");
        QByteArray moved = stub + good;
        const auto addTo = [&](qsizetype at, quint32 by) {
            quint32 v = 0;
            for (int i = 3; i >= 0; --i)
                v = (v << 8) | quint8(moved[at + i]);
            v += by;
            for (int i = 0; i < 4; ++i)
                moved[at + i] = char(v >> (8 * i));
        };
        const qsizetype end = moved.lastIndexOf("PK\x05\x06");
        for (qsizetype at = moved.indexOf("PK\x01\x02"); at >= 0; at = moved.indexOf("PK\x01\x02", at + 4))
            addTo(at + 42, quint32(stub.size()));
        addTo(end + 16, quint32(stub.size()));
        QTest::newRow("behind a stub, offsets moved") << moved;
        QByteArray lying = good;
        lying[lying.size() - 22 + 10] = char(0x7F); // the end record claims 127 entries
        QTest::newRow("more entries than it holds") << lying;
    }

    void refusesWhatIsNoPlainZip()
    {
        QFETCH(QByteArray, bytes);
        const QString work = m_tmp.filePath("refusals");
        const QString other = work + "/other.zip";
        writeFile(other, bytes);
        StoredZipWriter writer(work + "/out.zip");
        try {
            writer.appendArchive(other);
            QFAIL("taken over");
        } catch (const support::IoError& e) {
            QCOMPARE(e.number(), int(kZipOtherUnreadable));
            QVERIFY2(e.description().contains(other), qPrintable(e.description()));
        }
    }

    // A file whose size changes between being listed and being copied fails the archive instead
    // of leaving an entry whose sizes lie: /proc files say 0 bytes and hold more.
    void fileThatGrowsIsRefused()
    {
        StoredZipWriter writer(m_tmp.filePath("grows.zip"));
        try {
            writer.addStoredFiles({{"/proc/self/status", "status"}});
            QFAIL("packed");
        } catch (const support::IoError& e) {
            QCOMPARE(e.number(), int(kZipSourceChanged));
        }
    }

    void cancelStopsTheCopy()
    {
        const QString work = m_tmp.filePath("cancel");
        const std::filesystem::path file = writeRaw(work, "big.bin", noise(3'000'000, 9));
        StoredZipWriter writer(work + "/out.zip");
        const std::atomic<bool> cancel{true};
        QVERIFY_THROWS_EXCEPTION(BuildStopped,
                                 writer.addStoredFiles({{file, "big.bin"}, {file, "again.bin"}}, 2, &cancel));
    }
};

QTEST_GUILESS_MAIN(ZipWriterTest)
#include "zip_writer_test.moc"
