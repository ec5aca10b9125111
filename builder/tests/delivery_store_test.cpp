#include "builder/build_plugin.h"
#include "builder/delivery_store.h"
#include "support/io_error.h"
#include "tests/support/example_request.h"
#include "tests/support/test_files.h"

#include <QCryptographicHash>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

using namespace builder;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

QByteArray randomBytes(QRandomGenerator& random, qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (char& c : bytes)
        c = char(random.bounded(256));
    return bytes;
}

// File names made of what could end or open a PHP string or tag, line breaks and other control
// characters, and letters outside ASCII; a few fixed ones, the rest drawn with a fixed seed.
QStringList hostileNames(int count)
{
    static const QStringList pieces = {"'", "\"",   "\\",   "\\'", "?>", "<?php", " ", "\t", "\r",    "\n",
                                       "$", "{$x}", "é",    "€",   "😀",  "%",     "#", "&",  ";",     "*/",
                                       "|", "\x01", "\x7f", "a",   "Z",  "0",     ".", "(",  "\u0085"};
    QStringList names = {"f'.bin",           "f\\.bin",
                         "f\\\\'.bin",       "f' ?> <?php echo 1; ?>.bin",
                         "f\n\r\t.bin",      "f" + QString(200, u'x') + ".bin",
                         "sub dir/é'q\\.bin"};
    QRandomGenerator random(4217);
    while (names.size() < count) {
        QString name = "f";
        for (int n = 1 + random.bounded(12); n > 0; --n)
            name += pieces[random.bounded(int(pieces.size()))];
        if (!names.contains(name + ".bin"))
            names << name + ".bin";
    }
    return names;
}

// What PHP makes of a PHP file (php's output with short tags off and on, which must agree).
QByteArray runPhp(const QString& php, const QStringList& args, QString* problem)
{
    QByteArray out;
    for (const char* shortTags : {"Off", "On"}) {
        QProcess p;
        p.start(php, QStringList{"-d", QStringLiteral("short_open_tag=") + QLatin1String(shortTags)} + args);
        if (!p.waitForFinished(60000) || p.exitCode() != 0) {
            *problem = QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
            return {};
        }
        const QByteArray got = p.readAllStandardOutput();
        if (qstrcmp(shortTags, "On") == 0 && got != out)
            *problem = QStringLiteral("short_open_tag changes what PHP reads");
        out = got;
    }
    return out;
}

QByteArray hexLines(const QStringList& names)
{
    QByteArray lines;
    for (const QString& name : names)
        lines += name.toUtf8().toHex() + '\n';
    return lines;
}

} // namespace

class DeliveryStoreTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_tmp;
    QString m_php;

