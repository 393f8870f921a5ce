#include "sampler/resampler.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <limits>
#include <numbers>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace brumlet::sampler {
namespace {

// The wide kernel.
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

// The unit kernel: 40 taps, its passband allowed to sag by 0.45 of the rate, so that the
// transition starts before 0.45 and the stopband from 0.55 lies deeper. With its cutoff at the
// Nyquist frequency a Kaiser window keeps both edges alike, 0.006 dB and 63 dB at best with 40
// taps (76 dB with 48). Searched over cutoffs and betas, the passband within 0.09 dB of unity:
// the cutoff at 0.4945 of the rate and beta 6.95 give a passband from +0.002 to -0.088 dB and a
// stopband from 0.55 up 71.2 dB down. Unity at low frequencies, as the wide kernel has it: a
// render peaks where it did, and is scaled down to fit full scale where it was.
constexpr int kUnitKernelHalfWidth = 20;
constexpr int kUnitTaps = 2 * kUnitKernelHalfWidth;
constexpr double kUnitKaiserBeta = 6.95;
constexpr double kUnitCutoff = 0.4945;
// 4096 phases: taking the phase a position falls in moves it by up to 1/8192 of a frame, which
// for a tone at 0.45 of the rate is an error about 74 dB down (2 pi 0.45 / (4096 sqrt 12)), and
// less for lower tones. The table is 4096 x 40 x 2 bytes, 320 KiB.
constexpr int kUnitPhaseBits = 12;
constexpr int kUnitPhases = 1 << kUnitPhaseBits;
// The products of 16-bit taps and frames are summed in four 32-bit lanes, each over two adjacent
// taps of every 8, as SSE2's multiply-add pairs them. Every lane's taps must add up to at most
// 65535 in magnitude, so that no sum of full-scale frames can leave 32 bits.
constexpr int kLaneCount = 4;
constexpr std::int64_t kLaneLimit = 65535;
static_assert(kUnitTaps % 8 == 0);
static_assert(kLaneLimit * 32768 <= std::numeric_limits<std::int32_t>::max());

// The Kaiser window of `beta` over `half_width` frames either side, by I0's series: I0(z) is the
// sum over k of ((z / 2)^k / k!)^2. With beta at most 8.6, z^2 / 4 is at most 18.5 and 32 terms
// leave the rest below 10^-30 of the sum. A fixed number of terms lets many places be summed
// side by side, on vectors: the tables take a few hundred thousand.
class KaiserWindow {
 public:
  static constexpr int kBatch = 64;

  KaiserWindow(int half_width, double beta) : half_width_(half_width), beta_(beta) {
    double zero = 0, peak = 0;
    AtEach(&zero, &peak, 1);
    i0_beta_ = peak;
  }

  // The window at each of `count` (at most kBatch) places `x`, in frames from its centre; 0
  // outside it. Before i0_beta_ is known, I0 itself.
  void AtEach(const double* x, double* out, int count) const {
    static constexpr int kTerms = 32;
    static constexpr std::array<double, kTerms> kInverseSquares = [] {
      std::array<double, kTerms> v{};
      for (int k = 1; k < kTerms; ++k) v[k] = 1.0 / (static_cast<double>(k) * k);
      return v;
    }();
    std::array<double, kBatch> quarter_square, term, sum;
    for (int i = 0; i < count; ++i) {
      const double r = x[i] / half_width_;
      quarter_square[i] = std::abs(r) < 1 ? beta_ * beta_ * (1 - r * r) / 4 : 0;
      term[i] = 1;
      sum[i] = 1;
    }
    for (int k = 1; k < kTerms; ++k) {
      for (int i = 0; i < count; ++i) {
        term[i] *= quarter_square[i] * kInverseSquares[k];
        sum[i] += term[i];
      }
    }
    const double scale = i0_beta_ > 0 ? 1 / i0_beta_ : 1;
    for (int i = 0; i < count; ++i) out[i] = std::abs(x[i]) < half_width_ ? sum[i] * scale : 0;
  }

