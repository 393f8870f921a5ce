#include "sampler/biquad.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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
  std::array<double, 4> response{};
  double r1 = 0, r2 = 0, u1 = 1, u2 = 0, v1 = 0, v2 = 1;
  for (int k = 0; k < 4; ++k) {
    const double r = k == 0 ? 1 : -c.a1 * r1 - c.a2 * r2;
    const double u = -c.a1 * u1 - c.a2 * u2, v = -c.a1 * v1 - c.a2 * v2;
    response[k] = r;
    f.from_y1[k] = u;
    f.from_y2[k] = v;
    r2 = r1, r1 = r, u2 = u1, u1 = u, v2 = v1, v1 = v;
  }
  // y[n + k] takes the feed-forward sum at n + m (b0 x[n + m] + b1 x[n + m - 1] + b2 x[n + m
  // - 2]) times response[k - m], for m = 0 .. k.
  const std::array<double, 3> b{c.b0, c.b1, c.b2};
  for (int k = 0; k < 4; ++k) {
    for (int i = 0; i < 6; ++i) {
      double weight = 0;
      for (int m = 0; m <= k; ++m) {
        const int tap = m + 2 - i;  // x[n - 2 + i] is x[n + m - tap]
        if (tap >= 0 && tap <= 2) weight += b[tap] * response[k - m];
      }
      f.inputs[i][k] = static_cast<float>(weight);
    }
  }
  return f;
}

void FilterFrames(const BiquadFourFrames& f, BiquadState& state, const float* in, float* out,
                  int count) {
  const std::array<double, 4>& p = f.from_y1;
  const std::array<double, 4>& q = f.from_y2;
  // The state in locals: `out` could alias it as far as the compiler knows.
  BiquadState s = state;
  int n = 0;
#if defined(__SSE2__)
  {
    const auto weights = [&f](int i) { return _mm_loadu_ps(f.inputs[i].data()); };
    const __m128 w0 = weights(0), w1 = weights(1), w2 = weights(2), w3 = weights(3),
                 w4 = weights(4), w5 = weights(5);
    const __m128d from1_01 = _mm_loadu_pd(&p[0]), from1_23 = _mm_loadu_pd(&p[2]);
    const __m128d from2_01 = _mm_loadu_pd(&q[0]), from2_23 = _mm_loadu_pd(&q[2]);
    __m128 x_2 = _mm_set1_ps(static_cast<float>(s.x2)), x_1 = _mm_set1_ps(static_cast<float>(s.x1));
    __m128d y_2 = _mm_set1_pd(s.y2), y_1 = _mm_set1_pd(s.y1);
    for (; n + 4 <= count; n += 4) {
      const __m128 x = _mm_loadu_ps(in + n);
      __m128 g = _mm_add_ps(_mm_mul_ps(w0, x_2), _mm_mul_ps(w1, x_1));
      g = _mm_add_ps(g, _mm_mul_ps(w2, _mm_shuffle_ps(x, x, 0x00)));
      g = _mm_add_ps(g, _mm_mul_ps(w3, _mm_shuffle_ps(x, x, 0x55)));
      g = _mm_add_ps(g, _mm_mul_ps(w4, _mm_shuffle_ps(x, x, 0xAA)));
      g = _mm_add_ps(g, _mm_mul_ps(w5, _mm_shuffle_ps(x, x, 0xFF)));
      const __m128d g01 = _mm_cvtps_pd(g), g23 = _mm_cvtps_pd(_mm_movehl_ps(g, g));
      const __m128d y01 =
          _mm_add_pd(_mm_add_pd(g01, _mm_mul_pd(from2_01, y_2)), _mm_mul_pd(from1_01, y_1));
      const __m128d y23 =
          _mm_add_pd(_mm_add_pd(g23, _mm_mul_pd(from2_23, y_2)), _mm_mul_pd(from1_23, y_1));
      _mm_storeu_ps(out + n, _mm_movelh_ps(_mm_cvtpd_ps(y01), _mm_cvtpd_ps(y23)));
      x_2 = _mm_shuffle_ps(x, x, 0xAA);
      x_1 = _mm_shuffle_ps(x, x, 0xFF);
      y_2 = _mm_unpacklo_pd(y23, y23);
      y_1 = _mm_unpackhi_pd(y23, y23);
    }
    s = {_mm_cvtss_f32(x_1), _mm_cvtss_f32(x_2), _mm_cvtsd_f64(y_1), _mm_cvtsd_f64(y_2)};
  }
#else
  for (; n + 4 <= count; n += 4) {
    const std::array<float, 6> x{
        static_cast<float>(s.x2), static_cast<float>(s.x1), in[n], in[n + 1], in[n + 2], in[n + 3]};
    std::array<double, 4> y;
    for (int k = 0; k < 4; ++k) {
      float g = f.inputs[0][k] * x[0] + f.inputs[1][k] * x[1];
      for (int i = 2; i < 6; ++i) g += f.inputs[i][k] * x[i];
      y[k] = (static_cast<double>(g) + q[k] * s.y2) + p[k] * s.y1;
      out[n + k] = static_cast<float>(y[k]);
    }
    s = {x[5], x[4], y[3], y[2]};
  }
#endif
  for (; n < count; ++n) out[n] = static_cast<float>(Filter(f.c, s, in[n]));
  state = s;
}

}  // namespace brumlet::sampler
