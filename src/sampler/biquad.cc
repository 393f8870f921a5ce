#include "sampler/biquad.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace brumlet::sampler {

// For Q > 1/sqrt(2), |H| of 1 / (s^2 + s/Q + 1) peaks at G^2 = 4 Q^4 / (4 Q^2 - 1); solved for
// Q^2, the root at or above 1/2 is (G^2 + G sqrt(G^2 - 1)) / 2.
double ResonanceQ(double peak_db) {
  const double g = std::pow(10.0, std::max(peak_db, 0.0) / 20);
  return std::sqrt((g * g + g * std::sqrt(g * g - 1)) / 2);
}

BiquadCoefficients LowPass(double cutoff_hz, double rate, double q) {
  const double w0 = 2 * std::numbers::pi * cutoff_hz / rate;
  const double cos_w0 = std::cos(w0);
  const double alpha = std::sin(w0) / (2 * q);
  const double a0 = 1 + alpha;
  BiquadCoefficients c;
  c.b0 = (1 - cos_w0) / 2 / a0;
  c.b1 = (1 - cos_w0) / a0;
  c.b2 = c.b0;
  c.a1 = -2 * cos_w0 / a0;
  c.a2 = (1 - alpha) / a0;
  return c;
}

}  // namespace brumlet::sampler
