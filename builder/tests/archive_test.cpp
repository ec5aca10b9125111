// What the archive stores and what it deflates: the content sniffing on the first bytes of real
// files and their near misses, and the archives 7za makes of a folder with both kinds in it.

#include "builder/archiver.h"
#include "builder/compressed_content.h"
#include "support/io_error.h"

#include "tests/support/test_files.h"

#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <unistd.h>

using namespace builder;
using namespace testsupport;

namespace {

// The first 32 bytes of files that ImageMagick, ffmpeg, gzip and 7za made.
const char* const kAvif = "0000001c667479706176696600000000617669666d6966316d696166000000ea";
const char* const kMp4 = "000000206674797069736f6d0000020069736f6d69736f32617663316d703431";
const char* const kMov = "0000001466747970717420200000020071742020000000087769646500000784";
const char* const kJpeg = "ffd8ffe000104a46494600010100000100010000ffdb00430003020202020203";
const char* const kPng = "89504e470d0a1a0a0000000d4948445200000010000000100103000000253d6d";

QByteArray hex(const char* digits)
{
    return QByteArray::fromHex(digits);
}

// A JPEG: its JFIF segment, metadata (an APP1 segment of text), then the scan.
QByteArray jpeg(qsizetype metadata, qsizetype scan)
{
    QByteArray app1 = "\xFF\xE1" + QByteArray(2, 0) + QByteArray("Exif text ").repeated(metadata / 10);
    app1[2] = char((app1.size() - 2) >> 8);
    app1[3] = char(app1.size() - 2);
    return hex(kJpeg).first(20) + app1 + hex("ffda000c03010002110311003f00") + noise(scan);
}

void writeRaw(const QString& folder, const QByteArray& name, const QByteArray& bytes)
{
    QDir().mkpath(folder);
    const QByteArray path = QFile::encodeName(folder) + '/' + name;
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    QVERIFY2(fd >= 0, path.constData());
    QCOMPARE(::write(fd, bytes.constData(), size_t(bytes.size())), ssize_t(bytes.size()));
    ::close(fd);
}

// Each entry's path (as the listing's bytes, where 7za shows a line break as "_") and its method,
// from 7za's technical listing.
QMap<QByteArray, QByteArray> methods(const QString& zip)
{
    QProcess p;
    p.start(archiverPath(), {"l", "-slt", "--", zip});
    p.waitForFinished(60000);
    QMap<QByteArray, QByteArray> found;
    QByteArray path;
    const QByteArray listing = p.readAllStandardOutput();
    for (const QByteArray& line : listing.mid(listing.indexOf("----------")).split('\n')) {
        if (line.startsWith("Path = "))
            path = line.mid(7);
        else if (line.startsWith("Method = "))
            found.insert(path, line.mid(9));
    }
    return found;
}

} // namespace

class ArchiveTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_tmp{QDir::tempPath() + "/vantor archive XXXXXX"};

