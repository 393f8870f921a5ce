// Little-endian loads and stores over byte buffers. Both file formats store every multi-byte
// integer little-endian; these helpers are the only place that knows it.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace brumlet {

using Byte = std::uint8_t;

inline std::uint16_t LoadU16(const Byte* p) {
  std::uint16_t v;
  std::memcpy(&v, p, sizeof v);
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap16(v);
  return v;
}

inline std::uint32_t LoadU32(const Byte* p) {
  std::uint32_t v;
  std::memcpy(&v, p, sizeof v);
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap32(v);
  return v;
}

inline std::int16_t LoadI16(const Byte* p) { return static_cast<std::int16_t>(LoadU16(p)); }
inline std::int32_t LoadI32(const Byte* p) { return static_cast<std::int32_t>(LoadU32(p)); }

inline void StoreU16(Byte* p, std::uint16_t v) {
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap16(v);
  std::memcpy(p, &v, sizeof v);
}

inline void StoreU32(Byte* p, std::uint32_t v) {
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap32(v);
  std::memcpy(p, &v, sizeof v);
}

inline void StoreI32(Byte* p, std::int32_t v) { StoreU32(p, static_cast<std::uint32_t>(v)); }

/// True when the four bytes at `p` are exactly `id` (case-sensitive, zero bytes included).
inline bool IdEquals(const Byte* p, const char (&id)[5]) { return std::memcmp(p, id, 4) == 0; }

}  // namespace brumlet