 private:
  int half_width_;
  double beta_;
  double i0_beta_ = 0;
};

// sin(pi x) / (pi x), given sin(pi x).
double Sinc(double x, double sin_pi_x) { return x == 0 ? 1 : sin_pi_x / (std::numbers::pi * x); }

struct KernelTable {
  // The unit kernel, by phase: row p holds the 40 taps of a position (p + 1/2) / 4096 past a
  // source frame, scaled by unit_scale, so that a steady read takes it whole over adjacent frames.
  std::vector<TapBlock> unit_rows;  // kUnitPhases x kUnitTaps
  float unit_scale = 0;             // a row's sum of products, back to full scale 1.0
  // The wide kernel, by position: every 1/kPhases frame from -28 to 28, for a stretched read,
  // whose taps fall anywhere. Pairs of a value and its difference to the next, side by side: the
  // stretched read fetches both of a pair at once and interpolates with one multiply-add.
  std::vector<std::array<float, 2>> fine;  // kTaps x kPhases + 1
  // The same kernel by phase, for a read frame by frame at a step of at most 1: row p holds the
  // 56 taps of a position p / kPhases past a source frame, taken whole, with the differences to
  // the next row.
  std::vector<float> rows, row_deltas;  // (kPhases + 1) x kTaps
};

// Tabulates `count` rows of `taps` values (a multiple of 8), row r as `row(r, values)` gives it,
// as 16-bit taps into `out`, as large as they can be: 32767 for the largest, unless a lane's taps
// would add up to more than kLaneLimit (each rounded tap is at most half a step larger). The rows
// are worked out twice, once for the scale and once to round them, rather than kept: the unit
// kernel's would take 1.3 MB. Returns the scale they were multiplied by.
template <typename Row>
double TabulateRows(int count, int taps, const Row& row, std::vector<TapBlock>& out) {
  std::vector<double> values(static_cast<std::size_t>(taps));
  double largest = 0, widest_lane = 0;
  for (int r = 0; r < count; ++r) {
    row(r, values.data());
    for (int lane = 0; lane < kLaneCount; ++lane) {
      double sum = 0;
      for (int j = 2 * lane; j < taps; j += 8) sum += std::abs(values[j]) + std::abs(values[j + 1]);
      widest_lane = std::max(widest_lane, sum);
    }
    for (double value : values) largest = std::max(largest, std::abs(value));
  }
  const double taps_per_lane = static_cast<double>(taps) / kLaneCount;
  const double scale =
      std::min(32767 / largest, (static_cast<double>(kLaneLimit) - taps_per_lane / 2) / widest_lane);
  const auto blocks = static_cast<std::size_t>(count) * static_cast<std::size_t>(taps / 8);
  if (out.size() < blocks) out.resize(blocks);
  for (int r = 0; r < count; ++r) {
    row(r, values.data());
    TapBlock* blocks_of_row = &out[static_cast<std::size_t>(r) * static_cast<std::size_t>(taps / 8)];
    for (int j = 0; j < taps; ++j) {
      blocks_of_row[j / 8].taps[j % 8] = static_cast<std::int16_t>(std::lround(values[j] * scale));
    }
  }
  return scale;
}

void BuildUnitRows(KernelTable& t) {
  const KaiserWindow window(kUnitKernelHalfWidth, kUnitKaiserBeta);
  // sin(2 pi c x) along a row, whose taps are a frame apart: sin(a + b) from a row's first tap
  // (a) and the same steps of j frames (b) for every row.
  constexpr double kTurn = 2 * std::numbers::pi * kUnitCutoff;
  std::array<double, kUnitTaps> cos_step, sin_step;
  for (int j = 0; j < kUnitTaps; ++j) {
    cos_step[j] = std::cos(kTurn * j);
    sin_step[j] = std::sin(kTurn * j);
  }
  const double gain = 2 * kUnitCutoff;
  // Row p at phase f and row 4095 - p at 1 - f are each other's mirror image.
  const auto row = [&](int p, double* values) {
    const bool mirrored = p >= kUnitPhases / 2;
    const double phase = ((mirrored ? kUnitPhases - 1 - p : p) + 0.5) / kUnitPhases;
    std::array<double, kUnitTaps> x, w;
    for (int j = 0; j < kUnitTaps; ++j) x[j] = j - (kUnitKernelHalfWidth - 1) - phase;
    window.AtEach(x.data(), w.data(), kUnitTaps);
    const double sin_first = std::sin(kTurn * x[0]), cos_first = std::cos(kTurn * x[0]);
    for (int j = 0; j < kUnitTaps; ++j) {
      const double sin_here = sin_first * cos_step[j] + cos_first * sin_step[j];
      values[mirrored ? kUnitTaps - 1 - j : j] =
          gain * Sinc(2 * kUnitCutoff * x[j], sin_here) * w[j];
    }
  };
  const double scale = TabulateRows(kUnitPhases, kUnitTaps, row, t.unit_rows);
  t.unit_scale = static_cast<float>(1 / (scale * 32768));
}

KernelTable BuildKernelTable() {
  KernelTable t;
  BuildUnitRows(t);
  const KaiserWindow window(kKernelHalfWidth, kKaiserBeta);
  t.fine.resize(kTaps * kPhases + 1);
  std::array<double, KaiserWindow::kBatch> x, w;
  for (std::size_t u = 0; u < t.fine.size(); u += x.size()) {
    const int count = static_cast<int>(std::min(x.size(), t.fine.size() - u));
    for (int i = 0; i < count; ++i) {
      x[i] = static_cast<double>(u + i) / kPhases - kKernelHalfWidth;
    }
    window.AtEach(x.data(), w.data(), count);
    for (int i = 0; i < count; ++i) {
      t.fine[u + i][0] = static_cast<float>(Sinc(x[i], std::sin(std::numbers::pi * x[i])) * w[i]);
    }
  }
  for (std::size_t u = 0; u + 1 < t.fine.size(); ++u)
    t.fine[u][1] = t.fine[u + 1][0] - t.fine[u][0];
  // Tap j of row p lies at j - 27 - p / kPhases frames, which `fine` holds at (j + 1) x kPhases
  // - p.
  t.rows.resize((kPhases + 1) * kTaps);
  t.row_deltas.resize(t.rows.size());
  for (int p = 0; p <= kPhases; ++p) {
    for (int j = 0; j < kTaps; ++j) t.rows[p * kTaps + j] = t.fine[(j + 1) * kPhases - p][0];
  }
  for (int i = 0; i < kPhases * kTaps; ++i) t.row_deltas[i] = t.rows[i + kTaps] - t.rows[i];
  return t;
}

// Built on first use and never changed: one table for the whole run.
const KernelTable& Kernel() {
  static const KernelTable table = BuildKernelTable();
  return table;
}

// A sum of products of 16-bit taps and frames over `taps` frames (a multiple of 8), in four
// lanes of 32-bit integers (exact, see kLaneLimit), the lanes then added as floats in a fixed
// order: SSE2's multiply-add and the plain loop give the same bits. kTaps > 0 fixes the count.
template <int kTaps>
inline float DotInt16(const TapBlock* __restrict taps, const std::int16_t* __restrict x,
                      int count) {
  if constexpr (kTaps > 0) count = kTaps;
#if defined(__SSE2__)
  const auto block = [taps](int j) {
    return _mm_load_si128(reinterpret_cast<const __m128i*>(taps[j / 8].taps.data()));
  };
  const auto frames = [x](int j) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(x + j));
  };
  __m128i sum = _mm_madd_epi16(block(0), frames(0));
  for (int j = 8; j < count; j += 8) sum = _mm_add_epi32(sum, _mm_madd_epi16(block(j), frames(j)));
  const __m128 lanes = _mm_cvtepi32_ps(sum);
  const __m128 halves = _mm_add_ps(lanes, _mm_movehl_ps(lanes, lanes));  // 0 + 2, 1 + 3
  return _mm_cvtss_f32(_mm_add_ss(halves, _mm_shuffle_ps(halves, halves, 1)));
