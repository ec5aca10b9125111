#include "support/sha256.h"

#include <QCryptographicHash>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <stdexcept>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define VANTOR_SHA256_INSTRUCTIONS 1
#include <cpuid.h>
#include <immintrin.h>
#endif

namespace support {

#ifdef VANTOR_SHA256_INSTRUCTIONS
namespace {

// FIPS 180-4, 4.2.2: the first 32 bits of the fractional parts of the cube roots of the first 64
// primes.
alignas(16) constexpr std::uint32_t kRound[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};

#define VANTOR_SHA_TARGET __attribute__((target("sha,sse4.1")))

VANTOR_SHA_TARGET inline __m128i load(const void* at)
{
    return _mm_loadu_si128(static_cast<const __m128i*>(at));
}

// Four message words, big-endian in the block, as numbers (the first in the lowest lane).
VANTOR_SHA_TARGET inline __m128i loadWords(const std::uint8_t* at)
{
    return _mm_shuffle_epi8(load(at), _mm_set_epi64x(0x0c0d0e0f08090a0b, 0x0405060700010203));
}

// The next four words of the message schedule, W[t..t+3], from W[t-16..t-1] in w0..w3:
// msg1 adds sigma0(W[t-15+i]) to W[t-16+i], the add brings in W[t-7+i], msg2 adds sigma1(W[t-2+i]).
VANTOR_SHA_TARGET inline __m128i nextWords(__m128i w0, __m128i w1, __m128i w2, __m128i w3)
{
    return _mm_sha256msg2_epu32(_mm_add_epi32(_mm_sha256msg1_epu32(w0, w1), _mm_alignr_epi8(w3, w2, 4)), w3);
}

// The compression function over whole 64-byte blocks. sha256rnds2 runs two rounds on the state
// split as {A, B, E, F} and {C, D, G, H} (A in the highest lane) with W+K of those rounds in the low
// half of its third operand; after two rounds the old {A, B, E, F} is the new {C, D, G, H}.
VANTOR_SHA_TARGET void compressBlocks(std::uint32_t state[8], const std::uint8_t* p, std::size_t blocks)
{
    const __m128i badc = _mm_shuffle_epi32(load(state), 0xB1);
    const __m128i hgfe = _mm_shuffle_epi32(load(state + 4), 0x1B);
    __m128i abef = _mm_alignr_epi8(badc, hgfe, 8);
    __m128i cdgh = _mm_blend_epi16(hgfe, badc, 0xF0);

    for (; blocks > 0; --blocks, p += 64) {
        const __m128i abefBefore = abef, cdghBefore = cdgh;
        __m128i w0 = loadWords(p), w1 = loadWords(p + 16), w2 = loadWords(p + 32), w3 = loadWords(p + 48);
        // Unrolled, the last four schedule steps (words no round reads) fall away.
#pragma GCC unroll 16
        for (int i = 0; i < 16; ++i) {
            const __m128i wk =
                _mm_add_epi32(w0, _mm_load_si128(reinterpret_cast<const __m128i*>(kRound + 4 * i)));
            cdgh = _mm_sha256rnds2_epu32(cdgh, abef, wk);
            abef = _mm_sha256rnds2_epu32(abef, cdgh, _mm_shuffle_epi32(wk, 0x0E));
            const __m128i w4 = nextWords(w0, w1, w2, w3);
            w0 = w1, w1 = w2, w2 = w3, w3 = w4;
        }
        abef = _mm_add_epi32(abef, abefBefore);
        cdgh = _mm_add_epi32(cdgh, cdghBefore);
    }

    const __m128i abefInOrder = _mm_shuffle_epi32(abef, 0x1B);
    const __m128i ghcd = _mm_shuffle_epi32(cdgh, 0xB1);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_blend_epi16(abefInOrder, ghcd, 0xF0));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), _mm_alignr_epi8(ghcd, abefInOrder, 8));
}

