#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <memory>

namespace support {

// SHA-256 over data given in pieces of any size. On x86-64 processors with the SHA instructions it
// compresses blocks with them (about ten times QCryptographicHash of Qt 6.4 on a large delivery
// file), elsewhere it is QCryptographicHash.
class Sha256 final
{
public:
    enum class Engine
    {
        Fastest,  // the processor's SHA instructions where it has them, else Portable
        Portable, // QCryptographicHash, always: what the fast one is checked against
    };

    explicit Sha256(Engine engine = Engine::Fastest);
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    // Whether Engine::Fastest uses the processor's SHA instructions on this machine.
    static bool usesShaInstructions();

    void addData(QByteArrayView data);
    // The digest of everything added, as lower-case hex. The hash takes no more data after; asked
    // again, it gives the same digest.
    QByteArray hexResult();

private:
    struct State;
    std::unique_ptr<State> m_state;
};

} // namespace support
