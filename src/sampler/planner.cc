#include "sampler/planner.h"

#include <algorithm>
#include <cstdlib>
#include <set>

#include "sampler/envelope_mapping.h"
#include "sampler/xi_units.h"

namespace brumlet::sampler {
namespace {

constexpr int kVelocity = 100;
constexpr auto kSlots = static_cast<std::size_t>(xi::kSampleSlots);
// The key whose zone gives an instrument its envelope and vibrato: middle C, where the keynum
// generators leave the hold and decay as they are.
constexpr int kEnvelopeKey = 60;

bool Loops(const Zone& zone) {
  return zone.loop_mode == LoopMode::kContinuous || zone.loop_mode == LoopMode::kUntilRelease;
}

// The XI sample one key plays: a zone, and the other side of its stereo pair if any.
PlannedSample SampleFor(const ZoneList& list, std::size_t z, std::optional<std::size_t> partner) {
  const Zone& zone = list.zones[z];
  PlannedSample sample;
  sample.name = list.samples[zone.sample].name;
  sample.zone = z;
  sample.source.range = {zone.sample, zone.start,
                         static_cast<std::uint32_t>(zone.end - zone.start)};
  double pan = zone.pan;
  if (partner) {
    const Zone& other = list.zones[*partner];
    sample.partner_zone = partner;
    sample.source.partner =
        FrameRange{other.sample, other.start, static_cast<std::uint32_t>(other.end - other.start)};
    pan = (pan + other.pan) / 2;
  }
  sample.root_key = zone.root_key;
  sample.tuning_cents = zone.tuning;
  if (zone.keys.low == zone.keys.high) {
    // One key k: scaleTuning t moves it (k - root) x (t - 100) cents from where 100 puts it.
    sample.tuning_cents += (zone.keys.low - zone.root_key) * (zone.scale_tuning - 100);
  } else if (zone.scale_tuning != 100) {
    sample.scale_tuning_lost = true;
  }
  sample.pitch = SamplePitch(list.samples[zone.sample].rate, sample.root_key, sample.tuning_cents);
  if (Loops(zone)) {
    if (zone.loop_start >= zone.start && zone.loop_start < zone.loop_end &&
        zone.loop_end <= zone.end) {
      sample.loop = PlannedLoop{static_cast<std::uint32_t>(zone.loop_start - zone.start),
                                static_cast<std::uint32_t>(zone.loop_end - zone.loop_start)};
    } else {
      sample.loop_dropped = true;
    }
  }
  sample.volume = XiVolume(zone.attenuation);
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
                                   const std::vector<Zone>& zones, Accept accept) {
  std::optional<std::size_t> best;
  for (std::size_t z : candidates) {
    if (accept(z) && (!best || zones[z].attenuation < zones[*best].attenuation)) best = z;
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

// The envelope and vibrato generators of `zone` as it plays `key`: the hold and decay shorten
// by their keynum timecents for every key above 60.
EnvelopeGenerators EnvelopeAt(const Zone& zone, int key) {
  const int keys_above = key - kEnvelopeKey;
  const Envelope& v = zone.volume;
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

// One envelope for the whole instrument: the XI has no other.
void MapEnvelopeOf(const std::vector<Zone>& zones, InstrumentPlan& plan) {
  const int key = std::clamp(kEnvelopeKey, plan.keys.low, plan.keys.high);
  const PlannedSample& sample = plan.samples[plan.key_map[key]];
  const EnvelopeMapping mapping = MapEnvelope(EnvelopeAt(zones[sample.zone], key));
  plan.envelope = mapping.volume;
  plan.vibrato = mapping.vibrato;
  plan.envelope_compressed = mapping.compressed;
}

void Annotate(const std::vector<Zone>& zones, InstrumentPlan& plan) {
  for (PlannedSample& sample : plan.samples) {
    sample.key_count = static_cast<int>(
        std::count(plan.key_map.begin(), plan.key_map.end(), &sample - plan.samples.data()));
    plan.pairs_mixed += sample.partner_zone.has_value();
    plan.loops_dropped += sample.loop_dropped;
    plan.scale_tunings_lost += sample.scale_tuning_lost;
    plan.lost |= zones[sample.zone].lost;
    if (sample.partner_zone) plan.lost |= zones[*sample.partner_zone].lost;
  }
}

}  // namespace

Plan PlanInstrument(const ZoneList& list, WorkBudget& budget) {
  const std::vector<Zone>& zones = list.zones;
  Plan plan;
  plan.zones = zones.size();
  // Planning is a look at every zone for every key: that is the work counted, though each key
  // looks only at the zones that sound at velocity 100 on a tracker's keys.
  if (!budget.Spend(std::uint64_t{kKeyCount} * zones.size())) {
    plan.too_much_work = true;
    return plan;
  }

  std::vector<std::size_t> sounding;
  std::vector<bool> used(zones.size(), false);
  for (std::size_t z = 0; z < zones.size(); ++z) {
    if (!zones[z].velocities.Contains(kVelocity)) {
      ++plan.velocity_layers_left_out;
    } else if (zones[z].keys.low >= kKeyCount) {
      ++plan.zones_above_keyboard;
    } else {
      sounding.push_back(z);
    }
  }

  std::vector<PlannedSample> samples;
  std::array<int, kKeyCount> map;
  map.fill(-1);
  std::vector<std::size_t> candidates;
  const auto side_of = [&](std::size_t z) { return list.samples[zones[z].sample].side; };
  for (int k = 0; k < kKeyCount; ++k) {
    candidates.clear();
    for (std::size_t z : sounding) {
      if (zones[z].keys.Contains(k)) candidates.push_back(z);
    }
    const auto kept = Loudest(candidates, zones, [](std::size_t) { return true; });
    if (!kept) continue;
    const Sample& s = list.samples[zones[*kept].sample];
    std::optional<std::size_t> partner;
    if (s.side != Sample::Side::kMono) {
      const Sample::Side other =
          s.side == Sample::Side::kLeft ? Sample::Side::kRight : Sample::Side::kLeft;
      partner = Loudest(candidates, zones, [&](std::size_t z) {
        return side_of(z) == other && s.link && zones[z].sample == *s.link;
      });
      if (!partner) {
        partner = Loudest(candidates, zones, [&](std::size_t z) { return side_of(z) == other; });
      }
    }
    used[*kept] = true;
    if (partner) used[*partner] = true;
    PlannedSample sample = SampleFor(list, *kept, partner);
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
  for (std::size_t z : sounding) plan.layers_left_out += !used[z];
  plan.samples = samples.size();
  if (samples.empty()) return plan;
  FillHoles(map);

  if (samples.size() > kSlots && list.kit) {
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
    instrument.name = list.name;
    instrument.part = i + 1;
    instrument.part_count = parts;
    Annotate(zones, instrument);
    MapEnvelopeOf(zones, instrument);
  }
  return plan;
}

}  // namespace brumlet::sampler
