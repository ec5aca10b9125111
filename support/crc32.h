#pragma once

#include <QByteArrayView>

#include <cstdint>

namespace support {

// The CRC-32 of ZIP and gzip (reflected polynomial 0xEDB88320) of data, continued from crc (0 to
// start): Crc32(Crc32(0, a), b) == Crc32(0, a + b). On x86-64 processors with carry-less
// multiplication it folds 64 bytes a step (several times zlib's speed), elsewhere it is zlib's.
std::uint32_t Crc32(std::uint32_t crc, QByteArrayView data);

// zlib's own, always: what the fast one is checked against.
std::uint32_t Crc32Portable(std::uint32_t crc, QByteArrayView data);

} // namespace support
