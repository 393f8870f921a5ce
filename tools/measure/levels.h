// How loud a render is over time: its level curve, when its attack peaks, how fast it falls.
#pragma once

#include <vector>

#include "wav_reader.h"

namespace brumlet::measure {

/// The level of `signal` in dB (RMS, full scale 0 dB) over `window` seconds from each point in
/// `step`-second steps.
std::vector<double> LevelCurveDb(const Rendered& signal, double window = 0.01, double step = 0.005);

/// When the attack of `signal` peaks, in seconds: the middle of the first 20 ms before `until`
/// whose level comes within 0.5 dB of the highest (a linear attack gets there 6 % early).
double AttackPeakSeconds(const Rendered& signal, double until);

/// The RMS level in dB of `signal` between `begin` and `end` seconds.
double LevelDb(const Rendered& signal, double begin, double end);

/// Seconds from `note_off` until the level has fallen `drop_db` below its level over the 50 ms
/// before `note_off`; negative when it never does.
double FallSeconds(const Rendered& signal, double note_off, double drop_db = 30);

}  // namespace brumlet::measure
