// One stored sample of a reader's encoding made a signed 16-bit value, as every path takes it:
// integer PCM keeps its top 16 bits (truncating, as dropping the low bytes does); float is scaled
// to the 16-bit range, rounded to nearest with ties to even, and clamped, with NaN as silence;
// G.711 is expanded; 8-bit unsigned data is centred and shifted up.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#include "bytes.h"
#include "xi/g711.h"
#include "xi/sample_reader.h"

namespace brumlet {

inline std::uint16_t FloatToSample(double x) {
  if (std::isnan(x)) return 0;
  const double scaled = std::nearbyint(x * 32768.0);
  if (scaled <= -32768.0) return static_cast<std::uint16_t>(-32768);
  if (scaled >= 32767.0) return 32767;
  return static_cast<std::uint16_t>(static_cast<std::int16_t>(scaled));
}

/// The 16-bit value of the sample at `p`, as its two's complement bits.
template <SampleEncoding kEncoding>
std::uint16_t ToSample(const Byte* p) {
  if constexpr (kEncoding == SampleEncoding::kUnsigned8) {
    return static_cast<std::uint16_t>((p[0] ^ 0x80) << 8);
  } else if constexpr (kEncoding == SampleEncoding::kSigned16) {
    return LoadU16(p);
  } else if constexpr (kEncoding == SampleEncoding::kSigned24) {
    return LoadU16(p + 1);
  } else if constexpr (kEncoding == SampleEncoding::kSigned32) {
    return LoadU16(p + 2);
  } else if constexpr (kEncoding == SampleEncoding::kMuLaw) {
    return static_cast<std::uint16_t>(MuLawToSample(*p));
  } else if constexpr (kEncoding == SampleEncoding::kALaw) {
    return static_cast<std::uint16_t>(ALawToSample(*p));
  } else if constexpr (kEncoding == SampleEncoding::kFloat32) {
    float x;
    const std::uint32_t bits = LoadU32(p);
    std::memcpy(&x, &bits, sizeof x);
    return FloatToSample(x);
  } else {
    double x;
    const std::uint64_t bits = LoadU32(p) | std::uint64_t{LoadU32(p + 4)} << 32;
    std::memcpy(&x, &bits, sizeof x);
    return FloatToSample(x);
  }
}

/// `out.size()` whole frames of `format` from `in` as one 16-bit channel: a stereo frame's two
/// values made 16-bit, then mixed (MixStereo).
void ToMono16(SampleFormat format, const Byte* in, std::span<std::int16_t> out);

}  // namespace brumlet
