#include "pitch.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <utility>
#include <vector>

#include "band_levels.h"

namespace brumlet::measure {
namespace {

// Normalised correlation of the `length` frames from `from` with those `lag` frames later.
double Correlation(const std::vector<double>& x, std::size_t from, std::size_t length,
                   std::size_t lag) {
  double xy = 0, xx = 0, yy = 0;
  for (std::size_t i = from; i < from + length; ++i) {
    xy += x[i] * x[i + lag];
    xx += x[i] * x[i];
    yy += x[i + lag] * x[i + lag];
  }
  return xx > 0 && yy > 0 ? xy / std::sqrt(xx * yy) : 0;
}

// The lag between `low` and `high` where the correlation peaks, refined between whole frames by
// the parabola through the peak and its neighbours.
double PeakLag(const std::vector<double>& x, std::size_t from, std::size_t length, std::size_t low,
               std::size_t high) {
  std::size_t best = low;
  std::vector<double> c;
  for (std::size_t lag = low - 1; lag <= high + 1; ++lag)
    c.push_back(Correlation(x, from, length, lag));
  for (std::size_t lag = low; lag <= high; ++lag) {
    if (c[lag - low + 1] > c[best - low + 1]) best = lag;
  }
  const double left = c[best - low], mid = c[best - low + 1], right = c[best - low + 2];
  const double curvature = left - 2 * mid + right;
  return static_cast<double>(best) + (curvature < 0 ? 0.5 * (left - right) / curvature : 0);
}

}  // namespace

double PitchCents(const Rendered& signal, double begin, double end, double reference_hz) {
  const std::size_t from = FrameAt(signal, begin), to = FrameAt(signal, end);
  const double period = signal.rate / reference_hz;
  const auto low = static_cast<std::size_t>(std::max(2.0, std::floor(period / 1.06)));
  const auto high = static_cast<std::size_t>(std::ceil(period * 1.06));
  if (to < from + 4 * high) return NAN;
  // One period first, found near the reference so that no octave is mistaken for it; then the
  // peak near twice as many periods each time, as far as half the part holds, which divides the
  // error by their number.
  const std::size_t half = (to - from) / 2;
  double period_found = PeakLag(signal.mono, from, half, low, high);
  for (double periods = 2; periods * period_found + 3 < static_cast<double>(half); periods *= 2) {
    const auto near = static_cast<std::size_t>(std::lround(periods * period_found));
    period_found = PeakLag(signal.mono, from, to - from - near - 3, near - 2, near + 2) / periods;
  }
  return 1200 * std::log2(signal.rate / period_found / reference_hz);
}

Partial StrongestPartial(const Rendered& signal, double begin, double low, double high,
                         double median_low, double median_high) {
  constexpr std::size_t kSize = 65536;
  Partial partial;
  const std::vector<double> power = PowerSpectrum(signal, begin, kSize);
  const double bin_hz = static_cast<double>(signal.rate) / kSize;
  auto bins = [&](double from_hz, double to_hz) {
    return std::pair(std::max<std::size_t>(1, static_cast<std::size_t>(from_hz / bin_hz) + 1),
                     std::min(kSize / 2 - 1, static_cast<std::size_t>(to_hz / bin_hz)));
  };
  const auto [first, last] = bins(low, high);
  const auto [median_first, median_last] =
      median_high > 0 ? bins(median_low, median_high) : std::pair(first, last);
  if (!(low > 0) || first >= last || median_first >= median_last) return partial;
  std::size_t best = first;
  for (std::size_t k = first; k < last; ++k) {
    if (power[k] > power[best]) best = k;
  }
  const double l = std::log(power[best - 1]), m = std::log(power[best]),
               r = std::log(power[best + 1]);
  const double curvature = l - 2 * m + r;
  partial.hz =
      (static_cast<double>(best) + (curvature < 0 ? 0.5 * (l - r) / curvature : 0)) * bin_hz;
  std::vector<double> range(power.begin() + static_cast<std::ptrdiff_t>(median_first),
                            power.begin() + static_cast<std::ptrdiff_t>(median_last));
  std::nth_element(range.begin(), range.begin() + static_cast<std::ptrdiff_t>(range.size() / 2),
                   range.end());
  partial.prominence_db = 10 * std::log10(power[best] / range[range.size() / 2]);
  partial.at_edge = best <= first + 1 || best + 2 >= last;
  return partial;
}

double PartialHz(const Rendered& signal, double begin, double low, double high) {
  return StrongestPartial(signal, begin, low, high).hz;
}

}  // namespace brumlet::measure
