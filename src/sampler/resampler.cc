#include "sampler/resampler.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <numbers>
#include <vector>

namespace brumlet::sampler {
namespace {

constexpr int kTaps = 2 * kKernelHalfWidth;
constexpr int kPhases = 512;
// Kaiser's beta for about 87 dB of stopband over a transition from 0.45 to 0.55 of the rate with
// 56 taps: beta = 0.1102 (A - 8.7), A = 14.36 x 0.1 x 55 + 7.95.
constexpr double kKaiserBeta = 8.6;
// The accumulators run eight lanes wide, which the compiler turns into vector registers.
constexpr int kLanes = 8;
static_assert(kTaps % kLanes == 0);
// The stretched kernel reads up to 2 x 28 x 16 + 1 frames, padded to whole lanes.
constexpr int kMaxWindow =
    (static_cast<int>(2 * kKernelHalfWidth * kMaxKernelStretch) + 1 + kLanes - 1) / kLanes * kLanes;
constexpr float kFullScale = 1.0f / 32768;  // the frames are gathered as they are, scaled once

double BesselI0(double x) {
  double sum = 1, term = 1;
  for (int k = 1; term > 1e-17 * sum; ++k) {
    term *= (x / (2 * k)) * (x / (2 * k));
    sum += term;
  }
  return sum;
}

// The windowed sinc at `x` source frames from the centre.
double KernelAt(double x) {
  if (std::abs(x) >= kKernelHalfWidth) return 0;
  const double r = x / kKernelHalfWidth;
  const double window = BesselI0(kKaiserBeta * std::sqrt(1 - r * r)) / BesselI0(kKaiserBeta);
  const double sinc = x == 0 ? 1 : std::sin(std::numbers::pi * x) / (std::numbers::pi * x);
  return sinc * window;
}

// The kernel twice, for the two ways it is read. `rows` by phase: row p holds the 56 taps of a
// position p / kPhases past a source frame, the one the unstretched read takes whole, so its
// inner loop runs over adjacent values. `fine` by position: the kernel every 1/kPhases frame
// from -28 to 28, for a stretched read, whose taps fall anywhere. Each comes with the
// differences to its next entry, so that interpolating is one multiply-add.
struct KernelTable {
  std::vector<float> rows, row_deltas;  // (kPhases + 1) x kTaps
  // kTaps x kPhases + 1 pairs of a value and its difference to the next, side by side: the
  // stretched read fetches both of a pair at once.
  std::vector<std::array<float, 2>> fine;
};

KernelTable BuildKernelTable() {
  KernelTable t;
  t.rows.resize((kPhases + 1) * kTaps);
  t.row_deltas.resize(t.rows.size());
  for (int p = 0; p <= kPhases; ++p) {
    for (int j = 0; j < kTaps; ++j) {
      t.rows[p * kTaps + j] =
          static_cast<float>(KernelAt(j - kKernelHalfWidth + 1 - static_cast<double>(p) / kPhases));
    }
  }
  for (int i = 0; i < kPhases * kTaps; ++i) t.row_deltas[i] = t.rows[i + kTaps] - t.rows[i];
  t.fine.resize(kTaps * kPhases + 1);
  for (std::size_t u = 0; u < t.fine.size(); ++u) {
    t.fine[u][0] =
        static_cast<float>(KernelAt(static_cast<double>(u) / kPhases - kKernelHalfWidth));
  }
  for (std::size_t u = 0; u + 1 < t.fine.size(); ++u)
    t.fine[u][1] = t.fine[u + 1][0] - t.fine[u][0];
  return t;
}

// Built on first use and never changed: one table for the whole run.
const KernelTable& Kernel() {
  static const KernelTable table = BuildKernelTable();
  return table;
}

std::int64_t PositiveModulo(std::int64_t value, std::int64_t modulus) {
  const std::int64_t r = value % modulus;
  return r < 0 ? r + modulus : r;
}

// Where the read may take frames straight from the data: the frames before the loop's end (or
// all of them) until the position first wraps, the loop itself after.
std::int64_t DirectBegin(const ResamplerSource& s, bool wrapped) {
  return s.loops && wrapped ? s.loop_start : 0;
}
std::int64_t DirectEnd(const ResamplerSource& s) {
  return s.loops ? s.loop_end : static_cast<std::int64_t>(s.frames.size());
}

// Source frames first .. first + count - 1, as the read sees them, into `out`, for a window that
// crosses the start, the end or the loop's wrap.
void Gather(const ResamplerSource& source, bool wrapped, std::int64_t first, int count,
            float* out) {
  const std::int16_t* frames = source.frames.data();
  std::int64_t i = first;
  if (!source.loops || !wrapped) {
    for (; count > 0 && i < 0; --count, ++i) *out++ = 0;
    const int direct = static_cast<int>(std::clamp<std::int64_t>(DirectEnd(source) - i, 0, count));
    for (int n = 0; n < direct; ++n) out[n] = frames[i + n];
    out += direct;
    count -= direct;
    i += direct;
    if (!source.loops) {
      std::fill(out, out + count, 0.0f);
      return;
    }
  }
  const std::int64_t loop_length = source.loop_end - source.loop_start;
  std::int64_t j = source.loop_start + PositiveModulo(i - source.loop_start, loop_length);
  for (; count > 0; --count) {
    *out++ = frames[j];
    if (++j == source.loop_end) j = source.loop_start;
  }
}

float Sum(const std::array<float, kLanes>& acc) {
  return ((acc[0] + acc[1]) + (acc[2] + acc[3])) + ((acc[4] + acc[5]) + (acc[6] + acc[7]));
}

// The unstretched kernel at one phase, interpolated `fraction` of the way to the next, over 56
// frames. Eight accumulators, so that the sum is not one long chain of dependent additions.
template <typename Sample>
float DotRow(const float* __restrict values, const float* __restrict deltas, float fraction,
             const Sample* __restrict x) {
  std::array<float, kLanes> acc{};
  for (int j = 0; j < kTaps; j += kLanes) {
    for (int l = 0; l < kLanes; ++l) {
      acc[l] += (values[j + l] + fraction * deltas[j + l]) * static_cast<float>(x[j + l]);
    }
  }
  return Sum(acc);
}

// The stretched kernel over `taps` frames (padded with zeros to whole lanes): tap j lies at
// u0 + j x spacing in `fine`'s steps. The taps' places are worked out in one loop and the table
// read in another, so that the first and the final sum run on vectors; only the reads, which
// land anywhere, go one by one.
template <typename Sample>
float DotStretched(const KernelTable& kernel, float u0, float spacing, int taps,
                   const Sample* __restrict x) {
  constexpr int kLast = kTaps * kPhases;
  alignas(32) std::array<int, kMaxWindow> index;
  alignas(32) std::array<float, kMaxWindow> coefficient;
  const int padded = (taps + kLanes - 1) / kLanes * kLanes;
  for (int j = 0; j < padded; ++j) {
    const float u = u0 + static_cast<float>(j) * spacing;
    index[j] = std::clamp(static_cast<int>(u), 0, kLast);
    coefficient[j] = u - static_cast<float>(index[j]);
  }
  for (int j = 0; j < padded; ++j) {
    const std::array<float, 2>& pair = kernel.fine[static_cast<std::size_t>(index[j])];
    coefficient[j] = pair[0] + coefficient[j] * pair[1];
  }
  std::array<float, kLanes> acc{};
  for (int j = 0; j + kLanes <= taps; j += kLanes) {
    for (int l = 0; l < kLanes; ++l) acc[l] += coefficient[j + l] * static_cast<float>(x[j + l]);
  }
  for (int j = taps / kLanes * kLanes; j < taps; ++j)
    acc[0] += coefficient[j] * static_cast<float>(x[j]);
  return Sum(acc);
}

float ReadOne(const KernelTable& kernel, const ResamplerSource& source, const ReadPosition& at,
              double step) {
  alignas(32) std::array<float, kMaxWindow> window;
  const std::int16_t* frames = source.frames.data();
  const std::int64_t begin = DirectBegin(source, at.wrapped), end = DirectEnd(source);
  if (step <= 1) {
    const double base = std::floor(at.frame);
    const double phase = (at.frame - base) * kPhases;
    const int row = std::min(static_cast<int>(phase), kPhases - 1);
    const auto fraction = static_cast<float>(phase - row);
    const float* values = &kernel.rows[static_cast<std::size_t>(row) * kTaps];
    const float* deltas = &kernel.row_deltas[static_cast<std::size_t>(row) * kTaps];
    const std::int64_t first = static_cast<std::int64_t>(base) - kKernelHalfWidth + 1;
    if (first >= begin && first + kTaps <= end) {
      return DotRow(values, deltas, fraction, frames + first) * kFullScale;
    }
    Gather(source, at.wrapped, first, kTaps, window.data());
    return DotRow(values, deltas, fraction, window.data()) * kFullScale;
  }
  // Stretched by the step: the kernel's cutoff falls to the output's Nyquist frequency, so it
  // spans `reach` source frames either side and its taps are 1/stretch of a crossing apart.
  const double stretch = std::min(step, kMaxKernelStretch);
  const double reach = kKernelHalfWidth * stretch;
  const auto first = static_cast<std::int64_t>(std::floor(at.frame - reach)) + 1;
  const auto last = static_cast<std::int64_t>(std::ceil(at.frame + reach)) - 1;
  const int taps = static_cast<int>(std::min<std::int64_t>(last - first + 1, kMaxWindow));
  const auto spacing = static_cast<float>(kPhases / stretch);
  const auto u0 = static_cast<float>(
      ((static_cast<double>(first) - at.frame) / stretch + kKernelHalfWidth) * kPhases);
  const float scale = static_cast<float>(kFullScale / stretch);
  if (first >= begin && first + taps <= end) {
    return DotStretched(kernel, u0, spacing, taps, frames + first) * scale;
  }
  Gather(source, at.wrapped, first, taps, window.data());
  return DotStretched(kernel, u0, spacing, taps, window.data()) * scale;
}

}  // namespace

void ReadFrames(const ResamplerSource& source, ReadPosition& at, double step, double slope,
                std::span<float> out) {
  const KernelTable& kernel = Kernel();
  for (std::size_t n = 0; n < out.size(); ++n) {
    const double s = step + slope * static_cast<double>(n);
    out[n] = ReadOne(kernel, source, at, s);
    Advance(source, at, s);
  }
}

void Advance(const ResamplerSource& source, ReadPosition& at, double step) {
  at.frame += step;
  if (source.loops && at.frame >= source.loop_end) {
    const double length = source.loop_end - source.loop_start;
    at.frame = source.loop_start + std::fmod(at.frame - source.loop_start, length);
    at.wrapped = true;
  }
}

bool ReadsPastEnd(const ResamplerSource& source, const ReadPosition& at, double step) {
  const double reach = kKernelHalfWidth * std::clamp(step, 1.0, kMaxKernelStretch);
  return !source.loops && at.frame - reach >= static_cast<double>(source.frames.size());
}

}  // namespace brumlet::sampler