#else
  std::array<std::int32_t, kLaneCount> lane{};
  for (int j = 0; j < count; j += 8) {
    const std::array<std::int16_t, 8>& t = taps[j / 8].taps;
    for (int l = 0; l < kLaneCount; ++l) {
      lane[l] += t[2 * l] * x[j + 2 * l] + t[2 * l + 1] * x[j + 2 * l + 1];
    }
  }
  return (static_cast<float>(lane[0]) + static_cast<float>(lane[2])) +
         (static_cast<float>(lane[1]) + static_cast<float>(lane[3]));
#endif
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
template <typename Sample>
void Gather(const ResamplerSource& source, bool wrapped, std::int64_t first, int count,
            Sample* out) {
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
      std::fill(out, out + count, Sample{0});
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

// The unstretched wide kernel at one phase, interpolated `fraction` of the way to the next, over
// 56 frames. Eight accumulators, so that the sum is not one long chain of dependent additions.
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
    alignas(32) std::array<float, kTaps> window;
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
  alignas(32) std::array<float, kMaxWindow> window;
  Gather(source, at.wrapped, first, taps, window.data());
  return DotStretched(kernel, u0, spacing, taps, window.data()) * scale;
}

constexpr std::int64_t kOne = std::int64_t{1} << kSteadyFractionBits;