private slots:
    void initTestCase()
    {
        QVERIFY(m_tmp.isValid());
        m_php = QStandardPaths::findExecutable("php");
    }

    // The stored file is the guard and then the file's bytes exactly, whatever their size against
    // the copy's chunks; size and SHA-256 are the file's own.
    void storedFileIsTheGuardThenTheBytes_data()
    {
        QTest::addColumn<qsizetype>("size");
        const qsizetype chunk = 1 << 20;
        for (qsizetype size : {qsizetype(0), qsizetype(1), chunk - 1, chunk, chunk + 1, 2 * chunk + 7})
            QTest::addRow("%lld bytes", qlonglong(size)) << size;
    }
    void storedFileIsTheGuardThenTheBytes()
    {
        QFETCH(qsizetype, size);
        QRandomGenerator random{quint32(size)};
        const QByteArray bytes = randomBytes(random, size);
        const QString source = m_tmp.filePath("source.bin");
        const QString store = m_tmp.filePath(QStringLiteral("store-%1").arg(size));
        writeFile(source, bytes);
        QVERIFY(QDir().mkpath(store));

        const StoredFile first = StoreDeliveryFile(source, "files/source.bin", store);
        const StoredFile second = StoreDeliveryFile(source, "files/source.bin", store);
        QCOMPARE(first.name, QString("files/source.bin"));
        QVERIFY2(QRegularExpression("^[0-9a-f]{32}\\.php$").match(first.storedName).hasMatch(),
                 qPrintable(first.storedName));
        QVERIFY(first.storedName != second.storedName);
        QCOMPARE(first.size, qint64(size));
        QCOMPARE(first.guardLength, qint64(sizeof kStoreGuard - 1));
        QCOMPARE(first.sha256, QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
        QCOMPARE(readFile(QDir(store).filePath(first.storedName)), QByteArray(kStoreGuard) + bytes);
        QCOMPARE(readFile(source), bytes);
    }

    // A file that cannot be read or a store that cannot be written ends the build with an error
    // that names the file, never with a stored file cut short.
    void storeFailuresAreReported()
    {
        const QString store = m_tmp.filePath("store-failures");
        QVERIFY(QDir().mkpath(store));
        writeFile(m_tmp.filePath("readable.bin"), "bytes");
        const QList<std::pair<QString, QString>> cases = {
            {m_tmp.filePath("missing.bin"), store},
            {store, store}, // a folder where the file should be
            {m_tmp.filePath("readable.bin"), m_tmp.filePath("no-such-store")},
        };
        for (const auto& [source, folder] : cases) {
            try {
                StoreDeliveryFile(source, "files/x.bin", folder);
                QFAIL(qPrintable("no error for " + source + " into " + folder));
            } catch (const support::IoError& e) {
                QVERIFY2(e.description().contains(source) || e.description().contains(folder),
                         qPrintable(e.description()));
            }
        }
    }

    // Whatever a name holds, PHP reads the manifest back as exactly the names given, in their order,
    // with each file's stored place, guard length, size and hash; the file lints with short tags on
    // and off.
    void manifestReadsBackAsTheNamesGiven()
    {
        if (m_php.isEmpty())
            QSKIP("php-cli is not installed");
        const QStringList names = hostileNames(300);
        QList<StoredFile> files;
        for (int i = 0; i < names.size(); ++i)
            files << StoredFile{names[i], QStringLiteral("%1.php").arg(i, 32, 16, QLatin1Char('0')), 30,
                                qint64(i) * 1000003,
                                QByteArray::number(i * 7919, 16).rightJustified(64, '0')};
        const QString manifest = m_tmp.filePath("delivery.php");
        writeFile(manifest, DeliveryManifest(files));
        QString problem;
        const QByteArray lint = runPhp(m_php, {"-l", manifest}, &problem);
        QVERIFY2(problem.isEmpty() && lint.contains("No syntax errors"), qPrintable(problem));

        const QByteArray read = runPhp(m_php,
                                       {"-r",
                                        "define('ABSPATH', '/'); $m = include $argv[1];"
                                        "foreach ($m['files'] as $i => $n) { $s = $m['stored'][$i];"
                                        " echo bin2hex($n), ' ', $s['file'], ' ', $s['offset'], ' ', "
                                        "$s['size'], ' ', $s['sha256'], \"\\n\"; }"
                                        "echo count($m), ' ', count($m['stored']), \"\\n\";",
                                        manifest},
                                       &problem);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        QByteArray expected;
        for (const StoredFile& f : files) {
            expected += f.name.toUtf8().toHex() + ' ' + QByteArray(kStoreFolder) + '/' +
                        f.storedName.toUtf8() + ' ' + QByteArray::number(f.guardLength) + ' ' +
                        QByteArray::number(f.size) + ' ' + f.sha256 + '\n';
        }
        expected += "2 " + QByteArray::number(files.size()) + '\n';
        QCOMPARE(read, expected);
    }

    // Such names go through a whole build: the plugin lists them in the page's order and hands
    // out each file's own bytes from where its list says, and no stored file prints anything when
    // PHP runs it.
    void hostileNamesGoThroughTheBuild()
    {
        if (m_php.isEmpty())
            QSKIP("php-cli is not installed");
        const QString site = m_tmp.filePath("site");
        testsupport::writeSmallSite(site);
        const QStringList names = hostileNames(60);
        QRandomGenerator random(99);
        QMap<QString, QByteArray> contents;
        for (const QString& name : names) {
            contents[name] = randomBytes(random, random.bounded(5000));
            writeFile(QDir(site).filePath(name), contents[name]);
        }
        // The first two are linked from the download page, percent-encoded; the rest are named.
        QByteArray links;
        for (const QString& name : names.first(2))
            links += "<a href=\"" + QUrl::toPercentEncoding(name, "/") + "\">x</a>";
        writeFile(site + "/download.html", "<html><body>" + links + "#BACK#</body></html>");
        QVERIFY(QDir().mkpath(m_tmp.filePath("out")));
        BuildRequest r = testsupport::exampleRequest(site, m_tmp.filePath("out"));
        r.deliver = names.mid(2);
        r.keepPublic = QStringList{"files/guide.pdf"};
        const BuildResult result = BuildPlugin(r);
        QVERIFY2(result.ok(), qPrintable(result.description));
        QStringList expected = names.mid(2);
        expected.sort();
        expected = names.first(2) + expected;
        QCOMPARE(result.delivered, expected);

        const QString x = m_tmp.filePath("x");
        QVERIFY(testsupport::extract(result.archivePath, x));
        const QString modules = x + "/p4217/modules";
        writeFile(m_tmp.filePath("names.txt"), hexLines(expected));
        QString problem;
        const QByteArray lint = runPhp(m_php, {"-l", modules + "/delivery.php"}, &problem);
        QVERIFY2(problem.isEmpty() && lint.contains("No syntax errors"), qPrintable(problem));
        // As the plugin reads a file: looked up by name, its bytes after the guard.
        const QByteArray read = runPhp(
            m_php,
            {"-r",
             "define('ABSPATH', '/'); function add_action() {} require $argv[1];"
             "echo implode(' ', array_map('bin2hex', p4217_delivery()['files'])), \"\\n\";"
             "foreach (file($argv[2], FILE_IGNORE_NEW_LINES) as $hex) { $f = "
             "p4217_delivery_file(hex2bin($hex));"
             " $all = file_get_contents($f['path']); $own = substr($all, $f['offset']);"
             " echo strlen($all) === $f['offset'] + $f['size'] ? 'whole' : 'cut', ' ', hash('sha256', $own),"
             " ' ', $f['sha256'], ' ', bin2hex($own), \"\\n\"; }",
             modules + "/delivery-store.php", m_tmp.filePath("names.txt")},
            &problem);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        QByteArray want = hexLines(expected).replace('\n', ' ').trimmed() + '\n';
        for (const QString& name : expected) {
            const QByteArray hash =
                QCryptographicHash::hash(contents[name], QCryptographicHash::Sha256).toHex();
            want += "whole " + hash + ' ' + hash + ' ' + contents[name].toHex() + '\n';
        }
        QCOMPARE(read, want);

        const QStringList stored = QDir(modules + "/" + kStoreFolder).entryList(QDir::Files | QDir::Hidden);
        QCOMPARE(stored.size(), expected.size() + 2);
        for (const QString& file : stored) {
            if (file == ".htaccess")
                continue;
            QVERIFY2(runPhp(m_php, {modules + "/" + kStoreFolder + "/" + file}, &problem).isEmpty() &&
                         problem.isEmpty(),
                     qPrintable(file + ": " + problem));
        }
    }

    // A lean plugin holds none of the delivery files' bytes, yet its manifest lists each with the
    // size, hash and stored name that the list beside the ZIP gives; a full build of the same site
    // writes no list, and removes one a lean build left.
    void leanPluginListsTheFilesItLeavesOut()
    {
        if (m_php.isEmpty())
            QSKIP("php-cli is not installed");
        const QString site = m_tmp.filePath("lean-site");
        testsupport::writeSmallSite(site);
        QRandomGenerator random(7);
        const QMap<QString, QByteArray> contents = {{"files/big.bin", randomBytes(random, 3 * (1 << 20) + 5)},
                                                    {"files/empty.txt", QByteArray()},
                                                    {"files/é'q.zip", randomBytes(random, 999)}};
        for (auto it = contents.begin(); it != contents.end(); ++it)
            writeFile(QDir(site).filePath(it.key()), it.value());
        const QString out = m_tmp.filePath("lean-out");
        QVERIFY(QDir().mkpath(out));
        BuildRequest r = testsupport::exampleRequest(site, out);
        r.deliver = contents.keys();
        r.keepPublic = QStringList{"files/guide.pdf"};
        const BuildResult full = BuildPlugin(r);
        QVERIFY2(full.ok(), qPrintable(full.description));
        QVERIFY(full.deliveryListPath.isEmpty());
        QVERIFY(!QFileInfo::exists(out + "/myplugin-delivery.json"));
        const qint64 fullSize = QFileInfo(full.archivePath).size();

        r.leanDelivery = true;
        const BuildResult lean = BuildPlugin(r);
        QVERIFY2(lean.ok(), qPrintable(lean.description));
        QCOMPARE(lean.deliveryListPath, QDir(out).filePath("myplugin-delivery.json"));
        QVERIFY2(QFileInfo(lean.archivePath).size() < fullSize - 3 * (1 << 20),
                 "the bytes are still in the ZIP");
        const QStringList delivered = lean.delivered;
        QCOMPARE(delivered.size(), contents.size());

        const QJsonArray listed = QJsonDocument::fromJson(readFile(lean.deliveryListPath))["files"].toArray();
        QCOMPARE(listed.size(), delivered.size());
        const QString x = m_tmp.filePath("lean-x");
        QVERIFY(testsupport::extract(lean.archivePath, x));
        const QString modules = x + "/p4217/modules";
        QCOMPARE(QDir(modules + "/" + kStoreFolder).entryList(QDir::Files | QDir::Hidden),
                 QStringList({".htaccess", "index.php"}));
        for (const QString& name : delivered)
            QVERIFY2(!QFileInfo::exists(QDir(modules + "/template").filePath(name)), qPrintable(name));

        QString problem;
        const QByteArray read = runPhp(m_php,
                                       {"-r",
                                        "define('ABSPATH', '/'); $m = include $argv[1];"
                                        "foreach ($m['files'] as $i => $n) { $s = $m['stored'][$i];"
                                        " echo $n, ' ', basename($s['file']), ' ', $s['offset'], ' ', "
                                        "$s['size'], ' ', $s['sha256'], \"\\n\"; }",
                                        modules + "/delivery.php"},
                                       &problem);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        QByteArray fromList;
        QByteArray expected;
        for (int i = 0; i < listed.size(); ++i) {
            const QJsonObject f = listed[i].toObject();
            QCOMPARE(f["name"].toString(), delivered[i]);
            fromList += f["name"].toString().toUtf8() + ' ' + f["stored"].toString().toUtf8() + ' ' +
                        QByteArray::number(sizeof kStoreGuard - 1) + ' ' +
                        QByteArray::number(qint64(f["size"].toDouble())) + ' ' +
                        f["sha256"].toString().toUtf8() + '\n';
            const QByteArray& bytes = contents[delivered[i]];
            expected += delivered[i].toUtf8() + ' ' + f["stored"].toString().toUtf8() + ' ' +
                        QByteArray::number(sizeof kStoreGuard - 1) + ' ' + QByteArray::number(bytes.size()) +
                        ' ' + QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex() + '\n';
        }
        QCOMPARE(read, fromList);
        QCOMPARE(read, expected);

        // Built whole again, the plugin holds its files, and the lean build's list is gone.
        r.leanDelivery = false;
        const BuildResult again = BuildPlugin(r);
        QVERIFY2(again.ok(), qPrintable(again.description));
        QVERIFY(!QFileInfo::exists(lean.deliveryListPath));
        QVERIFY(again.deliveryListPath.isEmpty());
    }
};

QTEST_GUILESS_MAIN(DeliveryStoreTest)
#include "delivery_store_test.moc"
