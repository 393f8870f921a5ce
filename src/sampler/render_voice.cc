#include "sampler/render_voice.h"

#include <algorithm>
#include <cmath>

namespace brumlet::sampler {
namespace {

// The numbers come from a bank, which is untrusted: a NaN or an infinity must not reach a
// comparison (every one is false) or a frame count.
double Bounded(double value, double low, double high, double fallback) {
  return std::isfinite(value) ? std::clamp(value, low, high) : fallback;
}

constexpr double kLongestPhase = 1e6;  // seconds; far past the 10 s a render may last
constexpr double kWidestCents = 24000;
// As for a WAV, a rate of 2^31 Hz or more has no use; it would only overflow the read steps.
constexpr double kHighestRate = 2147483648.0;

EnvelopeShape CheckedShape(const EnvelopeShape& shape, double sustain_high) {
  return {Bounded(shape.delay, 0, kLongestPhase, 0), Bounded(shape.attack, 0, kLongestPhase, 0),
          Bounded(shape.hold, 0, kLongestPhase, 0), Bounded(shape.decay, 0, kLongestPhase, 0),
          Bounded(shape.sustain, 0, sustain_high, 0)};
}

}  // namespace

RenderVoice CheckedVoice(const RenderVoice& voice) {
  const RenderVoice defaults;
  RenderVoice v = voice;
  if (!voice.frames.empty()) v.length = static_cast<std::uint32_t>(voice.frames.size());
  v.sample_rate = std::isfinite(voice.sample_rate) ? voice.sample_rate : 0;
  v.pitch_cents = Bounded(voice.pitch_cents, -kWidestCents, kWidestCents, 0);
  v.loops = voice.loops && voice.loop_start < voice.loop_end && voice.loop_end <= v.length;
  // A SoundFont attenuates, so its gains are at most 1; a thousand leaves room and keeps every
  // sum of a render finite in float.
  v.gain = Bounded(voice.gain, 0, 1000, 0);
  v.pan = Bounded(voice.pan, -1, 1, 0);
  // 144 dB is the SoundFont's deepest sustain (1440 cB); below about -120 dB a level is silence.
  v.volume = CheckedShape(voice.volume, 144);
  v.modulation = CheckedShape(voice.modulation, 1);
  v.mod_env_to_pitch_cents = Bounded(voice.mod_env_to_pitch_cents, -kWidestCents, kWidestCents, 0);
  v.filter_cutoff_cents =
      Bounded(voice.filter_cutoff_cents, 0, kWidestCents, defaults.filter_cutoff_cents);
  v.filter_q_db = Bounded(voice.filter_q_db, 0, 96, 0);
  v.mod_env_to_filter_cents =
      Bounded(voice.mod_env_to_filter_cents, -kWidestCents, kWidestCents, 0);
  return v;
}

bool Sounds(const RenderVoice& checked) {
  return checked.length > 0 && checked.sample_rate >= 1 && checked.sample_rate < kHighestRate &&
         checked.gain > 0;
}

}  // namespace brumlet::sampler