// The wide kernel, interpolated in `fine`, at `x` unstretched frames from its centre.
double FineKernelAt(const KernelTable& kernel, double x) {
  const double u = (x + kKernelHalfWidth) * kPhases;
  if (!(u >= 0 && u < kTaps * kPhases)) return 0;
  const auto index = static_cast<std::size_t>(u);
  const std::array<float, 2>& pair = kernel.fine[index];
  return pair[0] + (u - static_cast<double>(index)) * pair[1];
}

// The wide kernel for one step above 1, as a steady read takes it: rows at 256 / stretch
// phases (at least 16; a higher phase interpolated is an error of about (f / phases)^2 for a tone
// at f cycles a source frame, and below the output's Nyquist frequency f is at most 0.5 /
// stretch), one more row for the interpolation to reach phase 1, `taps` frames from
// frame - left each.
void TabulateStretched(const KernelTable& kernel, double step, SteadyRead& read,
                       SteadyBuffers& buffers) {
  const double stretch = std::min(step, kMaxKernelStretch);
  const auto reach = static_cast<int>(std::ceil(kKernelHalfWidth * stretch));
  read.left = reach - 1;
  read.taps = (2 * reach + 1 + 7) / 8 * 8;
  read.phase_bits = std::clamp(static_cast<int>(std::ceil(std::log2(256 / stretch))), 4, 8);
  read.interpolated = true;
  const int phases = 1 << read.phase_bits;
  const auto row = [&kernel, &read, phases, stretch](int p, double* values) {
    const double phase = static_cast<double>(p) / phases;
    for (int j = 0; j < read.taps; ++j) {
      values[j] = FineKernelAt(kernel, (j - read.left - phase) / stretch) / stretch;
    }
  };
  const double scale = TabulateRows(phases + 1, read.taps, row, buffers.rows);
  read.scale = static_cast<float>(1 / (scale * 32768));
  read.rows = buffers.rows.data();
}

