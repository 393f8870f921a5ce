#include "band_levels.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>

namespace brumlet::measure {
namespace {

constexpr double kLowestBandHz = 50, kHighestBandHz = 16000;
constexpr double kBandsPerOctave = 6;
// 16384 frames: 0.37 s at 44100 Hz, the body of most drums.
constexpr std::size_t kBandsFrames = 16384;
// Bands this far under the loudest are left at that floor: a sample of 22050 Hz has nothing up
// there, and a player that does not interpolate fills them with quiet images.
constexpr double kBandsFloorDb = 40;

}  // namespace

std::vector<double> PowerSpectrum(const Rendered& signal, double begin, std::size_t size) {
  constexpr double kPi = std::numbers::pi;
  std::vector<std::complex<double>> x(size);
  const auto from = static_cast<std::size_t>(begin * signal.rate);
  for (std::size_t i = 0; i < size && from + i < signal.mono.size(); ++i) {
    x[i] = signal.mono[from + i] *
           (0.5 - 0.5 * std::cos(2 * kPi * static_cast<double>(i) / static_cast<double>(size)));
  }
  for (std::size_t i = 1, j = 0; i < size; ++i) {  // bit-reversed order, then butterflies
    std::size_t bit = size >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j ^= bit;
    if (i < j) std::swap(x[i], x[j]);
  }
  for (std::size_t len = 2; len <= size; len <<= 1) {
    const std::complex<double> w = std::polar(1.0, -2 * kPi / static_cast<double>(len));
    for (std::size_t i = 0; i < size; i += len) {
      std::complex<double> t = 1;
      for (std::size_t k = 0; k < len / 2; ++k, t *= w) {
        const std::complex<double> u = x[i + k], v = x[i + k + len / 2] * t;
        x[i + k] = u + v;
        x[i + k + len / 2] = u - v;
      }
    }
  }
  std::vector<double> power(size / 2);
  for (std::size_t k = 0; k < size / 2; ++k) power[k] = std::norm(x[k]) + 1e-30;
  return power;
}

double BandLowHz(std::size_t band) {
  return kLowestBandHz * std::exp2(static_cast<double>(band) / kBandsPerOctave);
}

std::vector<double> BandsDb(const Rendered& signal) {
  const std::vector<double> power = PowerSpectrum(signal, 0, kBandsFrames);
  std::vector<double> bands;
  for (std::size_t band = 0; BandLowHz(band) < kHighestBandHz; ++band) {
    const double low = BandLowHz(band), high = BandLowHz(band + 1);
    double sum = 0;
    for (std::size_t k = 0; k < kBandsFrames / 2; ++k) {
      const double hz = static_cast<double>(k) * signal.rate / kBandsFrames;
      if (hz >= low && hz < high) sum += power[k];
    }
    bands.push_back(10 * std::log10(sum + 1e-12));
  }
  const double floor = *std::max_element(bands.begin(), bands.end()) - kBandsFloorDb;
  for (double& band : bands) band = std::max(band, floor);
  return bands;
}

double Correlation(const std::vector<double>& a, const std::vector<double>& b) {
  const auto n = static_cast<double>(a.size());
  double ma = 0, mb = 0, ab = 0, aa = 0, bb = 0;
  for (std::size_t i = 0; i < a.size(); ++i) ma += a[i] / n, mb += b[i] / n;
  for (std::size_t i = 0; i < a.size(); ++i) {
    ab += (a[i] - ma) * (b[i] - mb);
    aa += (a[i] - ma) * (a[i] - ma);
    bb += (b[i] - mb) * (b[i] - mb);
  }
  return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0;
}

}  // namespace brumlet::measure
