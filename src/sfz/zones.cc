#include "sfz/zones.h"

#include <algorithm>
#include <cmath>

namespace brumlet::sfz {
namespace {

using sampler::Lost;

constexpr int kVelocity = 100;
constexpr int kTrackerKeys = 96;
constexpr int kInstant = -12000;  // timecents of "at once"
constexpr int kMostAttenuation = 1440;

int Round(double x) { return static_cast<int>(std::lround(x)); }

// Seconds as timecents; nothing or no time is at once. SFZ's times are bounded by the reader.
int Timecents(std::optional<double> seconds, int longest) {
  if (!seconds || !(*seconds > 0)) return kInstant;
  return std::clamp(Round(1200.0 * std::log2(*seconds)), kInstant, longest);
}

// Hz as absolute cents, 8.176 Hz being 0.
int AbsoluteCents(double hz) { return Round(1200.0 * std::log2(hz / 8.176)); }

// A level in decibels (0 the full level, below it negative) as the centibels of attenuation a
// SoundFont player applies at 0.4 of their value, so that 25 of them make a decibel.
int AttenuationOf(double decibels) {
  if (!std::isfinite(decibels)) return kMostAttenuation;
  return std::clamp(Round(-25.0 * decibels), 0, kMostAttenuation);
}

// The volume envelope's sustain, a linear percentage of the full level, as the centibels of its
// SoundFont counterpart, whose 1000 make the envelope's full fall of 96 dB.
int SustainAttenuation(std::optional<double> percent) {
  if (!percent) return 0;
  if (!(*percent > 0)) return kMostAttenuation;
  const double decibels = -20.0 * std::log10(std::min(*percent, 100.0) / 100.0);
  return std::clamp(Round(decibels / 0.096), 0, kMostAttenuation);
}

// An envelope generator's opcodes as a SoundFont envelope; `volume` says whether its sustain is a
// level (the volume envelope) or the fall from the peak in 0.1 % (the modulation envelope).
sampler::Envelope EnvelopeOf(const EnvelopeOpcodes& eg, bool volume) {
  sampler::Envelope envelope;
  envelope.delay = Timecents(eg.delay, 5000);
  envelope.attack = Timecents(eg.attack, 8000);
  envelope.hold = Timecents(eg.hold, 5000);
  envelope.decay = Timecents(eg.decay, 8000);
  envelope.release = Timecents(eg.release, 8000);
  if (volume) {
    envelope.sustain = SustainAttenuation(eg.sustain);
  } else {
    envelope.sustain = Round(10.0 * (100.0 - std::clamp(eg.sustain.value_or(100.0), 0.0, 100.0)));
  }
  return envelope;
}

sampler::LoopMode LoopModeOf(std::optional<LoopMode> mode, bool has_loop) {
  switch (mode.value_or(has_loop ? LoopMode::kContinuous : LoopMode::kNoLoop)) {
    case LoopMode::kNoLoop:
      return sampler::LoopMode::kNone;
    case LoopMode::kOneShot:
      return sampler::LoopMode::kOneShot;
    case LoopMode::kContinuous:
      return has_loop ? sampler::LoopMode::kContinuous : sampler::LoopMode::kNone;
    case LoopMode::kSustain:
      return has_loop ? sampler::LoopMode::kUntilRelease : sampler::LoopMode::kNone;
  }
  return sampler::LoopMode::kNone;
}

}  // namespace

bool SoundsOnTrackerKeys(const Region& region) {
  return region.left_out == LeftOut::kNone && region.lovel <= kVelocity &&
         region.hivel >= kVelocity && region.lokey < kTrackerKeys && region.lokey <= region.hikey;
}

std::optional<sampler::Zone> RegionZone(const Region& region, const SampleFacts& facts,
                                        std::uint32_t sample) {
  sampler::Zone zone;
  zone.keys = {std::clamp(region.lokey, 0, 127), std::clamp(region.hikey, 0, 127)};
  zone.velocities = {std::clamp(region.lovel, 0, 127), std::clamp(region.hivel, 0, 127)};
  zone.sample = sample;

  // The frames played, end inclusive as SFZ counts it, within the file.
  const std::int64_t end = std::min(facts.frames, region.end ? *region.end + 1 : facts.frames);
  if (region.offset < 0 || region.offset >= end) return std::nullopt;
  zone.start = region.offset;
  zone.end = end;
  // The region's loop points where it gives them (an end inclusive), else the file's.
  const std::optional<std::int64_t> loop_start =
      region.loop_start ? region.loop_start : facts.loop_start;
  const std::optional<std::int64_t> loop_end =
      region.loop_end ? std::optional<std::int64_t>(*region.loop_end + 1) : facts.loop_end;
  const bool has_loop = loop_start && loop_end && *loop_end > *loop_start;
  if (has_loop) {
    zone.loop_start = *loop_start;
    zone.loop_end = *loop_end;
  }
  zone.loop_mode = LoopModeOf(region.loop_mode, has_loop);

  zone.root_key =
      region.keycenter_from_sample ? facts.unity_note.value_or(60) : region.pitch_keycenter;
  zone.root_key = std::clamp(zone.root_key, 0, 127);
  zone.tuning = 100 * region.transpose + region.tune;
  zone.scale_tuning = std::clamp(region.pitch_keytrack, 0, 1200);
  if (region.pitch_keytrack < 0) zone.lost.set(static_cast<std::size_t>(Lost::kFixedKeyOrVelocity));
  zone.attenuation = AttenuationOf(region.volume + 20.0 * std::log10(region.amplitude / 100.0));
  zone.pan = std::clamp(Round(5.0 * region.pan), -500, 500);

  // A hold or decay that changes with the note, taken on the key nearest middle C the zone plays,
  // the key whose envelope an instrument takes (a kit's one-key zone: its own key).
  EnvelopeOpcodes ampeg = region.ampeg;
  const double note = std::min(std::max(60, zone.keys.low), zone.keys.high);
  if (region.ampeg_hold_by_note && *region.ampeg_hold_by_note != 0) {
    ampeg.hold = ampeg.hold.value_or(0) + *region.ampeg_hold_by_note * note / 127;
    zone.lost.set(static_cast<std::size_t>(Lost::kKeyEnvelopes));
  }
  if (region.ampeg_decay_by_note && *region.ampeg_decay_by_note != 0) {
    ampeg.decay = ampeg.decay.value_or(0) + *region.ampeg_decay_by_note * note / 127;
    zone.lost.set(static_cast<std::size_t>(Lost::kKeyEnvelopes));
  }
  zone.volume = EnvelopeOf(ampeg, true);
  // One modulation envelope drives pitch and filter in the planner: the pitch envelope's where it
  // moves the pitch, else the filter envelope's.
  const bool pitch_moves = region.pitcheg.depth.value_or(0) != 0;
  const bool filter_moves = region.fileg.depth.value_or(0) != 0;
  zone.modulation = EnvelopeOf(pitch_moves || !filter_moves ? region.pitcheg : region.fileg, false);
  if (pitch_moves) zone.mod_env_to_pitch = std::clamp(Round(*region.pitcheg.depth), -12000, 12000);
  if (filter_moves) zone.mod_env_to_filter = std::clamp(Round(*region.fileg.depth), -12000, 12000);
  if (pitch_moves && filter_moves && !(region.pitcheg == region.fileg)) {
    zone.lost.set(static_cast<std::size_t>(Lost::kFilter));
  }

  const bool lowpass = !region.fil_type || region.fil_type->shape == FilterShape::kLowpass;
  if (region.cutoff && *region.cutoff > 0) {
    const int cutoff = std::clamp(AbsoluteCents(*region.cutoff), 1500, 13500);
    if (lowpass) {
      zone.filter_cutoff = cutoff;
      zone.filter_q = std::clamp(Round(10.0 * region.resonance.value_or(0)), 0, 960);
    } else {
      zone.lost.set(static_cast<std::size_t>(Lost::kFilter));
    }
  }
  if (zone.filter_cutoff < 13500 || zone.mod_env_to_filter != 0) {
    zone.lost.set(static_cast<std::size_t>(Lost::kFilter));
  }
  if (zone.mod_env_to_pitch != 0) zone.lost.set(static_cast<std::size_t>(Lost::kPitchEnvelope));

  // The vibrato's rate and delay are kept even without a depth, as a bank's zone has them.
  zone.vibrato_depth = std::clamp(Round(region.pitchlfo.depth.value_or(0)), -12000, 12000);
  if (region.pitchlfo.freq && *region.pitchlfo.freq > 0) {
    zone.vibrato_frequency = std::clamp(AbsoluteCents(*region.pitchlfo.freq), -16000, 4500);
  }
  zone.vibrato_delay = Timecents(region.pitchlfo.delay, 5000);
  return zone;
}

}  // namespace brumlet::sfz
