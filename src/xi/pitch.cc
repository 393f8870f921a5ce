#include "xi/pitch.h"

#include <cmath>

#include "failure.h"

namespace brumlet {

Pitch ComputePitch(std::int32_t rate) {
  if (rate <= 0) throw InvalidFloatOp(Site::kPitch);
  // Semitones above 1045.375 Hz (8363 / 8, so 8363 Hz is exactly 36), computed in extended
  // precision and then held as a double, so that results do not depend on the compiler's choice
  // of intermediate precision.
  const double s = static_cast<double>(
      12.0L * std::log(static_cast<long double>(rate) / 1045.375L) / std::log(2.0L));
  // Rounding is to nearest with ties to even, as the default floating-point mode does it.
  const long long nearest = std::llrint(s);
  double f = (s - std::floor(s)) * 256.0;
  if (f >= 128.0) f -= 256.0;  // above half a semitone: a negative remainder to the next note
  f /= 2.0;
  Pitch pitch;
  pitch.relative_note = static_cast<std::int8_t>(static_cast<std::uint8_t>(nearest - 48));
  pitch.finetune = static_cast<std::int8_t>(std::lrint(f));
  return pitch;
}

}  // namespace brumlet
