// SHA-256 by the processor's instructions and by QCryptographicHash: the published test vectors,
// every length across the block and padding boundaries from unaligned starts, and data arriving in
// pieces split anywhere.

#include "support/sha256.h"

#include "tests/support/test_files.h"

#include <QCryptographicHash>
#include <QRandomGenerator>
#include <QTest>

#include <stdexcept>

using support::Sha256;
using testsupport::noise;

namespace {

QByteArray QtHex(QByteArrayView bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

void addEngines()
{
    QTest::addColumn<Sha256::Engine>("engine");
    QTest::newRow("fastest") << Sha256::Engine::Fastest;
    QTest::newRow("portable") << Sha256::Engine::Portable;
}

} // namespace

class Sha256Test : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (!Sha256::usesShaInstructions())
            qWarning("This processor has no SHA instructions: both engines are QCryptographicHash here");
    }

    void publishedVectors_data() { addEngines(); }
    void publishedVectors()
    {
        QFETCH(Sha256::Engine, engine);
        const auto hex = [engine](QByteArrayView data) {
            Sha256 hash(engine);
            hash.addData(data);
            return hash.hexResult();
        };
        QCOMPARE(hex({}), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
        QCOMPARE(hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
        QCOMPARE(hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
                 "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
        QCOMPARE(hex("abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopq"
                     "rlmnop"
                     "qrsmnopqrstnopqrstu"),
                 "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1");

        // One million 'a', as one piece and as 1000 pieces of 1000.
        const QByteArray million(1'000'000, 'a');
        QCOMPARE(hex(million), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
        Sha256 inPieces(engine);
        for (int i = 0; i < 1000; ++i)
            inPieces.addData(QByteArrayView(million).first(1000));
        QCOMPARE(inPieces.hexResult(), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
    }

    // Lengths 0..320 take in every place the padding can fall (55/56 bytes left in the last block,
    // 63/64, one block or two of padding), plus larger ones, from starts that are not 16-aligned.
    void matchesQtAtEveryLength_data() { addEngines(); }
    void matchesQtAtEveryLength()
    {
        QFETCH(Sha256::Engine, engine);
        const QByteArray bytes = noise(70'000, 5);
        for (qsizetype start : {0, 1, 3, 8, 13}) {
            QList<qsizetype> lengths;
            for (qsizetype length = 0; length <= 320; ++length)
                lengths << length;
            lengths << 1000 << 4095 << 65'536 << 69'987;
            for (qsizetype length : lengths) {
                const QByteArrayView piece(bytes.constData() + start, length);
                Sha256 hash(engine);
                hash.addData(piece);
                QCOMPARE(hash.hexResult(), QtHex(piece));
            }
        }
    }

    // The tail kept between pieces: three pieces split at every pair of places (two where one is
    // empty) over a bit more than two blocks, and random pieces of larger data.
    void piecesSplitAnywhere()
    {
        const QByteArray bytes = noise(140, 9);
        const QByteArray whole = QtHex(bytes);
        for (qsizetype first = 0; first <= bytes.size(); ++first) {
            for (qsizetype second = first; second <= bytes.size(); ++second) {
                Sha256 hash;
                hash.addData(QByteArrayView(bytes).first(first));
                hash.addData(QByteArrayView(bytes).sliced(first, second - first));
                hash.addData(QByteArrayView(bytes).sliced(second));
                QCOMPARE(hash.hexResult(), whole);
            }
        }

        QRandomGenerator random(3);
        for (int round = 0; round < 100; ++round) {
            const QByteArray large = noise(qsizetype(random.bounded(1, 20'000)), quint32(round));
            Sha256 hash;
            for (qsizetype at = 0; at < large.size();) {
                const qsizetype n = std::min<qsizetype>(large.size() - at, random.bounded(0, 300));
                hash.addData(QByteArrayView(large).sliced(at, n));
                at += n;
            }
            QCOMPARE(hash.hexResult(), QtHex(large));
        }
    }

    // Asked twice, the digest is the same; data after it is refused rather than lost.
    void digestIsFinal_data() { addEngines(); }
    void digestIsFinal()
    {
        QFETCH(Sha256::Engine, engine);
        Sha256 hash(engine);
        hash.addData("abc");
        const QByteArray first = hash.hexResult();
        QCOMPARE(hash.hexResult(), first);
        QVERIFY_THROWS_EXCEPTION(std::logic_error, hash.addData("d"));
        QCOMPARE(hash.hexResult(), QtHex("abc"));
    }
};

QTEST_GUILESS_MAIN(Sha256Test)
#include "sha256_test.moc"
