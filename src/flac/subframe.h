// One channel of a frame: a subframe header, then the samples as a constant, verbatim, or a
// fixed or linear prediction plus a Rice-coded residual.
//
//   header: a 0 bit, the type (6 bits: 0 constant, 1 verbatim, 8 + order fixed (orders 0 to 4),
//   31 + order linear (orders 1 to 32)), a flag for wasted bits and then their count minus 1 in
//   unary. Samples are coded without the wasted low bits, which are zeros, so a subframe of
//   `bits` bits and k wasted bits codes its samples in bits - k bits.
//
// The arithmetic is exact where the format needs it and never undefined where a stream is
// crafted: predictions run on unsigned integers, whose wrap-around gives the exact sample
// whenever the sample fits its type, and a prediction whose sum must be exact before its shift
// takes 64 bits unless the bits guarantee 32 are enough.
#pragma once

#include <cstdint>
#include <span>

#include "flac/bit_reader.h"
#include "flac/status.h"

namespace brumlet::flac {

/// Decodes one subframe of `out.size()` samples of `bits` bits (the frame's depth, one more for
/// a side channel) into `out`: 32-bit values for up to 32 bits, 64-bit ones for the 33 bits of
/// a side channel of 32-bit audio. kNone, or the first fault; after an overrun the samples are
/// anything and the fault may be any.
Fault DecodeSubframe(BitReader& reader, int bits, std::span<std::int32_t> out);
Fault DecodeSubframe(BitReader& reader, int bits, std::span<std::int64_t> out);

}  // namespace brumlet::flac
