#include "sampler/key_render.h"

#include <algorithm>
#include <array>
#include <cmath>

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

double FilterCutoffHz(const RenderVoice& v, double rate, double seconds) {
  const double cents =
      v.filter_cutoff_cents + ModulationLevelAt(v.modulation, seconds) * v.mod_env_to_filter_cents;
  return std::clamp(CutoffHz(cents), kLowestCutoffHz, kHighestCutoffRatio * rate);
}

bool RungOut(const BiquadState& s) {
  return std::abs(s.x1) < kRungOut && std::abs(s.x2) < kRungOut && std::abs(s.y1) < kRungOut &&
         std::abs(s.y2) < kRungOut;
}

void AddVoice(const RenderVoice& v, double rate, double extra_cents, std::span<float> out,
              RenderScratch& scratch) {
  const ResamplerSource source{v.frames, v.loops, v.loop_start, v.loop_end};
  ReadPosition at;
  VolumeRun volume = StartVolumeRun(v.volume, rate);
  const bool filtered = NeedsFilter(v, rate);
  const double q = ResonanceQ(v.filter_q_db);
  const bool filter_sweeps = filtered && v.mod_env_to_filter_cents != 0;
  BiquadCoefficients coefficients;
  if (filtered) coefficients = LowPass(FilterCutoffHz(v, rate, 0), rate, q);
  BiquadState state;
  const bool sweeps = v.mod_env_to_pitch_cents != 0;
  double step_start = ReadStep(v, rate, 0, extra_cents);
  // The common case: one step, at most 1, read from a copy laid out for it.
  const bool unit = !sweeps && step_start <= 1;
  UnitSource unit_source;
  UnitPosition unit_at;
  std::int64_t unit_step = 0;
  if (unit) {
    unit_source =
        LayOutUnitSource(source, static_cast<std::int64_t>(out.size()), scratch.unit_source);
    unit_step = std::llround(std::ldexp(step_start, kUnitFractionBits));
  }
  bool read_out = false;
  const std::size_t frames = out.size();
  for (std::size_t block = 0; block < frames; block += kControlFrames) {
    const double seconds = static_cast<double>(block) / rate;
    const double step_end =
        sweeps ? ReadStep(v, rate, static_cast<double>(block + kControlFrames) / rate, extra_cents)
               : step_start;
    const double slope = (step_end - step_start) / kControlFrames;
    if (filter_sweeps) coefficients = LowPass(FilterCutoffHz(v, rate, seconds), rate, q);
    const std::size_t count = std::min<std::size_t>(kControlFrames, frames - block);
    std::array<float, kControlFrames> read{};
    if (!read_out) {
      if (unit) {
        ReadUnitFrames(unit_source, unit_at, unit_step, std::span(read).first(count));
      } else {
        ReadFrames(source, at, step_start, slope, std::span(read).first(count));
      }
    }
    for (std::size_t j = 0; j < count; ++j) {
      const double y = filtered ? Filter(coefficients, state, read[j]) : read[j];
      out[block + j] += static_cast<float>(v.gain * NextVolumeLevel(volume) * y);
    }
    step_start = step_end;
    read_out = read_out || (unit ? UnitReadsPastEnd(unit_source, unit_at)
                                 : ReadsPastEnd(source, at, step_start));
    if (RungOut(state)) state = {};
    if (VolumeRunSilent(volume) || (read_out && RungOut(state))) break;
  }
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
  std::fill(out.begin(), out.end(), 0.0f);
  if (!(layout.rate > 0)) return;
  for (std::size_t i = 0; i < voices.size(); ++i) {
    const RenderVoice v = CheckedVoice(voices[i]);
    if (!Sounds(v) || v.frames.size() != v.length) continue;  // a voice laid out, not read
    const bool loop_voice = static_cast<int>(i) == layout.loop_voice;
    AddVoice(v, layout.rate, loop_voice ? layout.loop_pitch_error_cents : 0, out, scratch);
  }
}

Int16Scaling ToInt16(std::span<const float> render, std::span<std::int16_t> out) {
  float peak = 0;
  for (float x : render) {
    if (std::isfinite(x)) peak = std::max(peak, std::abs(x));
  }
  Int16Scaling scaling;
  if (peak > 1) scaling = {true, 1.0 / peak};
  const std::size_t count = std::min(render.size(), out.size());
  for (std::size_t i = 0; i < count; ++i) {
    const double x = std::isfinite(render[i]) ? render[i] * scaling.gain * 32768 : 0;
    out[i] = static_cast<std::int16_t>(std::clamp(std::round(x), -32768.0, 32767.0));
  }
  return scaling;
}

}  // namespace brumlet::sampler
