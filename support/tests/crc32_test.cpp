// The fast CRC-32 against zlib's: every length around the block sizes, pieces split anywhere,
// unaligned starts, and the check value of the format.

#include "support/crc32.h"

#include "tests/support/test_files.h"

#include <QRandomGenerator>
#include <QTest>

using support::Crc32;
using support::Crc32Portable;
using testsupport::noise;

class Crc32Test : public QObject
{
    Q_OBJECT

private slots:
    void checkValue()
    {
        QCOMPARE(Crc32(0, "123456789"), 0xCBF43926u);
        QCOMPARE(Crc32(0, {}), 0u);
        const QByteArray zeros(4096, '\0');
        QCOMPARE(Crc32(0, zeros), Crc32Portable(0, zeros));
        const QByteArray ones(4096, '\xFF');
        QCOMPARE(Crc32(0, ones), Crc32Portable(0, ones));
    }

    // Lengths 0..600 (the 16- and 64-byte steps and their remainders), and larger ones, from
    // every start offset within a 16-byte line.
    void matchesZlibAtEveryLength()
    {
        const QByteArray bytes = noise(70'000, 7);
        for (qsizetype start = 0; start < 16; ++start) {
            for (qsizetype length = 0; length <= 600; ++length) {
                const QByteArrayView piece(bytes.constData() + start, length);
                QCOMPARE(Crc32(0, piece), Crc32Portable(0, piece));
            }
            for (qsizetype length : {1023, 1024, 4097, 65'536, 69'983}) {
                const QByteArrayView piece(bytes.constData() + start, length);
                QCOMPARE(Crc32(0, piece), Crc32Portable(0, piece));
            }
        }
    }

    // A file read in pieces of any size gives the CRC of the whole.
    void continuesAcrossPieces()
    {
        QRandomGenerator random(11);
        for (int round = 0; round < 200; ++round) {
            const QByteArray bytes = noise(qsizetype(random.bounded(1, 20'000)), quint32(round));
            const std::uint32_t whole = Crc32Portable(0, bytes);
            std::uint32_t crc = 0;
            for (qsizetype at = 0; at < bytes.size();) {
                const qsizetype n = std::min<qsizetype>(bytes.size() - at, random.bounded(1, 3000));
                crc = Crc32(crc, QByteArrayView(bytes).sliced(at, n));
                at += n;
            }
            QCOMPARE(crc, whole);
        }
    }
};

QTEST_GUILESS_MAIN(Crc32Test)
#include "crc32_test.moc"
