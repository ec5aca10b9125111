#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <memory>

namespace support {

// SHA-256 over data given in pieces. Built on the system's libcrypto where the build found one,
// which uses the processor's SHA instructions (several times faster than QCryptographicHash of
// Qt 6.4 on a large delivery file), else on QCryptographicHash.
class Sha256 final
{
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void addData(QByteArrayView data);
    // The digest of everything added, as lower-case hex; the hash takes no more data after.
    QByteArray hexResult();

private:
    struct State;
    std::unique_ptr<State> m_state;
};

} // namespace support
