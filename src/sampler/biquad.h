// The voice filter: a two-pole resonant low-pass, the bilinear transform of the analog
// 1 / (s^2 + s/Q + 1) with its corner pre-warped onto the cutoff (the RBJ cookbook's LPF). The
// bilinear transform only moves frequencies along the axis, so the digital filter keeps the
// analog one's DC gain (1), its peak height and, for Q = 1/sqrt(2), its -3 dB point at the cutoff.
#pragma once

namespace brumlet::sampler {

struct BiquadCoefficients {
  double b0 = 1, b1 = 0, b2 = 0;  ///< feed-forward
  double a1 = 0, a2 = 0;          ///< feedback, a0 divided out
};

/// Direct form I: the input's and output's last two values. Coefficients may change between
/// frames without the state having to be rescaled.
struct BiquadState {
  double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
};

/// The Q whose resonance peak lies `peak_db` (>= 0) above the DC gain; 1/sqrt(2), no peak, for 0.
double ResonanceQ(double peak_db);

/// A low-pass at `cutoff_hz` (0 < cutoff < rate / 2) for `rate` frames a second.
BiquadCoefficients LowPass(double cutoff_hz, double rate, double q);

inline double Filter(const BiquadCoefficients& c, BiquadState& s, double x) {
  const double y = c.b0 * x + c.b1 * s.x1 + c.b2 * s.x2 - c.a1 * s.y1 - c.a2 * s.y2;
  s.x2 = s.x1;
  s.x1 = x;
  s.y2 = s.y1;
  s.y1 = y;
  return y;
}

}  // namespace brumlet::sampler
