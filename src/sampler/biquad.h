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
/// multiply and two subtractions, which the processor cannot overlap); here each of four outputs
/// is worked out from the inputs and the two outputs before the four, so the wait is one
/// multiply and two additions for four frames:
///   y[n + k] = sum over i of inputs[i][k] x[n - 2 + i] + from_y1[k] y[n - 1] + from_y2[k] y[n - 2].
/// The inputs' part is summed in float, four outputs at once: the inputs are floats, and nothing
/// feeds back through it. The feedback stays in double, where the filter's precision lies (poles
/// near 1 at low cutoffs).
struct BiquadFourFrames {
  BiquadCoefficients c;
  /// inputs[i][k]: the weight of x[n - 2 + i] (x[n - 2] .. x[n + 3]) in y[n + k].
  std::array<std::array<float, 4>, 6> inputs;
  std::array<double, 4> from_y1, from_y2;
};

BiquadFourFrames FourFrames(const BiquadCoefficients& c);

/// Filters `count` values of `in` into `out`, as Filter does frame by frame to within rounding.
/// With SSE2 or without, the same operations in the same order: the same results.
void FilterFrames(const BiquadFourFrames& f, BiquadState& s, const float* in, float* out,
                  int count);

}  // namespace brumlet::sampler
