#include "sf2/zone_list.h"

#include <algorithm>
#include <map>

namespace brumlet::sf2 {
namespace {

int Clamp(std::int32_t value, int low, int high) {
  return static_cast<int>(std::clamp<std::int32_t>(value, low, high));
}

sampler::KeyRange KeysOf(const Range& range) { return {range.low, range.high}; }

sampler::Sample::Side SideOf(std::uint16_t type) {
  switch (type & (sample_type::kLeft | sample_type::kRight)) {
    case sample_type::kLeft:
      return sampler::Sample::Side::kLeft;
    case sample_type::kRight:
      return sampler::Sample::Side::kRight;
    default:
      return sampler::Sample::Side::kMono;  // neither, or both: not one side of a pair
  }
}

sampler::LoopMode LoopModeOf(std::int32_t sample_modes) {
  switch (sample_modes & 3) {
    case 1:
      return sampler::LoopMode::kContinuous;
    case 3:
      return sampler::LoopMode::kUntilRelease;
    default:
      return sampler::LoopMode::kNone;
  }
}

sampler::Envelope EnvelopeOf(const GeneratorValues& v, int delay, int sustain, int keynum_hold,
                             int keynum_decay) {
  // delay, attack, hold, decay, sustain, release follow one another in the generator table.
  return {.delay = v[delay],
          .attack = v[delay + 1],
          .hold = v[delay + 2],
          .decay = v[delay + 3],
          .release = v[sustain + 1],
          .sustain = v[sustain],
          .hold_per_key = Clamp(v[keynum_hold], -1200, 1200),
          .decay_per_key = Clamp(v[keynum_decay], -1200, 1200)};
}

// What of a zone's generators an XI cannot hold. An LFO or envelope acts only through what it
// modulates, and a filter's resonance only where the filter is not wide open.
sampler::LostSet LostOf(const GeneratorValues& v) {
  using sampler::Lost;
  sampler::LostSet lost;
  const auto note = [&lost](Lost what, bool acts) {
    if (acts) lost.set(static_cast<std::size_t>(what));
  };
  note(Lost::kFilter, Clamp(v[gen::kInitialFilterFc], 1500, 13500) < 13500 ||
                          v[gen::kModEnvToFilterFc] != 0 || v[gen::kModLfoToFilterFc] != 0);
  note(Lost::kPitchEnvelope, v[gen::kModEnvToPitch] != 0);
  note(Lost::kPitchLfo, v[gen::kModLfoToPitch] != 0);
  note(Lost::kTremolo, v[gen::kModLfoToVolume] != 0);
  note(Lost::kEffectsSends, v[gen::kChorusEffectsSend] > 0 || v[gen::kReverbEffectsSend] > 0);
  note(Lost::kChokeGroups, v[gen::kExclusiveClass] != 0);
  note(Lost::kFixedKeyOrVelocity, v[gen::kKeynum] >= 0 || v[gen::kVelocity] >= 0);
  note(Lost::kKeyEnvelopes, v[gen::kKeynumToVolEnvHold] != 0 || v[gen::kKeynumToVolEnvDecay] != 0);
  return lost;
}

}  // namespace

sampler::ZoneList ZoneListOf(const Bank& bank, const FlatPreset& flat, const PresetHeader& preset) {
  sampler::ZoneList list;
  list.name = preset.name;
  list.kit = preset.bank == kPercussionBank;
  std::map<std::uint32_t, std::uint32_t> index;  // bank sample -> the list's
  for (const Zone& z : flat.zones) {
    const auto [at, fresh] =
        index.try_emplace(z.sample, static_cast<std::uint32_t>(list.samples.size()));
    if (!fresh) continue;
    const SampleHeader& s = bank.samples[z.sample];
    list.samples.push_back({s.name, s.rate, s.pitch_correction, SideOf(s.type), std::nullopt});
  }
  for (const auto& [bank_sample, listed] : index) {  // links that stay within the list
    const auto link = index.find(bank.samples[bank_sample].link);
    if (link != index.end()) list.samples[listed].link = link->second;
  }

  list.zones.reserve(flat.zones.size());
  for (const Zone& z : flat.zones) {
    const GeneratorValues& v = z.values;
    const SampleHeader& s = bank.samples[z.sample];
    sampler::Zone zone;
    zone.keys = KeysOf(z.keys);
    zone.velocities = KeysOf(z.velocities);
    zone.sample = index.at(z.sample);
    zone.start = z.start;
    zone.end = z.end;
    zone.loop_start = z.loop_start;
    zone.loop_end = z.loop_end;
    zone.loop_mode = LoopModeOf(v[gen::kSampleModes]);
    const std::int32_t override_root = v[gen::kOverridingRootKey];
    if (override_root >= 0 && override_root <= 127) {
      zone.root_key = override_root;
    } else if (s.original_pitch <= 127) {
      zone.root_key = s.original_pitch;  // 255 (unpitched) and the invalid 128..254 play as 60
    }
    zone.tuning = Clamp(v[gen::kCoarseTune], -120, 120) * 100 + Clamp(v[gen::kFineTune], -99, 99) +
                  s.pitch_correction;
    zone.scale_tuning = Clamp(v[gen::kScaleTuning], 0, 1200);
    zone.attenuation = Clamp(v[gen::kInitialAttenuation], 0, 1440);
    zone.pan = Clamp(v[gen::kPan], -500, 500);
    zone.volume = EnvelopeOf(v, gen::kDelayVolEnv, gen::kSustainVolEnv, gen::kKeynumToVolEnvHold,
                             gen::kKeynumToVolEnvDecay);
    zone.modulation = EnvelopeOf(v, gen::kDelayModEnv, gen::kSustainModEnv,
                                 gen::kKeynumToModEnvHold, gen::kKeynumToModEnvDecay);
    zone.mod_env_to_pitch = Clamp(v[gen::kModEnvToPitch], -12000, 12000);
    zone.mod_env_to_filter = Clamp(v[gen::kModEnvToFilterFc], -12000, 12000);
    zone.filter_cutoff = Clamp(v[gen::kInitialFilterFc], 1500, 13500);
    zone.filter_q = Clamp(v[gen::kInitialFilterQ], 0, 960);
    zone.vibrato_delay = v[gen::kDelayVibLfo];
    zone.vibrato_frequency = v[gen::kFreqVibLfo];
    zone.vibrato_depth = v[gen::kVibLfoToPitch];
    zone.lost = LostOf(v);
    list.zones.push_back(zone);
  }
  return list;
}

}  // namespace brumlet::sf2
