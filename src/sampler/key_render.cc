#include "sampler/key_render.h"

#include <algorithm>
#include <array>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "sampler/biquad.h"
#include "sampler/envelope_generator.h"
#include "sampler/resampler.h"

namespace brumlet::sampler {
namespace {

// The SoundFont filter's cutoff at 0 absolute cents.
constexpr double kCutoffBaseHz = 8.176;
constexpr double kLowestCutoffHz = 20;
constexpr double kHighestCutoffRatio = 0.45;  // of the output rate
// Below this the filter's state is nothing a 16-bit render can show, and it is cleared before
// it decays into subnormal numbers, which are slow on most processors.
constexpr double kRungOut = 1e-30;

double CutoffHz(double cents) { return kCutoffBaseHz * std::exp2(cents / 1200); }

// Whether the voice's cutoff can ever come below where the filter stops. The modulation envelope
// lies between 0 and 1, so the lowest cutoff is the plain one or that one moved by the whole
// envelope amount.
bool NeedsFilter(const RenderVoice& v, double rate) {
  const double lowest = v.filter_cutoff_cents + std::min(0.0, v.mod_env_to_filter_cents);
  return v.filter_q_db > 0 || CutoffHz(lowest) < kHighestCutoffRatio * rate;
}

double FilterCutoffCents(const RenderVoice& v, double seconds) {
  return v.filter_cutoff_cents +
         ModulationLevelAt(v.modulation, seconds) * v.mod_env_to_filter_cents;
}

double FilterCutoffHz(double cents, double rate) {
  return std::clamp(CutoffHz(cents), kLowestCutoffHz, kHighestCutoffRatio * rate);
}

// Rounding without a call per frame: a float from -2^22 to 2^22 plus 1.5 x 2^23 lands where
// floats are whole numbers, so the addition rounds it to the nearest one, ties to even, and the
// subtraction gives that back exactly (the compiler may not merge the two: no -ffast-math).
// ToInt16 runs four frames at a time with SSE2 where it can: GCC vectorises neither its peak nor
// the conversion, whose test for finite values it will not turn into a select. The frames the
// vectors leave take the same steps one by one, with the same results.
static_assert(FLT_EVAL_METHOD == 0, "the rounding needs additions in float, not wider");
constexpr float kRounder = 12582912.0f;
constexpr float kLargestFloat = std::numeric_limits<float>::max();

// |x|, or 0 where x is not finite.
float FiniteMagnitude(float x) {
  const float magnitude = std::abs(x);
  return magnitude <= kLargestFloat ? magnitude : 0.0f;
}

bool RungOut(const BiquadState& s) {
  return std::abs(s.x1) < kRungOut && std::abs(s.x2) < kRungOut && std::abs(s.y1) < kRungOut &&
         std::abs(s.y2) < kRungOut;
}

// Adds the voice into `out`, whose frames from `fresh` on hold nothing yet and are written, not
// added to. Returns the end of the frames the voice wrote: it stops once silent for good.
std::size_t AddVoice(const RenderVoice& v, double rate, double extra_cents, std::span<float> out,
                     std::size_t fresh, RenderScratch& scratch) {
  const ResamplerSource source{v.frames, v.loops, v.loop_start, v.loop_end};
  ReadPosition at;
  VolumeRun volume = StartVolumeRun(v.volume, rate);
  const bool filtered = NeedsFilter(v, rate);
  const double q = ResonanceQ(v.filter_q_db);
  const bool filter_sweeps = filtered && v.mod_env_to_filter_cents != 0;
  BiquadFourFrames filter;
  double cutoff_cents = 0, cutoff_hz = 0;
  if (filtered) {
    cutoff_cents = FilterCutoffCents(v, 0);
    cutoff_hz = FilterCutoffHz(cutoff_cents, rate);
    filter = FourFrames(LowPass(cutoff_hz, rate, q));
  }
  BiquadState state;
  const bool sweeps = v.mod_env_to_pitch_cents != 0;
  double step_start = ReadStep(v, rate, 0, extra_cents);
  // The common case: one step, read from a copy laid out for it.
  const bool steady = !sweeps && ReadsSteadily(step_start);
  SteadyRead steady_read;
  SteadyPosition steady_at;
  if (steady) {
    steady_read = LayOutSteadyRead(source, step_start, 0, static_cast<std::int64_t>(out.size()),
                                   scratch.steady);
  }
  bool read_out = false;
  const std::size_t frames = out.size();
  static_assert(kControlFrames <= kVolumeBlockFrames);
  std::array<float, kControlFrames> read{}, shaped, levels;
  for (std::size_t block = 0; block < frames; block += kControlFrames) {
    const double seconds = static_cast<double>(block) / rate;
    const double step_end =
        sweeps ? ReadStep(v, rate, static_cast<double>(block + kControlFrames) / rate, extra_cents)
               : step_start;
    const double slope = (step_end - step_start) / kControlFrames;
    // The cutoff stops moving where the modulation envelope settles, or where it is clamped:
    // the same cutoff gives the same coefficients.
    if (filter_sweeps) {
      const double cents = FilterCutoffCents(v, seconds);
      if (cents != cutoff_cents) {
        const double hz = FilterCutoffHz(cents, rate);
        if (hz != cutoff_hz) filter = FourFrames(LowPass(hz, rate, q));
        cutoff_cents = cents;
        cutoff_hz = hz;
      }
    }
    const std::size_t count = std::min<std::size_t>(kControlFrames, frames - block);
    if (read_out) {
      read.fill(0);
    } else if (steady) {
      ReadSteadyFrames(steady_read, steady_at, std::span(read).first(count));
    } else {
      ReadFrames(source, at, step_start, slope, std::span(read).first(count));
    }
    if (filtered) FilterFrames(filter, state, read.data(), shaped.data(), static_cast<int>(count));
    const float* y = filtered ? shaped.data() : read.data();
    NextVolumeLevels(volume, v.gain, std::span(levels).first(count));
    float* to = &out[block];
    if (block + count <= fresh) {
      for (std::size_t j = 0; j < count; ++j) to[j] += levels[j] * y[j];
    } else {
      // Blocks start at multiples of kControlFrames and `fresh` is one, or the end.
      for (std::size_t j = 0; j < count; ++j) to[j] = levels[j] * y[j];
    }
    step_start = step_end;
    read_out = read_out || (steady ? steady_at.read_out : ReadsPastEnd(source, at, step_start));
    if (RungOut(state)) state = {};
    if (VolumeRunSilent(volume) || (read_out && RungOut(state))) return block + count;
  }
  return frames;
}

}  // namespace

void RenderKey(std::span<const RenderVoice> voices, const KeyRenderLayout& layout,
               std::span<float> out) {
  RenderScratch scratch;
  RenderKey(voices, layout, out, scratch);
}

void RenderKey(std::span<const RenderVoice> voices, const KeyRenderLayout& layout,
               std::span<float> out, RenderScratch& scratch) {
  out = out.first(std::min<std::size_t>(out.size(), layout.frames));
  // No clearing first: each voice writes the frames no voice before it reached.
  std::size_t written = 0;
  if (layout.rate > 0) {
    for (std::size_t i = 0; i < voices.size(); ++i) {
      const RenderVoice v = CheckedVoice(voices[i]);
      if (!Sounds(v) || v.frames.size() != v.length) continue;  // a voice laid out, not read
      const bool loop_voice = static_cast<int>(i) == layout.loop_voice;
      const double extra_cents = loop_voice ? layout.loop_pitch_error_cents : 0;
      written = std::max(written, AddVoice(v, layout.rate, extra_cents, out, written, scratch));
    }
  }
  std::fill(out.begin() + static_cast<std::ptrdiff_t>(written), out.end(), 0.0f);
}

Int16Scaling ToInt16(std::span<const float> render, std::span<std::int16_t> out) {
  std::size_t i = 0;
  float peak = 0;
#if defined(__SSE2__)
  {
    const __m128 magnitude_bits = _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF));
    const __m128 largest = _mm_set1_ps(kLargestFloat);
    __m128 peaks = _mm_setzero_ps();
    for (; i + 4 <= render.size(); i += 4) {
      const __m128 magnitude = _mm_and_ps(_mm_loadu_ps(&render[i]), magnitude_bits);
      peaks = _mm_max_ps(peaks, _mm_and_ps(magnitude, _mm_cmple_ps(magnitude, largest)));
    }
    alignas(16) std::array<float, 4> lanes;
    _mm_store_ps(lanes.data(), peaks);
    for (float lane : lanes) peak = std::max(peak, lane);
  }