template <bool kInterpolated, int kTaps>
void ReadSteady(const SteadyRead& read, SteadyPosition& at, std::span<float> out) {
  // The read's numbers in locals: the compiler cannot tell that storing `out` leaves them be.
  const int taps = kTaps > 0 ? kTaps : read.taps;
  const int row_shift = kSteadyFractionBits - read.phase_bits;
  const TapBlock* const rows = read.rows;
  const std::int16_t* const first = read.first - read.left;
  const std::int64_t step = read.step;
  const float scale = read.scale;
  [[maybe_unused]] const std::int64_t fraction_mask = (std::int64_t{1} << row_shift) - 1;
  [[maybe_unused]] const float fraction_scale =
      1 / static_cast<float>(std::int64_t{1} << row_shift);
  std::int64_t limit = !read.loops  ? read.end
                       : at.wrapped ? read.wrap
                                    : read.first_wrap;
  std::int64_t position = at.fixed;
  bool read_out = at.read_out || (!read.loops && position >= limit);
  std::size_t n = 0;
  for (; n < out.size() && !read_out; ++n) {
    const std::int64_t phase = position & (kOne - 1);
    const TapBlock* row = rows + static_cast<std::size_t>(phase >> row_shift) * (taps / 8);
    const std::int16_t* x = first + (position >> kSteadyFractionBits);
    if constexpr (kInterpolated) {
      const float here = DotInt16<kTaps>(row, x, taps);
      const float next = DotInt16<kTaps>(row + taps / 8, x, taps);
      const float fraction = static_cast<float>(phase & fraction_mask) * fraction_scale;
      out[n] = (here + fraction * (next - here)) * scale;
    } else {
      out[n] = DotInt16<kTaps>(row, x, taps) * scale;
    }
    position += step;
    if (position >= limit) {
      if (!read.loops) {
        read_out = true;
      } else if (at.wrapped) {
        position -= read.wrap_back;
      } else {
        position += read.first_shift;
        at.wrapped = true;
        limit = read.wrap;
      }
    }
  }
  std::fill(out.begin() + static_cast<std::ptrdiff_t>(n), out.end(), 0.0f);
  at.fixed = position;
  at.read_out = read_out;
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

bool ReadsSteadily(double step) { return step > 0 && step <= kMaxKernelStretch; }

// The copy holds the frames the read sees: silence, the source's frames, then silence or the
// loop again and again. After the position first passes loop_end, every window must lie within
// the repeated loop (at or after loop_start): a loop shorter than the window's left part moves
// the position on by whole loops there. From then on it moves back by whole loops, at least 64
// frames' worth (more than a step), whenever it passes `wrap`.
SteadyRead LayOutSteadyRead(const ResamplerSource& source, double step, double start,
                            std::int64_t output_frames, SteadyBuffers& buffers) {
  constexpr std::int64_t kLeastWrap = 64;
  const KernelTable& kernel = Kernel();
  SteadyRead read;
  read.step = std::llround(std::ldexp(step, kSteadyFractionBits));
  if (step <= 1) {
    read.rows = kernel.unit_rows.data();
    read.taps = kUnitTaps;
    read.left = kUnitKernelHalfWidth - 1;
    read.phase_bits = kUnitPhaseBits;
    read.scale = kernel.unit_scale;
  } else {
    TabulateStretched(kernel, step, read, buffers);
  }
  read.loops = source.loops;
  // The last frame a window is centred on before a wrap: the read never gets further. A place
  // beyond it (a bank's frame numbers go far past what a position in fixed point holds) is
  // never reached.
  const auto reach = static_cast<std::int64_t>(start + static_cast<double>(output_frames) * step);
  constexpr std::int64_t kNever = std::numeric_limits<std::int64_t>::max();
  std::int64_t last = reach;
  if (source.loops) {
    const std::int64_t length = source.loop_end - source.loop_start;
    const std::int64_t shift =
        (std::max<std::int64_t>(read.left - length, 0) + length - 1) / length * length;
    const std::int64_t back = (kLeastWrap + length - 1) / length * length;
    read.first_wrap = kNever;
    if (source.loop_end <= reach + 1) {
      read.first_wrap = source.loop_end * kOne;
      read.first_shift = shift * kOne;
      read.wrap = (source.loop_end + shift + back) * kOne;
      read.wrap_back = back * kOne;
      last = std::min(reach + shift, source.loop_end + shift + back - 1);
    }
  } else {
    const auto frames = static_cast<std::int64_t>(source.frames.size());
    read.end = frames + read.left <= reach + 1 ? (frames + read.left) * kOne : kNever;
    last = std::min(reach, frames + read.left - 1);
  }
  // Frames -left .. end - 1 of the read's view.
  const std::int64_t end = std::max<std::int64_t>(last - read.left + read.taps, 0);
  const auto size = static_cast<std::size_t>(read.left + end);
  // Grown only: a resize to fewer frames and back would clear the frames between again.
  if (buffers.frames.size() < size) buffers.frames.resize(size);
  std::int16_t* first = buffers.frames.data() + read.left;
  std::fill(buffers.frames.data(), first, std::int16_t{0});
  const std::int64_t direct = std::min(DirectEnd(source), end);
  std::copy_n(source.frames.data(), direct, first);
  if (source.loops) {
    const std::int64_t length = source.loop_end - source.loop_start;
    for (std::int64_t i = direct; i < end; ++i) first[i] = first[i - length];
  } else {
    std::fill(first + direct, first + end, std::int16_t{0});
  }
  read.first = first;
  return read;
}

SteadyPosition SteadyStart(double frame) {
  return {std::llround(std::ldexp(frame, kSteadyFractionBits)), false, false};
}

void ReadSteadyFrames(const SteadyRead& read, SteadyPosition& at, std::span<float> out) {
  if (read.interpolated) {
    ReadSteady<true, 0>(read, at, out);
  } else if (read.taps == kUnitTaps) {
    ReadSteady<false, kUnitTaps>(read, at, out);
  } else {
    ReadSteady<false, 0>(read, at, out);
  }
}

}  // namespace brumlet::sampler
