#include "support/crc32.h"

#include <zlib.h>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define VANTOR_CRC32_FOLDING 1
#include <immintrin.h>
#endif

namespace support {

std::uint32_t Crc32Portable(std::uint32_t crc, QByteArrayView data)
{
    return std::uint32_t(crc32_z(crc, reinterpret_cast<const Bytef*>(data.data()), std::size_t(data.size())));
}

#ifdef VANTOR_CRC32_FOLDING
namespace {

// Folding by carry-less multiplication for the reflected CRC-32 polynomial, after Gopal et al.,
// "Fast CRC Computation for Generic Polynomials Using PCLMULQDQ Instruction" (Intel, 2009). The
// constants are x^(4*128+32) mod P, x^(4*128-32) mod P (four lanes of 128 bits), x^(128+32) mod P,
// x^(128-32) mod P (one lane), x^64 mod P, and the Barrett pair (P and floor(x^64 / P)), all
// bit-reflected. Takes the register value (the CRC inverted) and a length of at least 64, a
// multiple of 16; returns the register value.
#define VANTOR_FOLDING_TARGET __attribute__((target("pclmul,sse4.1")))

VANTOR_FOLDING_TARGET inline __m128i load(const std::uint8_t* at)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

// x carried 128 bits further by k, with the next 128 bits of data added.
VANTOR_FOLDING_TARGET inline __m128i fold(__m128i x, __m128i k, __m128i next)
{
    return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11)),
                         next);
}

VANTOR_FOLDING_TARGET std::uint32_t foldBlocks(const std::uint8_t* p, std::size_t n, std::uint32_t reg)
{
    const __m128i k1k2 = _mm_set_epi64x(0x01c6e41596, 0x0154442bd4);
    const __m128i k3k4 = _mm_set_epi64x(0x00ccaa009e, 0x01751997d0);
    const __m128i k5 = _mm_set_epi64x(0, 0x0163cd6124);
    const __m128i poly = _mm_set_epi64x(0x01f7011641, 0x01db710641);

    __m128i x1 = _mm_xor_si128(load(p), _mm_cvtsi32_si128(int(reg)));
    __m128i x2 = load(p + 16), x3 = load(p + 32), x4 = load(p + 48);
    for (p += 64, n -= 64; n >= 64; p += 64, n -= 64) {
        x1 = fold(x1, k1k2, load(p));
        x2 = fold(x2, k1k2, load(p + 16));
        x3 = fold(x3, k1k2, load(p + 32));
        x4 = fold(x4, k1k2, load(p + 48));
    }
    x1 = fold(fold(fold(x1, k3k4, x2), k3k4, x3), k3k4, x4);
    for (; n >= 16; p += 16, n -= 16)
        x1 = fold(x1, k3k4, load(p));

    // 128 bits to 64, then Barrett's reduction to 32.
    const __m128i low32 = _mm_setr_epi32(~0, 0, ~0, 0);
    x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), _mm_clmulepi64_si128(x1, k3k4, 0x10));
    x1 = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x1, low32), k5, 0x00), _mm_srli_si128(x1, 4));
    __m128i x2b = _mm_clmulepi64_si128(_mm_and_si128(x1, low32), poly, 0x10);
    x2b = _mm_clmulepi64_si128(_mm_and_si128(x2b, low32), poly, 0x00);
    return std::uint32_t(_mm_extract_epi32(_mm_xor_si128(x1, x2b), 1));
}

bool canFold()
{
    static const bool supported = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
    return supported;
}

} // namespace
#endif

std::uint32_t Crc32(std::uint32_t crc, QByteArrayView data)
{
#ifdef VANTOR_CRC32_FOLDING
    if (data.size() >= 64 && canFold()) {
        const auto* p = reinterpret_cast<const std::uint8_t*>(data.data());
        const std::size_t blocks = std::size_t(data.size()) & ~std::size_t(15);
        crc = ~foldBlocks(p, blocks, ~crc);
        return Crc32Portable(crc, data.sliced(qsizetype(blocks)));
    }
#endif
    return Crc32Portable(crc, data);
}

} // namespace support
