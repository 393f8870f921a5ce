// The XI pitch of a sample rate.
#pragma once

#include <cstdint>

namespace brumlet {

struct Pitch {
  std::int8_t relative_note = 0;  ///< semitones
  std::int8_t finetune = 0;       ///< 1/128 semitone, -64..64
};

/// Splits the rate's distance from 8363 Hz at note C-4 into the nearest semitone and a remainder
/// in 1/128 semitone. Throws RunFailure (EInvalidOp) for a rate of 0 or below, which has no
/// logarithm.
Pitch ComputePitch(std::int32_t rate);

}  // namespace brumlet
