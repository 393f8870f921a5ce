// Big-endian loads. FLAC stores every number most significant byte first (the rest of the
// program reads little-endian formats through bytes.h); these are the only place that knows it.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#include "bytes.h"

namespace brumlet::flac {

inline std::uint64_t LoadBe64(const Byte* p) {
  std::uint64_t v;
  std::memcpy(&v, p, sizeof v);
  if constexpr (std::endian::native == std::endian::little) v = __builtin_bswap64(v);
  return v;
}

inline std::uint32_t LoadBe16(const Byte* p) { return std::uint32_t{p[0]} << 8 | p[1]; }

inline std::uint32_t LoadBe24(const Byte* p) { return LoadBe16(p) << 8 | p[2]; }

inline std::uint32_t LoadBe32(const Byte* p) { return LoadBe16(p) << 16 | LoadBe16(p + 2); }

}  // namespace brumlet::flac
