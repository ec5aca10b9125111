#include "support/sha256.h"

#if VANTOR_HAVE_LIBCRYPTO
#include <openssl/evp.h>
#else
#include <QCryptographicHash>
#endif

#include <stdexcept>

namespace support {

#if VANTOR_HAVE_LIBCRYPTO

struct Sha256::State
{
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    ~State() { EVP_MD_CTX_free(ctx); }
};

Sha256::Sha256() : m_state(std::make_unique<State>())
{
    if (!m_state->ctx || EVP_DigestInit_ex(m_state->ctx, EVP_sha256(), nullptr) != 1)
        throw std::runtime_error("SHA-256 is not available from libcrypto");
}

void Sha256::addData(QByteArrayView data)
{
    EVP_DigestUpdate(m_state->ctx, data.data(), std::size_t(data.size()));
}

QByteArray Sha256::hexResult()
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(m_state->ctx, digest, &length);
    return QByteArray(reinterpret_cast<const char*>(digest), int(length)).toHex();
}

#else

struct Sha256::State
{
    QCryptographicHash hash{QCryptographicHash::Sha256};
};

Sha256::Sha256() : m_state(std::make_unique<State>()) {}

void Sha256::addData(QByteArrayView data)
{
    m_state->hash.addData(data);
}

QByteArray Sha256::hexResult()
{
    return m_state->hash.result().toHex();
}

#endif

Sha256::~Sha256() = default;

} // namespace support
