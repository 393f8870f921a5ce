// The pitch of a render: by its period (autocorrelation) for a plain tone, by its strongest
// partial for a complex one.
#pragma once

#include <cmath>

#include "wav_reader.h"

namespace brumlet::measure {

/// The pitch of `signal` between `begin` and `end` seconds, in cents above `reference_hz`, from
/// the autocorrelation of that part; the pitch must lie within a semitone of the reference.
double PitchCents(const Rendered& signal, double begin, double end, double reference_hz);

/// A render's strongest partial in a range of frequencies.
struct Partial {
  double hz = NAN;
  /// How far it stands out: its power against the median power of a range, in dB. A steady
  /// tone's partial stands 40 dB and more above its neighbours, noise's strongest bin about 10.
  double prominence_db = 0;
  /// It lies at an end of the range, so the true peak may lie beyond.
  bool at_edge = false;
};

/// The strongest partial of `signal` between `low` and `high` Hz over 1.49 s from `begin`, as
/// PartialHz finds it; its prominence against the median power between `median_low` and
/// `median_high` Hz (0 and 0: between `low` and `high`).
Partial StrongestPartial(const Rendered& signal, double begin, double low, double high,
                         double median_low = 0, double median_high = 0);

/// The frequency of the strongest partial of `signal` between `low` and `high` Hz over 1.49 s from
/// `begin`, refined between bins by the parabola through the peak's log power and its neighbours.
/// Two renders of the same sample have the same strongest partial: their ratio is their pitch
/// difference, which a complex tone (beating ranks of an organ, a piano's inharmonic partials)
/// gives more steadily than its period does.
double PartialHz(const Rendered& signal, double begin, double low, double high);

}  // namespace brumlet::measure