// The SHA extensions are CPUID leaf 7's EBX bit 29 (asked directly: not every compiler's
// __builtin_cpu_supports knows them), SSE4.1 leaf 1's ECX bit 19.
bool canUseShaInstructions()
{
    static const bool supported = [] {
        unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
        if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx) || !(ecx & bit_SSE4_1))
            return false;
        return __get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx) && (ebx & bit_SHA) != 0;
    }();
    return supported;
}

} // namespace
#endif

// Either a QCryptographicHash, or the state of our own compression and the tail of the data that
// does not fill a block yet.
struct Sha256::State
{
    std::optional<QCryptographicHash> portable;
    std::uint32_t h[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                          0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    std::uint8_t pending[64] = {};
    std::size_t pendingSize = 0;
    std::uint64_t length = 0;
    QByteArray digest;

#ifdef VANTOR_SHA256_INSTRUCTIONS
    void add(const std::uint8_t* p, std::size_t n);
    void finish();
#endif
};

Sha256::Sha256(Engine engine) : m_state(std::make_unique<State>())
{
    if (engine == Engine::Portable || !usesShaInstructions())
        m_state->portable.emplace(QCryptographicHash::Sha256);
}

Sha256::~Sha256() = default;

bool Sha256::usesShaInstructions()
{
#ifdef VANTOR_SHA256_INSTRUCTIONS
    return canUseShaInstructions();
#else
    return false;
#endif
}

void Sha256::addData(QByteArrayView data)
{
    if (!m_state->digest.isEmpty())
        throw std::logic_error("SHA-256: data added after the digest was taken");
    if (m_state->portable)
        m_state->portable->addData(data);
#ifdef VANTOR_SHA256_INSTRUCTIONS
    else if (!data.isEmpty())
        m_state->add(reinterpret_cast<const std::uint8_t*>(data.data()), std::size_t(data.size()));
#endif
}

QByteArray Sha256::hexResult()
{
    if (m_state->digest.isEmpty()) {
        if (m_state->portable)
            m_state->digest = m_state->portable->result().toHex();
#ifdef VANTOR_SHA256_INSTRUCTIONS
        else
            m_state->finish();
#endif
    }
    return m_state->digest;
}

#ifdef VANTOR_SHA256_INSTRUCTIONS

void Sha256::State::add(const std::uint8_t* p, std::size_t n)
{
    length += n;
    if (pendingSize > 0) {
        const std::size_t taken = std::min(n, sizeof pending - pendingSize);
        std::memcpy(pending + pendingSize, p, taken);
        pendingSize += taken, p += taken, n -= taken;
        if (pendingSize < sizeof pending)
            return;
        compressBlocks(h, pending, 1);
        pendingSize = 0;
    }
    const std::size_t blocks = n / 64;
    if (blocks > 0)
        compressBlocks(h, p, blocks);
    pendingSize = n % 64;
    if (pendingSize > 0)
        std::memcpy(pending, p + blocks * 64, pendingSize);
}

// FIPS 180-4, 5.1.1: a 1 bit, zeros up to 8 bytes short of a block's end, the length in bits
// big-endian in those 8 bytes; then the state words big-endian are the digest.
void Sha256::State::finish()
{
    const std::uint64_t bits = length * 8;
    pending[pendingSize++] = 0x80;
    if (pendingSize > 56) {
        std::memset(pending + pendingSize, 0, sizeof pending - pendingSize);
        compressBlocks(h, pending, 1);
        pendingSize = 0;
    }
    std::memset(pending + pendingSize, 0, 56 - pendingSize);
    for (int i = 0; i < 8; ++i)
        pending[56 + i] = std::uint8_t(bits >> (56 - 8 * i));
    compressBlocks(h, pending, 1);

    QByteArray bytes(32, Qt::Uninitialized);
    for (int i = 0; i < 32; ++i)
        bytes[i] = char(h[i / 4] >> (24 - 8 * (i % 4)));
    digest = bytes.toHex();
}

#endif

} // namespace support
