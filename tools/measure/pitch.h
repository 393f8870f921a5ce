// The pitch of a render: by its period (autocorrelation) for a plain tone, by its strongest
// partial for a complex one.
#pragma once

#include "wav_reader.h"

namespace brumlet::measure {

/// The pitch of `signal` between `begin` and `end` seconds, in cents above `reference_hz`, from
/// the autocorrelation of that part; the pitch must lie within a semitone of the reference.
double PitchCents(const Rendered& signal, double begin, double end, double reference_hz);

/// The frequency of the strongest partial of `signal` between `low` and `high` Hz over 1.49 s from
/// `begin`, refined between bins by the parabola through the peak's log power and its neighbours.
/// Two renders of the same sample have the same strongest partial: their ratio is their pitch
/// difference, which a complex tone (beating ranks of an organ, a piano's inharmonic partials)
/// gives more steadily than its period does.
double PartialHz(const Rendered& signal, double begin, double low, double high);

}  // namespace brumlet::measure
