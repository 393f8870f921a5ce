#include "sampler/key_layout.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "sampler/envelope_generator.h"
#include "sampler/resampler.h"

namespace brumlet::sampler {
namespace {

constexpr double kNever = std::numeric_limits<double>::infinity();

// The rate of `step` sixteenths of a semitone above key 48's rate at relative note 0 on `key`,
// and the relative note and finetune (a multiple of 8) that give it.
struct GridRate {
  int step;
  int RelativeNote() const { return static_cast<int>(std::floor((step + 8) / 16.0)); }
  int Finetune() const { return 8 * (step - 16 * RelativeNote()); }
};

double RateOf(int key, const GridRate& g) { return XiRate(key, g.RelativeNote(), g.Finetune()); }

// The smallest rate of the grid at least `highest_source_rate`, at most kHighestRenderRate, and
// with a relative note of at least -key.
GridRate RenderRate(int key, double highest_source_rate) {
  GridRate g{-16 * key};
  if (highest_source_rate > RateOf(key, g)) {
    g.step = static_cast<int>(std::ceil(192 * std::log2(highest_source_rate / kXiBaseRate))) -
             16 * (key - kXiBaseKey);
    // The logarithm may land a step off either way; the rates themselves decide.
    while (RateOf(key, {g.step - 1}) >= highest_source_rate) --g.step;
    while (RateOf(key, g) < highest_source_rate) ++g.step;
  }
  while (RateOf(key, g) > kHighestRenderRate) --g.step;
  while (g.RelativeNote() < -key) ++g.step;
  return g;
}

// Frames are whole: a length in seconds that is a whole number of frames must not gain one by
// the rounding of a division.
double FramesOf(double seconds, double rate) { return std::ceil(seconds * rate - 1e-7); }

// When the read position of a voice first reaches `frame`: the first output frame that would
// read there, in seconds, or kNever within `limit_frames`. It steps as the render does,
// kControlFrames at a time with the speed interpolated in between.
double ReachSeconds(const RenderVoice& v, double rate, double frame, double limit_frames) {
  if (v.mod_env_to_pitch_cents == 0) {
    const double frames = std::ceil(frame / ReadStep(v, rate, 0));
    return frames <= limit_frames ? frames / rate : kNever;
  }
  double position = 0;
  double step_start = ReadStep(v, rate, 0);
  for (double block = 0; block < limit_frames; block += kControlFrames) {
    const double step_end = ReadStep(v, rate, (block + kControlFrames) / rate);
    const double slope = (step_end - step_start) / kControlFrames;
    // The steps of a block add up to 32 x the first plus the slope x (0 + 1 + ... + 31).
    const double advance =
        kControlFrames * step_start + slope * (kControlFrames - 1) * kControlFrames / 2;
    if (position + advance < frame) {
      position += advance;
    } else {
      for (int j = 0; j < kControlFrames; ++j) {
        if (position >= frame) return (block + j) / rate;
        position += step_start + slope * j;
      }
    }
    step_start = step_end;
  }
  return kNever;
}

bool SustainsForEver(const RenderVoice& v) { return v.loops && v.volume.sustain < kEndLevelDb; }

// When a voice has ended, or, for one that sustains for ever, settled: its envelopes at their
// sustain, and its read entirely within its loop (past loop_start by the widest kernel's reach,
// or wrapped), so that every cycle from then on is the same.
double VoiceEndSeconds(const RenderVoice& v, double rate, double limit_frames) {
  if (SustainsForEver(v)) {
    const double in_loop =
        std::min<double>(v.loop_start + kKernelHalfWidth * kMaxKernelStretch, v.loop_end);
    double settled =
        std::max(VolumeSettleSeconds(v.volume), ReachSeconds(v, rate, in_loop, limit_frames));
    if (v.mod_env_to_pitch_cents != 0 || v.mod_env_to_filter_cents != 0) {
      settled = std::max(settled, ModulationSettleSeconds(v.modulation));
    }
    return settled;
  }
  const double faded = VolumeFallSeconds(v.volume, kEndLevelDb);
  const auto size = static_cast<double>(v.length);
  return v.loops ? faded : std::min(faded, ReachSeconds(v, rate, size, limit_frames));
}

}  // namespace

double XiRate(int key, int relative_note, int finetune) {
  return kXiBaseRate * std::exp2((key - kXiBaseKey + relative_note + finetune / 128.0) / 12.0);
}

double ReadStep(const RenderVoice& checked, double rate, double seconds, double extra_cents) {
  // Twenty octaves either way is more than any bank means, and keeps a read position far inside
  // the range of the integers it is cut into: a step is at most 2^20 x 2^31 Hz / 522 Hz.
  const double cents = std::clamp(
      checked.pitch_cents + extra_cents +
          ModulationLevelAt(checked.modulation, seconds) * checked.mod_env_to_pitch_cents,
      -24000.0, 24000.0);
  return checked.sample_rate * std::exp2(cents / 1200) / rate;
}

KeyRenderLayout LayOutKey(std::span<const RenderVoice> voices, int key) {
  key = std::clamp(key, 0, kHighestKey);
  double highest_source_rate = 0;
  for (const RenderVoice& voice : voices) {
    const RenderVoice v = CheckedVoice(voice);
    if (Sounds(v)) highest_source_rate = std::max(highest_source_rate, v.sample_rate);
  }
  KeyRenderLayout layout;
  const GridRate grid = RenderRate(key, highest_source_rate);
  layout.relative_note = grid.RelativeNote();
  layout.finetune = grid.Finetune();
  layout.rate = RateOf(key, grid);
  const double rate = layout.rate;
  const double longest = std::floor(kLongestRenderSeconds * rate);

  double end = 0;
  bool sustains = false;
  for (const RenderVoice& voice : voices) {
    const RenderVoice v = CheckedVoice(voice);
    if (!Sounds(v)) continue;
    sustains = sustains || SustainsForEver(v);
    end = std::max(end, VoiceEndSeconds(v, rate, longest));
  }
  const double end_frames = std::min(FramesOf(end, rate), longest);
  layout.frames = static_cast<std::uint32_t>(end_frames);
  if (!sustains && FramesOf(end, rate) <= longest) return layout;

  // The loop: one cycle of the loudest looped voice still sounding where the render settles or
  // is cut.
  const double loop_seconds = std::min(end, kLongestRenderSeconds);
  double loudest = 0;
  for (std::size_t i = 0; i < voices.size(); ++i) {
    const RenderVoice v = CheckedVoice(voices[i]);
    if (!Sounds(v) || !v.loops) continue;
    if (!SustainsForEver(v) && VolumeFallSeconds(v.volume, kEndLevelDb) <= loop_seconds) continue;
    const double level = v.gain * VolumeLevelAt(v.volume, loop_seconds);
    if (level > loudest) {
      loudest = level;
      layout.loop_voice = static_cast<int>(i);
    }
  }
  if (layout.loop_voice < 0) return layout;
  const RenderVoice v = CheckedVoice(voices[static_cast<std::size_t>(layout.loop_voice)]);
  const double cycle = (v.loop_end - v.loop_start) / ReadStep(v, rate, loop_seconds);
  const double whole_cycle = std::max(1.0, std::round(cycle));
  if (whole_cycle > longest) {
    layout.loop_voice = -1;
    return layout;
  }
  layout.frames = static_cast<std::uint32_t>(std::min(end_frames + whole_cycle, longest));
  layout.loops = true;
  layout.loop_start = layout.frames - static_cast<std::uint32_t>(whole_cycle);
  layout.loop_pitch_error_cents = 1200 * std::log2(cycle / whole_cycle);
  return layout;
}

double KeyPan(std::span<const RenderVoice> voices) {
  double weighted = 0, total = 0;
  for (const RenderVoice& voice : voices) {
    const RenderVoice v = CheckedVoice(voice);
    if (!Sounds(v)) continue;
    weighted += v.gain * v.pan;
    total += v.gain;
  }
  return total > 0 ? weighted / total : 0;
}

}  // namespace brumlet::sampler
