#include "sampler/envelope_mapping.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>

namespace brumlet {
namespace {

using namespace envelope_mapping;

constexpr double kFullVolume = 64;
// The quietest level an XI point can hold is 1/64, 36 dB down; a curve that has fallen below
// half of that rounds to 0, so a decay is drawn down to there and no further.
constexpr double kFloorDb = 42.14;  // 20 log10(64 / 0.5)
// The volume envelope moves over 96 dB: the decay and release cross all of it in their time, and
// a sustain of 1000 cB, the format's full attenuation, lies at its bottom, so a centibel of
// sustain is 0.96 of one. The format's text speaks of 100 dB; the players (FluidSynth among
// them, as rendered) work in 96, and banks are voiced for the players.
constexpr double kEnvelopeRangeDb = 96;
constexpr double kFullAttenuationCentibels = 1000;
// The release is matched where it has fallen this far: a linear fade reaches it after
// (1 - 10^(-30/20)) of its length.
constexpr double kReleaseMatchDb = 30;
// The SoundFont LFO's frequency at 0 absolute cents.
constexpr double kLfoBaseHz = 8.176;
// The player adds the rate to a 256-step vibrato position every tick.
constexpr double kVibratoSteps = 256;

double Seconds(int timecents) { return std::exp2(timecents / 1200.0); }

double Amplitude(double db) { return std::pow(10.0, -db / 20); }

struct Breakpoint {
  double seconds = 0;
  double value = 0;  // 0..64
};

// The breakpoints of the envelope in real time, before it is fitted into ticks.
struct Curve {
  std::array<Breakpoint, xi::kEnvelopePointCount> points{};
  int count = 0;
  void Add(double seconds, double value) {
    points[static_cast<std::size_t>(count++)] = {seconds, value};
  }
  double End() const { return points[static_cast<std::size_t>(count - 1)].seconds; }
};

// Places the breakpoints on ticks. A point that lands on the tick of the one
// before it replaces it, except that a silent point before a rise moves a tick back if it can:
// so a delay followed by an instant attack stays silent until one tick before the peak.
xi::VolumeEnvelope PlaceOnTicks(const Curve& curve) {
  xi::VolumeEnvelope envelope;
  auto& points = envelope.points;
  std::size_t count = 0;
  for (int i = 0; i < curve.count; ++i) {
    const Breakpoint& p = curve.points[static_cast<std::size_t>(i)];
    const auto tick = static_cast<std::uint16_t>(
        std::clamp<long>(std::lround(p.seconds * kTicksPerSecond), 0, kLastEnvelopeTick));
    const auto value = static_cast<std::uint16_t>(std::clamp<long>(std::lround(p.value), 0, 64));
    if (count > 0 && points[count - 1].tick >= tick) {
      const int free_tick = count > 1 ? points[count - 2].tick + 1 : 0;
      if (points[count - 1].value == 0 && value > 0 && tick - 1 >= free_tick) {
        points[count - 1].tick = static_cast<std::uint16_t>(tick - 1);
      } else {
        --count;
      }
    }
    points[count++] = {tick, value};
  }
  envelope.count = static_cast<std::uint8_t>(count);
  envelope.sustain = static_cast<std::uint8_t>(count - 1);
  envelope.flags = xi::envelope_flag::kOn | xi::envelope_flag::kSustain;
  return envelope;
}

// The phases of the volume envelope in seconds, and the sustain level in dB below the peak.
struct Phases {
  double delay, attack, hold, decay, sustain_db;
  // How far the decay falls, and how long it takes: 96 dB in `decay` seconds, down to the
  // sustain level or the XI's floor, whichever comes first. No decay without a sustain below the
  // peak, and then no hold either: the level stays at the peak all the same.
  double FallDb() const { return std::min(sustain_db, kFloorDb); }
  double DecaySeconds() const { return decay * FallDb() / kEnvelopeRangeDb; }
  double End() const { return delay + attack + (sustain_db > 0 ? hold + DecaySeconds() : 0); }
};

Phases VolumePhases(const EnvelopeGenerators& g) {
  return {Seconds(std::clamp(g.delay_vol_env, -12000, 5000)),
          Seconds(std::clamp(g.attack_vol_env, -12000, 8000)),
          Seconds(std::clamp(g.hold_vol_env, -12000, 5000)),
          Seconds(std::clamp(g.decay_vol_env, -12000, 8000)),
          std::clamp(g.sustain_vol_env, 0, 1440) / kFullAttenuationCentibels * kEnvelopeRangeDb};
}

// Delay, attack, hold and decay as breakpoints, in seconds and 0..64, as far as the last tick:
// an envelope that goes on longer is drawn as it is up to there and held at the level it has
// reached. The decay falls straight in decibels, which is a curve on the XI's linear scale: it
// gets every point left, evenly spaced in time, but never more segments than it lasts ticks.
Curve VolumeCurve(const Phases& phases) {
  constexpr double kCut = static_cast<double>(kLastEnvelopeTick) / kTicksPerSecond;
  Curve curve;
  curve.Add(0, 0);
  if (phases.delay >= kCut) {
    curve.Add(kCut, 0);
    return curve;
  }
  curve.Add(phases.delay, 0);
  const double peak = phases.delay + phases.attack;
  if (peak >= kCut) {
    curve.Add(kCut, kFullVolume * (kCut - phases.delay) / phases.attack);
    return curve;
  }
  curve.Add(peak, kFullVolume);
  if (phases.sustain_db <= 0) return curve;
  const double start = peak + phases.hold;
  if (start >= kCut) {
    curve.Add(kCut, kFullVolume);
    return curve;
  }
  curve.Add(start, kFullVolume);
  const bool whole = start + phases.DecaySeconds() <= kCut;
  const double seconds = whole ? phases.DecaySeconds() : kCut - start;
  const double fall_db = whole ? phases.FallDb() : kEnvelopeRangeDb * seconds / phases.decay;
  const int segments = std::clamp(static_cast<int>(seconds * kTicksPerSecond), 1,
                                  xi::kEnvelopePointCount - curve.count);
  for (int i = 1; i <= segments; ++i) {
    const bool silent = whole && i == segments && phases.sustain_db > kFloorDb;
    curve.Add(start + seconds * i / segments,
              silent ? 0 : kFullVolume * Amplitude(fall_db * i / segments));
  }
  return curve;
}

std::uint16_t FadeOut(int release_timecents) {
  // The SoundFont release falls 96 dB in R seconds, so 30 dB in 0.3125 R. The fade-out falls
  // linearly from full to silence in kFadeOutStart / (fade_out x 50) seconds, passing -30 dB
  // after (1 - 10^-1.5) of that.
  const double release = Seconds(std::clamp(release_timecents, -12000, 8000));
  const double match_seconds = release * kReleaseMatchDb / kEnvelopeRangeDb;
  const double fade_seconds = match_seconds / (1 - Amplitude(kReleaseMatchDb));
  const double fade_out = kFadeOutStart / (fade_seconds * kTicksPerSecond);
  return static_cast<std::uint16_t>(std::clamp<double>(std::round(fade_out), 1, kMaxFadeOut));
}

xi::AutoVibrato Vibrato(const EnvelopeGenerators& g) {
  const double cents = std::abs(std::clamp(g.vib_lfo_to_pitch, -12000, 12000));
  const auto depth =
      static_cast<std::uint8_t>(std::clamp<double>(std::round(cents / kCentsPerDepth), 0, 15));
  if (depth == 0) return {};
  const double hz = kLfoBaseHz * std::exp2(std::clamp(g.freq_vib_lfo, -16000, 4500) / 1200.0);
  const double rate = std::round(hz * kVibratoSteps / kTicksPerSecond);
  const double sweep =
      std::round(Seconds(std::clamp(g.delay_vib_lfo, -12000, 5000)) * kTicksPerSecond);
  xi::AutoVibrato vibrato;
  vibrato.depth = depth;
  vibrato.rate = static_cast<std::uint8_t>(std::clamp<double>(rate, 1, 63));
  vibrato.sweep = static_cast<std::uint8_t>(std::clamp<double>(sweep, 0, 255));
  return vibrato;
}

}  // namespace

EnvelopeMapping MapEnvelope(const EnvelopeGenerators& generators) {
  const Phases phases = VolumePhases(generators);
  EnvelopeMapping mapping;
  mapping.volume = PlaceOnTicks(VolumeCurve(phases));
  mapping.volume.fade_out = FadeOut(generators.release_vol_env);
  mapping.vibrato = Vibrato(generators);
  mapping.held = phases.End() * kTicksPerSecond > kLastEnvelopeTick;
  return mapping;
}

EnvelopeGenerators EnvelopeAt(const sampler::Zone& zone, int key) {
  constexpr int kUnscaledKey = 60;  // where the keynum generators leave hold and decay as they are
  const int keys_above = key - kUnscaledKey;
  const sampler::Envelope& v = zone.volume;
  return {.delay_vol_env = v.delay,
          .attack_vol_env = v.attack,
          .hold_vol_env = v.hold - v.hold_per_key * keys_above,
          .decay_vol_env = v.decay - v.decay_per_key * keys_above,
          .sustain_vol_env = v.sustain,
          .release_vol_env = v.release,
          .delay_vib_lfo = zone.vibrato_delay,
          .freq_vib_lfo = zone.vibrato_frequency,
          .vib_lfo_to_pitch = zone.vibrato_depth};
}

}  // namespace brumlet
