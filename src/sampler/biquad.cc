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

BiquadFourFrames FourFrames(const BiquadCoefficients& c) {
  BiquadFourFrames f{c, {}, {}, {}};
  // The feedback's impulse response, and what y[n - 1] and y[n - 2] alone lead to, each by
  // y[k] = -a1 y[k - 1] - a2 y[k - 2].
  double r1 = 0, r2 = 0, p1 = 1, p2 = 0, q1 = 0, q2 = 1;
  for (int k = 0; k < 4; ++k) {
    const double r = k == 0 ? 1 : -c.a1 * r1 - c.a2 * r2;
    const double p = -c.a1 * p1 - c.a2 * p2, q = -c.a1 * q1 - c.a2 * q2;
    f.response[k] = r;
    f.from_y1[k] = p;
    f.from_y2[k] = q;
    r2 = r1, r1 = r, p2 = p1, p1 = p, q2 = q1, q1 = q;
  }
  return f;
}

void FilterFrames(const BiquadFourFrames& f, BiquadState& state, const float* in, double* out,
                  int count) {
  const BiquadCoefficients& c = f.c;
  const std::array<double, 4>& r = f.response;
  const std::array<double, 4>& p = f.from_y1;
  const std::array<double, 4>& q = f.from_y2;
  // The state in locals: `out` could alias it as far as the compiler knows.
  BiquadState s = state;
  int n = 0;
  for (; n + 4 <= count; n += 4) {
    const double x0 = in[n], x1 = in[n + 1], x2 = in[n + 2], x3 = in[n + 3];
    const double ff0 = c.b0 * x0 + c.b1 * s.x1 + c.b2 * s.x2;
    const double ff1 = c.b0 * x1 + c.b1 * x0 + c.b2 * s.x1;
    const double ff2 = c.b0 * x2 + c.b1 * x1 + c.b2 * x0;
    const double ff3 = c.b0 * x3 + c.b1 * x2 + c.b2 * x1;
    const double g1 = ff1 + r[1] * ff0;
    const double g2 = ff2 + r[1] * ff1 + r[2] * ff0;
    const double g3 = ff3 + r[1] * ff2 + r[2] * ff1 + r[3] * ff0;
    const double y0 = (ff0 + q[0] * s.y2) + p[0] * s.y1;
    const double y1 = (g1 + q[1] * s.y2) + p[1] * s.y1;
    const double y2 = (g2 + q[2] * s.y2) + p[2] * s.y1;
    const double y3 = (g3 + q[3] * s.y2) + p[3] * s.y1;
    out[n] = y0;
    out[n + 1] = y1;
    out[n + 2] = y2;
    out[n + 3] = y3;
    s = {x3, x2, y3, y2};
  }
  for (; n < count; ++n) out[n] = Filter(c, s, in[n]);
  state = s;
}

}  // namespace brumlet::sampler
