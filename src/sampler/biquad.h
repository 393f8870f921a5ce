// The voice filter: a two-pole resonant low-pass, the bilinear transform of the analog
// 1 / (s^2 + s/Q + 1) with its corner pre-warped onto the cutoff (the RBJ cookbook's LPF). The
// bilinear transform only moves frequencies along the axis, so the digital filter keeps the
// analog one's DC gain (1), its peak height and, for Q = 1/sqrt(2), its -3 dB point at the cutoff.
#pragma once

#include <array>

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

/// The filter four frames at a time. Frame by frame, each output waits for the one before it (a
/// multiply and two subtractions, which the processor cannot overlap); here each of four
/// outputs is worked out from the inputs and the two outputs before the four, so the wait is one
/// multiply and two additions for four frames: y[n + k] = sum over i <= k of response[i] x
/// ff[n + k - i], plus from_y1[k] x y[n - 1] plus from_y2[k] x y[n - 2], where ff is the
/// feed-forward part and `response` the impulse response of the feedback alone.
struct BiquadFourFrames {
  BiquadCoefficients c;
  std::array<double, 4> response, from_y1, from_y2;
};

BiquadFourFrames FourFrames(const BiquadCoefficients& c);

/// Filters `in` into `out` (as many values), as Filter does frame by frame to within rounding.
void FilterFrames(const BiquadFourFrames& f, BiquadState& s, const float* in, double* out,
                  int count);

}  // namespace brumlet::sampler