private slots:
    // QDir cannot remove names that are not UTF-8.
    void cleanupTestCase() { QProcess::execute("rm", {"-rf", m_tmp.path()}); }

    void sniffing_data()
    {
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<bool>("compressed");
        QTest::newRow("JPEG") << hex(kJpeg) << true;
        QTest::newRow("PNG") << hex(kPng) << true;
        QTest::newRow("GIF") << hex("47494638396110001000f00000ff000000000021f904") << true;
        QTest::newRow("WebP") << hex("524946463c000000574542505650382030000000d001") << true;
        QTest::newRow("AVIF") << hex(kAvif) << true;
        QTest::newRow("MP4") << hex(kMp4) << true;
        QTest::newRow("MOV") << hex(kMov) << true;
        QTest::newRow("M4V") << hex("00000020667479704d345620000002004d34562069736f6d") << true;
        QTest::newRow("M4A") << hex("0000001c667479704d344120000002004d344120") << true;
        QTest::newRow("WebM") << hex("1a45dfa39f4286810142f7810142f2810442f3810842") << true;
        QTest::newRow("MP3 with ID3 tag") << hex("49443304000000000023545353450000000f") << true;
        QTest::newRow("MP3 frame") << hex("fffb50c400000a2c432e55948001811566233ad0") << true;
        QTest::newRow("Ogg") << hex("4f676753000200000000000000008c3cce51") << true;
        QTest::newRow("ZIP") << hex("504b03040a000000000063bb875d7a7a6fed03") << true;
        QTest::newRow("empty ZIP") << hex("504b0506000000000000000000000000000000000000") << true;
        QTest::newRow("gzip") << hex("1f8b0808c840176b0003742e74787400cbc8e402") << true;
        QTest::newRow("7z") << hex("377abcaf271c0004aa515ce40700000000000000") << true;
        QTest::newRow("RAR 4") << QByteArray("Rar!\x1A\x07\x00\xCF\x90\x73\x00\x00", 12) << true;
        QTest::newRow("RAR 5") << QByteArray("Rar!\x1A\x07\x01\x00\x33\x92\xB5\xE5", 12) << true;
        QTest::newRow("WOFF2") << QByteArray("wOF2\x00\x01\x00\x00\x00\x00\x1D\x3C", 12) << true;
        QTest::newRow("JPEG behind a PHP guard")
            << QByteArray("<?php exit; __halt_compiler();\n") + hex(kJpeg) << true;
        QTest::newRow("MP4 behind a closing tag") << QByteArray("<?php exit; ?>\r\n") + hex(kMp4) << true;

        QTest::newRow("empty file") << QByteArray() << false;
        QTest::newRow("text") << QByteArray("<html><body>page</body></html>") << false;
        QTest::newRow("JPEG cut short") << hex("ffd8") << false;
        QTest::newRow("PNG cut short") << hex("89504e470d0a1a") << false;
        QTest::newRow("PNG's line ends mangled") << hex("89504e470d0a0a0000000d49484452") << false;
        QTest::newRow("WAV is RIFF but not WebP") << QByteArray("RIFF\x24\x08\x00\x00WAVEfmt ", 16) << false;
        QTest::newRow("ftyp of an unknown brand") << hex("0000001866747970787878780000000078787878") << false;
        QTest::newRow("ftyp box too short") << hex("0000000866747970") << false;
        QTest::newRow("ftyp only") << QByteArray("ftyp") << false;
        QTest::newRow("0xFF bytes, no MPEG frame") << hex("ffffffffffffffff") << false;
        QTest::newRow("MPEG sync, reserved version") << hex("ffebc400") << false;
        QTest::newRow("gzip without deflate") << hex("1f8b0008") << false;
        QTest::newRow("PK but no ZIP record") << QByteArray("PK is a text") << false;
        QTest::newRow("WOFF 1 (not in the list)") << QByteArray("wOFF\x00\x01\x00\x00", 8) << false;
        QTest::newRow("PHP file") << QByteArray("<?php echo 'hi'; ?>\n<p>text</p>") << false;
        QTest::newRow("PHP guard, then text") << QByteArray("<?php exit; __halt_compiler();\nplain") << false;
        QTest::newRow("PHP without end") << QByteArray("<?php\n") + hex(kJpeg) << false;
        QTest::newRow("JPEG magic later in the file") << QByteArray("x") + hex(kJpeg) << false;
    }

    void sniffing()
    {
        QFETCH(QByteArray, head);
        QFETCH(bool, compressed);
        QCOMPARE(IsAlreadyCompressed(head), compressed);
    }

    void jpegHeader_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<qsizetype>("length");
        QTest::newRow("JFIF and 1000 bytes of metadata") << jpeg(1000, 100) << qsizetype(20 + 4 + 1000);
        QTest::newRow("fill byte before the scan") << hex("ffd8ffe0000401aaffffda000c") << qsizetype(9);
        QTest::newRow("scan beyond the bytes given") << jpeg(1000, 100).first(600) << qsizetype(-1);
        QTest::newRow("segment length off by one") << hex("ffd8ffe0000301aaffda000c") << qsizetype(-1);
        QTest::newRow("segment length below 2") << hex("ffd8ffe00001ffda000c") << qsizetype(-1);
        QTest::newRow("only the start marker") << hex("ffd8") << qsizetype(-1);
    }

    void jpegHeader()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(qsizetype, length);
        QCOMPARE(JpegHeaderLength(bytes), length);
    }

    void shrinking_data()
    {
        QTest::addColumn<QByteArray>("sample");
        QTest::addColumn<bool>("shrinks");
        QTest::newRow("noise") << noise(48 * 1024) << false;
        QTest::newRow("noise with 1% of zeros") << noise(48 * 1024) + QByteArray(480, 0) << false;
        QTest::newRow("noise with 5% of zeros") << noise(48 * 1024) + QByteArray(2400, 0) << true;
        QTest::newRow("text") << QByteArray("body { color: red; }\n").repeated(100) << true;
        QTest::newRow("nothing") << QByteArray() << false;
    }

    void shrinking()
    {
        QFETCH(QByteArray, sample);
        QFETCH(bool, shrinks);
        QCOMPARE(ShrinksWhenDeflated(sample), shrinks);
    }

    // Stored and deflated by content whatever the name says, under names that 7za could take for
    // switches or patterns; a JPEG heavy with metadata and a loosely packed PNG are deflated. Every
    // file comes back byte for byte. The old layout deflates them all.
    void entriesAreStoredOrDeflatedByContent_data()
    {
        QTest::addColumn<bool>("compat");
        QTest::newRow("stored by content") << false;
        QTest::newRow("--archive-compat") << true;
    }

    void entriesAreStoredOrDeflatedByContent()
    {
        QFETCH(bool, compat);
        const QString work = m_tmp.filePath(compat ? "compat" : "new");
        const QString plugin = work + "/p4217";
        const QByteArray text = QByteArray("body { color: red; }\n").repeated(200);
        const QByteArray photo = jpeg(100, 4000);
        const QByteArray mp4 = hex(kMp4) + noise(70'000, 2); // sampled in three places
        const QList<std::tuple<QByteArray, QByteArray, bool>> files = {
            {"style.css", text, false},
            {"images/photo.jpg", photo, true},
            {"images/-mx9 *.png", hex(kPng) + noise(3000, 3), true},
            {"images/say \"hi\".jpg", photo, true},
            {"images/much metadata.jpg", jpeg(1000, 4000), false},
            {"images/loose.png", hex(kPng) + QByteArray(3000, 'p'), false},
            {"images/bad\xE9name.mp4", mp4, true},
            {"images/new\nline.css", text, false},
            {"media/film.txt", mp4, true}, // an MP4 named as text
            // Its start looks packed, its inside is text: what the samples from inside show.
            {"media/text inside.mp4", hex(kMp4) + noise(20'000, 4) + text.repeated(15), false},
            {"media/notes.jpg", text, false}, // a text named as JPEG
            {"media/-r", text, false},
            {"media/@list.txt", photo, true},
            {"empty", {}, false},
        };
        for (const auto& [name, bytes, stored] : files) {
            const int slash = name.lastIndexOf('/');
            writeRaw(slash < 0 ? plugin : plugin + '/' + QString::fromUtf8(name.left(slash)),
                     name.mid(slash + 1), bytes);
        }
        QDir().mkpath(plugin + "/empty folder");

        const QString zip = work + "/out.zip";
        const PackedFolder packed =
            PackFolder(archiverPath(), zip, work, "p4217",
                       compat ? ArchiveLayout::DeflateAll : ArchiveLayout::StoreCompressed);
        QCOMPARE(packed.storedFiles, compat ? 0 : 6);
        QCOMPARE(packed.deflatedFiles, compat ? 14 : 8);

        const QMap<QByteArray, QByteArray> listed = methods(zip);
        QVERIFY(listed.contains("p4217/empty folder"));
        for (const auto& [name, bytes, stored] : files) {
            const QByteArray method = listed.value("p4217/" + QByteArray(name).replace('\n', '_'));
            if (bytes.isEmpty())
                QVERIFY2(!method.isEmpty(), name.constData());
            else if (stored && !compat)
                QVERIFY2(method == "Store", name.constData());
            else if (!stored) // 7za itself may store what does not shrink
                QVERIFY2(method.startsWith("Deflate"), name.constData());
        }
        const QString out = work + "/x";
        QVERIFY(extract(zip, out));
        for (const auto& [name, bytes, stored] : files) {
            // By its bytes: a name that is not UTF-8 does not survive a QString.
            const QByteArray path = QFile::encodeName(out) + "/p4217/" + name;
            QFile f;
            QVERIFY2(
                f.open(::open(path.constData(), O_RDONLY), QIODevice::ReadOnly, QFileDevice::AutoCloseHandle),
                name.constData());
            QVERIFY2(f.readAll() == bytes, name.constData());
        }
        QVERIFY(QFileInfo(out + "/p4217/empty folder").isDir());
    }

    // An archiver named by a path relative to where the program started is found there, not in
    // the working folder the archiver runs in.
    void relativeArchiverPath()
    {
        const QString work = m_tmp.filePath("relative");
        writeRaw(work + "/p1", "page.html", QByteArray("<p>text</p>\n").repeated(100));
        const QString started = QDir::currentPath();
        QVERIFY(QDir::setCurrent(QFileInfo(archiverPath()).absolutePath()));
        const QString relative = "./" + QFileInfo(archiverPath()).fileName();
        try {
            PackFolder(relative, work + "/out.zip", work, "p1", ArchiveLayout::StoreCompressed);
        } catch (const support::IoError& e) {
            QDir::setCurrent(started);
            QFAIL(qPrintable(e.description()));
        }
        QDir::setCurrent(started);
        QCOMPARE(methods(work + "/out.zip").value("p1/page.html").left(7), QByteArray("Deflate"));
    }

    // Only the stored set: the first call has folders and nothing else to deflate.
    void onlyCompressedFiles()
    {
        const QString work = m_tmp.filePath("media only");
        writeRaw(work + "/p1/a", "x.png", hex(kPng) + noise(100));
        writeRaw(work + "/p1/b", "y.mov", hex(kMov) + noise(100'000));
        const QString zip = work + "/out.zip";
        const PackedFolder packed =
            PackFolder(archiverPath(), zip, work, "p1", ArchiveLayout::StoreCompressed);
        QCOMPARE(packed.storedFiles, 2);
        const QMap<QByteArray, QByteArray> listed = methods(zip);
        QCOMPARE(listed.value("p1/a/x.png"), QByteArray("Store"));
        QCOMPARE(listed.value("p1/b/y.mov"), QByteArray("Store"));
    }
};

QTEST_GUILESS_MAIN(ArchiveTest)
#include "archive_test.moc"
