// G.711 companded samples (mu-law, format tag 7; A-law, format tag 6): one byte a sample, each a
// sign, a three-bit segment and a four-bit step within the segment, so that quiet sounds keep
// finer steps than loud ones.
#pragma once

#include <cstdint>

#include "bytes.h"

namespace brumlet {

/// The 16-bit linear value of a mu-law byte (-32124 to 32124).
std::int16_t MuLawToSample(Byte coded);

/// The 16-bit linear value of an A-law byte (-32256 to 32256).
std::int16_t ALawToSample(Byte coded);

}  // namespace brumlet
