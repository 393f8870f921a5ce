#include "sf2/preset_plan.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <set>

#include "messages.h"
#include "sf2/envelope.h"

namespace brumlet::sf2 {
namespace {

constexpr int kVelocity = 100;
constexpr auto kSlots = static_cast<std::size_t>(xi::kSampleSlots);
constexpr int kDefaultRoot = 60;
constexpr int kFinetuneSteps = 128;  // finetune units in a semitone
constexpr int kMaxCentibels = 1440;
constexpr int kMaxPan = 500;
// The key whose zone gives an instrument its envelope and vibrato: middle C, where the keynum
// generators leave the hold and decay as they are.
constexpr int kEnvelopeKey = 60;

int Clamp(std::int32_t value, int low, int high) {
  return static_cast<int>(std::clamp<std::int32_t>(value, low, high));
}

bool IsSide(std::uint16_t type, std::uint16_t side) {
  const std::uint16_t sides = type & (sample_type::kLeft | sample_type::kRight);
  return sides == side;
}

// What a zone contributes to a sample, its generators clamped to their ranges.
struct Voice {
  int attenuation = 0;
  int pan = 0;
  int root = kDefaultRoot;
  int cents = 0;  // without the scale tuning of a single key
  int scale = 100;
  bool loops = false;
};

Voice VoiceOf(const Bank& bank, const Zone& zone) {
  const GeneratorValues& v = zone.values;
  const SampleHeader& s = bank.samples[zone.sample];
  Voice voice;
  voice.attenuation = Clamp(v[gen::kInitialAttenuation], 0, kMaxCentibels);
  voice.pan = Clamp(v[gen::kPan], -kMaxPan, kMaxPan);
  const std::int32_t override_root = v[gen::kOverridingRootKey];
  if (override_root >= 0 && override_root <= 127) {
    voice.root = override_root;
  } else if (s.original_pitch <= 127) {
    voice.root = s.original_pitch;  // 255 (unpitched) and the invalid 128..254 play as 60
  }
  voice.cents = Clamp(v[gen::kCoarseTune], -120, 120) * 100 + Clamp(v[gen::kFineTune], -99, 99) +
                s.pitch_correction;
  voice.scale = Clamp(v[gen::kScaleTuning], 0, 1200);
  const int modes = v[gen::kSampleModes] & 3;
  voice.loops = modes == 1 || modes == 3;
  return voice;
}

// The XI sample one key plays: a zone, and the other side of its stereo pair if any.
PlannedSample SampleFor(const Bank& bank, const std::vector<Zone>& zones,
                        const std::vector<Voice>& voices, std::size_t z,
                        std::optional<std::size_t> partner) {
  const Zone& zone = zones[z];
  const Voice& voice = voices[z];
  PlannedSample sample;
  sample.name = bank.samples[zone.sample].name;
  sample.zone = z;
  sample.source.bank_sample = zone.sample;
  sample.source.range = {bank.sample_data_offset + 2 * zone.start,
                         static_cast<std::uint32_t>(zone.end - zone.start)};
  double pan = voice.pan;
  if (partner) {
    const Zone& other = zones[*partner];
    sample.partner_zone = partner;
    sample.source.partner_sample = other.sample;
    sample.source.partner_range = {bank.sample_data_offset + 2 * other.start,
                                   static_cast<std::uint32_t>(other.end - other.start)};
    pan = (pan + voices[*partner].pan) / 2;
  }
  sample.root_key = voice.root;
  sample.tuning_cents = voice.cents;
  if (zone.keys.low == zone.keys.high) {
    // One key k: scaleTuning t moves it (k - root) x (t - 100) cents from where 100 puts it.
    sample.tuning_cents += (zone.keys.low - voice.root) * (voice.scale - 100);
  } else if (voice.scale != 100) {
    sample.scale_tuning_lost = true;
  }
  sample.pitch = SamplePitch(bank.samples[zone.sample].rate, sample.root_key, sample.tuning_cents);
  if (voice.loops) {
    if (zone.loop_start >= zone.start && zone.loop_start < zone.loop_end &&
        zone.loop_end <= zone.end) {
      sample.loop = PlannedLoop{static_cast<std::uint32_t>(zone.loop_start - zone.start),
                                static_cast<std::uint32_t>(zone.loop_end - zone.loop_start)};
    } else {
      sample.loop_dropped = true;
    }
  }
  sample.volume = XiVolume(voice.attenuation);
  sample.panning = XiPanning(pan);
  return sample;
}

// Two samples the XI file could not tell apart are one. Root key and tuning count only through
// the pitch they give: drum kits tune one sample on neighbouring keys as root k with -5 cents and
// as root k + 1 with 95, and copies of it would take places among the 16.
bool SameSound(const PlannedSample& a, const PlannedSample& b) {
  return a.source == b.source && a.pitch.relative_note == b.pitch.relative_note &&
         a.pitch.finetune == b.pitch.finetune && a.loop == b.loop && a.volume == b.volume &&
         a.panning == b.panning;
}

// The loudest of `candidates` that `accept` takes; the first among equals.
template <typename Accept>
std::optional<std::size_t> Loudest(const std::vector<std::size_t>& candidates,
                                   const std::vector<Voice>& voices, Accept accept) {
  std::optional<std::size_t> best;
  for (std::size_t z : candidates) {
    if (accept(z) && (!best || voices[z].attenuation < voices[*best].attenuation)) best = z;
  }
  return best;
}

// Where `key` finds no sample (-1), it takes the nearest key's that has one, the lower on a tie.
void FillHoles(std::array<int, kKeyCount>& map) {
  const std::array<int, kKeyCount> covered = map;
  for (int k = 0; k < kKeyCount; ++k) {
    if (covered[k] >= 0) continue;
    for (int d = 1; d < kKeyCount; ++d) {
      if (k - d >= 0 && covered[k - d] >= 0) {
        map[k] = covered[k - d];
        break;
      }
      if (k + d < kKeyCount && covered[k + d] >= 0) {
        map[k] = covered[k + d];
        break;
      }
    }
  }
}

// Drops samples until 16 are left, as the header says, renumbering the map.
int Reduce(std::vector<PlannedSample>& samples, std::array<int, kKeyCount>& map) {
  int merged = 0;
  while (samples.size() > kSlots) {
    std::vector<int> counts(samples.size(), 0);
    for (int s : map) ++counts[s];
    const std::size_t victim =
        static_cast<std::size_t>(std::min_element(counts.begin(), counts.end()) - counts.begin());
    std::optional<std::size_t> heir;
    const int root = samples[victim].root_key;
    for (std::size_t s = 0; s < samples.size(); ++s) {
      if (s == victim) continue;
      if (!heir) {
        heir = s;
        continue;
      }
      const int d = std::abs(samples[s].root_key - root),
                best = std::abs(samples[*heir].root_key - root);
      if (d < best || (d == best && samples[s].root_key < samples[*heir].root_key)) heir = s;
    }
    for (int& s : map) {
      if (s == static_cast<int>(victim)) s = static_cast<int>(*heir);
      if (s > static_cast<int>(victim)) --s;
    }
    samples.erase(samples.begin() + static_cast<std::ptrdiff_t>(victim));
    ++merged;
  }
  return merged;
}

// One instrument of the samples `map` uses within keys [low, high]; keys outside play the
// sample of the nearest key inside.
InstrumentPlan Part(const std::vector<PlannedSample>& samples,
                    const std::array<int, kKeyCount>& map, int low, int high) {
  InstrumentPlan plan;
  plan.keys = {low, high};
  std::vector<int> local(samples.size(), -1);
  for (int k = low; k <= high; ++k) {
    if (local[map[k]] < 0) local[map[k]] = 0;
  }
  for (std::size_t s = 0; s < samples.size(); ++s) {  // keep the samples' order
    if (local[s] < 0) continue;
    local[s] = static_cast<int>(plan.samples.size());
    plan.samples.push_back(samples[s]);
  }
  for (int k = 0; k < kKeyCount; ++k) {
    plan.key_map[k] = static_cast<std::uint8_t>(local[map[std::clamp(k, low, high)]]);
  }
  return plan;
}

// Whether a generator without an XI counterpart changes how the zone sounds: an LFO or envelope
// that modulates nothing, and the resonance of a filter left open, do not.
bool Acts(const GeneratorValues& v, const GeneratorValues& defaults, int oper) {
  if (v[oper] == defaults[oper]) return false;
  if (oper == gen::kDelayModLfo || oper == gen::kFreqModLfo) {
    return v[gen::kModLfoToPitch] != 0 || v[gen::kModLfoToFilterFc] != 0 ||
           v[gen::kModLfoToVolume] != 0;
  }
  if (oper >= gen::kDelayModEnv && oper <= gen::kKeynumToModEnvDecay) {
    return v[gen::kModEnvToPitch] != 0 || v[gen::kModEnvToFilterFc] != 0;
  }
  if (oper == gen::kInitialFilterQ) {
    return v[gen::kInitialFilterFc] < defaults[gen::kInitialFilterFc] ||
           v[gen::kModLfoToFilterFc] != 0 || v[gen::kModEnvToFilterFc] != 0;
  }
  return true;
}

// The envelope and vibrato generators of `zone` as it plays `key`: keynumToVolEnvHold and
// keynumToVolEnvDecay shorten the hold and decay by their timecents for every key above 60.
Sf2EnvelopeGenerators EnvelopeGenerators(const Zone& zone, int key) {
  const GeneratorValues& v = zone.values;
  const int keys_above = key - kEnvelopeKey;
  return {.delay_vol_env = v[gen::kDelayVolEnv],
          .attack_vol_env = v[gen::kAttackVolEnv],
          .hold_vol_env =
              v[gen::kHoldVolEnv] - Clamp(v[gen::kKeynumToVolEnvHold], -1200, 1200) * keys_above,
          .decay_vol_env =
              v[gen::kDecayVolEnv] - Clamp(v[gen::kKeynumToVolEnvDecay], -1200, 1200) * keys_above,
          .sustain_vol_env = v[gen::kSustainVolEnv],
          .release_vol_env = v[gen::kReleaseVolEnv],
          .delay_vib_lfo = v[gen::kDelayVibLfo],
          .freq_vib_lfo = v[gen::kFreqVibLfo],
          .vib_lfo_to_pitch = v[gen::kVibLfoToPitch]};
}

// One envelope for the whole instrument: the XI has no other.
void MapEnvelope(const std::vector<Zone>& zones, InstrumentPlan& plan) {
  const int key = std::clamp(kEnvelopeKey, plan.keys.low, plan.keys.high);
  const PlannedSample& sample = plan.samples[plan.key_map[key]];
  const XiEnvelopeMapping mapping = MapSf2Envelope(EnvelopeGenerators(zones[sample.zone], key));
  plan.envelope = mapping.volume;
  plan.vibrato = mapping.vibrato;
  plan.envelope_compressed = mapping.compressed;
}

void Annotate(const std::vector<Zone>& zones, InstrumentPlan& plan) {
  const GeneratorValues defaults = DefaultGenerators();
  std::set<int> unmapped;
  for (PlannedSample& sample : plan.samples) {
    sample.key_count = static_cast<int>(
        std::count(plan.key_map.begin(), plan.key_map.end(), &sample - plan.samples.data()));
    plan.pairs_mixed += sample.partner_zone.has_value();
    plan.loops_dropped += sample.loop_dropped;
    plan.scale_tunings_lost += sample.scale_tuning_lost;
    for (std::optional<std::size_t> z : {std::optional(sample.zone), sample.partner_zone}) {
      if (!z) continue;
      for (int oper = 0; oper < gen::kCount; ++oper) {
        if (!HasXiCounterpart(oper) && UseOf(oper) != GeneratorUse::kUnused &&
            Acts(zones[*z].values, defaults, oper)) {
          unmapped.insert(oper);
        }
      }
    }
  }
  plan.unmapped_generators.assign(unmapped.begin(), unmapped.end());
}

}  // namespace

Pitch SamplePitch(std::uint32_t rate, int root_key, int cents) {
  const Pitch own = ComputePitch(static_cast<std::int32_t>(std::clamp(rate, kMinRate, kMaxRate)));
  long long units = own.relative_note * kFinetuneSteps + own.finetune +
                    static_cast<long long>(kDefaultRoot - root_key) * kFinetuneSteps +
                    std::llround(cents * kFinetuneSteps / 100.0);
  units = std::clamp<long long>(units, -128 * kFinetuneSteps, 127 * kFinetuneSteps + 63);
  // The nearest relative note, a finetune of -64..63 for the rest.
  const long long note = (units + 64 >= 0)
                             ? (units + 64) / kFinetuneSteps
                             : -((-(units + 64) + kFinetuneSteps - 1) / kFinetuneSteps);
  return Pitch{static_cast<std::int8_t>(note),
               static_cast<std::int8_t>(units - note * kFinetuneSteps)};
}

std::uint8_t XiVolume(int centibels) {
  const double volume =
      64.0 * std::pow(10.0, -0.4 * std::clamp(centibels, 0, kMaxCentibels) / 200.0);
  return static_cast<std::uint8_t>(std::clamp(std::lround(volume), 0L, 64L));
}

std::uint8_t XiPanning(double pan) {
  const double position = 128.0 + std::clamp(pan, -500.0, 500.0) * 128.0 / kMaxPan;
  return static_cast<std::uint8_t>(std::clamp(std::lround(position), 0L, 255L));
}

PresetPlan PlanPreset(const Bank& bank, std::size_t preset) {
  Flattener flattener(bank);
  sampler::WorkBudget budget;
  return PlanPreset(bank, flattener, preset, budget);
}

PresetPlan PlanPreset(const Bank& bank, Flattener& flattener, std::size_t preset,
                      sampler::WorkBudget& budget) {
  const PresetHeader& header = bank.presets[preset];
  PresetPlan plan;
  plan.summary = {header.bank, header.program, header.name, 0, 0};
  const FlatPreset& flat = flattener.Flatten(preset, budget);
  if (flat.skip) {
    plan.skip = flat.skip;
    return plan;
  }
  const std::vector<Zone>& zones = flat.zones;
  plan.summary.zones = zones.size();
  // Planning is a look at every zone for every key: that is the work counted, though each key
  // looks only at the zones that sound at velocity 100 on a tracker's keys.
  if (!budget.Spend(std::uint64_t{kKeyCount} * zones.size())) {
    plan.skip = PresetSkip{PresetTooMuchWork()};
    return plan;
  }

  std::vector<Voice> voices;
  voices.reserve(zones.size());
  std::vector<bool> playing(zones.size()), used(zones.size(), false);
  for (std::size_t z = 0; z < zones.size(); ++z) {
    voices.push_back(VoiceOf(bank, zones[z]));
    playing[z] = zones[z].velocities.Contains(kVelocity);
    if (!playing[z])
      ++plan.velocity_layers_left_out;
    else if (zones[z].keys.low >= kKeyCount)
      ++plan.zones_above_keyboard;
  }

  std::vector<std::size_t> sounding;
  for (std::size_t z = 0; z < zones.size(); ++z) {
    if (playing[z] && zones[z].keys.low < kKeyCount) sounding.push_back(z);
  }

  std::vector<PlannedSample> samples;
  std::array<int, kKeyCount> map;
  map.fill(-1);
  std::vector<std::size_t> candidates;
  for (int k = 0; k < kKeyCount; ++k) {
    candidates.clear();
    for (std::size_t z : sounding) {
      if (zones[z].keys.Contains(k)) candidates.push_back(z);
    }
    const auto kept = Loudest(candidates, voices, [](std::size_t) { return true; });
    if (!kept) continue;
    const SampleHeader& s = bank.samples[zones[*kept].sample];
    std::optional<std::size_t> partner;
    const bool left = IsSide(s.type, sample_type::kLeft),
               right = IsSide(s.type, sample_type::kRight);
    if (left || right) {
      const std::uint16_t other = left ? sample_type::kRight : sample_type::kLeft;
      auto other_side = [&](std::size_t z) {
        return IsSide(bank.samples[zones[z].sample].type, other);
      };
      partner = Loudest(candidates, voices,
                        [&](std::size_t z) { return other_side(z) && zones[z].sample == s.link; });
      if (!partner) partner = Loudest(candidates, voices, other_side);
    }
    used[*kept] = true;
    if (partner) used[*partner] = true;
    PlannedSample sample = SampleFor(bank, zones, voices, *kept, partner);
    auto same = std::find_if(samples.begin(), samples.end(),
                             [&](const PlannedSample& o) { return SameSound(o, sample); });
    map[k] = static_cast<int>(same - samples.begin());
    if (same == samples.end()) {
      samples.push_back(std::move(sample));
    } else {  // sounds the same; what was lost on the way is still reported
      same->loop_dropped |= sample.loop_dropped;
      same->scale_tuning_lost |= sample.scale_tuning_lost;
    }
  }
  for (std::size_t z = 0; z < zones.size(); ++z) {
    if (playing[z] && zones[z].keys.low < kKeyCount && !used[z]) ++plan.layers_left_out;
  }
  plan.summary.samples = samples.size();
  if (samples.empty()) {
    InstrumentPlan silent;
    silent.name = header.name;
    plan.instruments.push_back(std::move(silent));
    return plan;
  }
  FillHoles(map);

  if (samples.size() > kSlots && header.bank == kPercussionBank) {
    std::set<int> in_part;
    int low = 0;
    for (int k = 0; k < kKeyCount; ++k) {
      if (!in_part.count(map[k]) && in_part.size() == kSlots) {
        plan.instruments.push_back(Part(samples, map, low, k - 1));
        in_part.clear();
        low = k;
      }
      in_part.insert(map[k]);
    }
    plan.instruments.push_back(Part(samples, map, low, kKeyCount - 1));
  } else {
    const int merged = Reduce(samples, map);
    plan.instruments.push_back(Part(samples, map, 0, kKeyCount - 1));
    plan.instruments.back().samples_merged = merged;
  }
  const int parts = static_cast<int>(plan.instruments.size());
  for (int i = 0; i < parts; ++i) {
    InstrumentPlan& instrument = plan.instruments[i];
    instrument.name = header.name;
    instrument.part = i + 1;
    instrument.part_count = parts;
    Annotate(zones, instrument);
    MapEnvelope(zones, instrument);
  }
  return plan;
}

}  // namespace brumlet::sf2
