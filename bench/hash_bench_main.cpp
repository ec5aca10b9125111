// SHA-256 speed of the delivery store's hash over a 200 MB buffer in the store's 1 MiB pieces: the
// processor's SHA instructions against QCryptographicHash. Prints MB/s (median of five runs).

#include "support/sha256.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr qsizetype kSize = 200'000'000;
constexpr qsizetype kPiece = 1 << 20;

QByteArray HashOnce(const QByteArray& data, support::Sha256::Engine engine, double& seconds)
{
    QElapsedTimer timer;
    timer.start();
    support::Sha256 hash(engine);
    for (qsizetype at = 0; at < data.size(); at += kPiece)
        hash.addData(QByteArrayView(data).sliced(at, std::min(kPiece, data.size() - at)));
    QByteArray digest = hash.hexResult();
    seconds = double(timer.nsecsElapsed()) / 1e9;
    return digest;
}

} // namespace

int main()
{
    QByteArray data(kSize, Qt::Uninitialized);
    for (qsizetype i = 0; i < kSize; ++i)
        data[i] = char(quint32(i) * 2654435761u >> 13);

    std::printf("SHA-instructions in use: %s\n", support::Sha256::usesShaInstructions() ? "yes" : "no");
    QByteArray digests[2];
    for (auto engine : {support::Sha256::Engine::Fastest, support::Sha256::Engine::Portable}) {
        std::vector<double> seconds(5);
        for (double& s : seconds)
            digests[int(engine)] = HashOnce(data, engine, s);
        std::sort(seconds.begin(), seconds.end());
        std::printf("%-10s %7.0f MB/s\n", engine == support::Sha256::Engine::Fastest ? "fastest" : "portable",
                    double(kSize) / 1e6 / seconds[2]);
    }
    if (digests[0] != digests[1]) {
        std::fprintf(stderr, "the two engines disagree: %s, %s\n", digests[0].constData(),
                     digests[1].constData());
        return 1;
    }
    return 0;
}
