// The two checksums of a FLAC frame: CRC-8 over its header and CRC-16 over the whole frame. Both
// start from 0 and run most significant bit first, polynomials x^8 + x^2 + x + 1 and
// x^16 + x^15 + x^2 + 1.
#pragma once

#include <cstddef>
#include <cstdint>

#include "bytes.h"

namespace brumlet::flac {

/// CRC-8 of `size` bytes.
std::uint8_t Crc8(const Byte* data, std::size_t size);

/// `crc` carried on over `size` more bytes; Crc16(0, ...) starts a new one.
std::uint16_t Crc16(std::uint16_t crc, const Byte* data, std::size_t size);

}  // namespace brumlet::flac
