// The XI pitch of a sample rate.
#pragma once

#include <cstdint>

namespace brumlet {

struct Pitch {
  std::int8_t relative_note = 0;  ///< semitones
  std::int8_t finetune = 0;       ///< 1/128 semitone, -64..64
};

/// The relative note and finetune that make a sample of `rate` Hz play at its own rate on note
/// C-5. A tracker plays relative note 0 at 8363 Hz on C-4, so this is the rate's distance in
/// semitones from 8363 Hz less the octave up to C-5 (8363 Hz gives -12, 44100 Hz 17 and -28),
/// split into the nearest semitone and a remainder in 1/128 semitone. Throws RunFailure
/// (EInvalidOp) for a rate of 0 or below, which has no logarithm.
Pitch ComputePitch(std::int32_t rate);

}  // namespace brumlet