#endif
  for (; i < render.size(); ++i) peak = std::max(peak, FiniteMagnitude(render[i]));
  Int16Scaling scaling;
  if (peak > 1) scaling = {true, 1.0 / peak};
  const auto gain = static_cast<float>(scaling.gain * 32768);
  const std::size_t count = std::min(render.size(), out.size());
  i = 0;
#if defined(__SSE2__)
  {
    const __m128 magnitude_bits = _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF));
    const __m128 largest = _mm_set1_ps(kLargestFloat), gains = _mm_set1_ps(gain);
    const __m128 low = _mm_set1_ps(-32768.0f), high = _mm_set1_ps(32767.0f);
    const __m128 rounder = _mm_set1_ps(kRounder);
    const auto convert = [&](const float* x) {
      const __m128 v = _mm_loadu_ps(x);
      const __m128 finite = _mm_cmple_ps(_mm_and_ps(v, magnitude_bits), largest);
      const __m128 scaled = _mm_and_ps(_mm_mul_ps(v, gains), finite);
      const __m128 clamped = _mm_min_ps(_mm_max_ps(scaled, low), high);
      return _mm_cvttps_epi32(_mm_sub_ps(_mm_add_ps(clamped, rounder), rounder));
    };
    for (; i + 8 <= count; i += 8) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(&out[i]),
                       _mm_packs_epi32(convert(&render[i]), convert(&render[i + 4])));
    }
  }
#endif
  for (; i < count; ++i) {
    const float x = std::abs(render[i]) <= kLargestFloat ? render[i] * gain : 0.0f;
    const float clamped = std::min(std::max(x, -32768.0f), 32767.0f);
    out[i] = static_cast<std::int16_t>(static_cast<std::int32_t>((clamped + kRounder) - kRounder));
  }
  return scaling;
}

}  // namespace brumlet::sampler
