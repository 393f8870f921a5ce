#include "levels.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace brumlet::measure {
namespace {

// The attack has peaked where the level first comes this close to its highest: a sustained
// level wavers by a fraction of a decibel, and a slow attack spends long near the top.
constexpr double kPeakDb = 0.5;

}  // namespace

std::vector<double> LevelCurveDb(const Rendered& signal, double window, double step) {
  std::vector<double> curve;
  const auto length = static_cast<std::size_t>(window * signal.rate);
  const auto hop = std::max<std::size_t>(1, static_cast<std::size_t>(step * signal.rate));
  for (std::size_t at = 0; at + length <= signal.mono.size(); at += hop) {
    double sum = 0;
    for (std::size_t i = at; i < at + length; ++i) sum += signal.mono[i] * signal.mono[i];
    curve.push_back(10 * std::log10(std::max(sum / static_cast<double>(length), 1e-20)));
  }
  return curve;
}

double AttackPeakSeconds(const Rendered& signal, double until) {
  constexpr double kStep = 0.001, kWindow = 0.02;
  const std::vector<double> curve = LevelCurveDb(signal, kWindow, kStep);
  const auto end = curve.begin() + static_cast<std::ptrdiff_t>(std::min(
                                       curve.size(), static_cast<std::size_t>(until / kStep)));
  const double peak = *std::max_element(curve.begin(), end);
  const auto first =
      std::find_if(curve.begin(), end, [peak](double db) { return db >= peak - kPeakDb; });
  return static_cast<double>(first - curve.begin()) * kStep + kWindow / 2;
}

double LevelDb(const Rendered& signal, double begin, double end) {
  const std::size_t from = FrameAt(signal, begin), to = FrameAt(signal, end);
  double sum = 0;
  for (std::size_t i = from; i < to; ++i) sum += signal.mono[i] * signal.mono[i];
  return 10 * std::log10(
                  std::max(sum / static_cast<double>(std::max<std::size_t>(1, to - from)), 1e-20));
}

double FallSeconds(const Rendered& signal, double note_off, double drop_db) {
  constexpr double kStep = 0.001, kWindow = 0.01;
  const double target = LevelDb(signal, note_off - 0.05, note_off) - drop_db;
  const std::vector<double> curve = LevelCurveDb(signal, kWindow, kStep);
  // A window's level is that of its middle.
  for (auto i = static_cast<std::size_t>(std::max(0.0, note_off / kStep)); i < curve.size(); ++i) {
    if (curve[i] <= target) return static_cast<double>(i) * kStep + kWindow / 2 - note_off;
  }
  return -1;
}

}  // namespace brumlet::measure
