#include "sampler/planner.h"

#include <algorithm>
#include <cstdlib>
#include <set>
#include <tuple>
#include <utility>

#include "sampler/envelope_mapping.h"
#include "sampler/kit_keys.h"
#include "sampler/layers.h"
#include "sampler/xi_units.h"

namespace brumlet::sampler {
namespace {

constexpr int kVelocity = 100;
constexpr auto kSlots = static_cast<std::size_t>(xi::kSampleSlots);
// The key whose zone gives an instrument its envelope and vibrato: middle C, where the keynum
// generators leave the hold and decay as they are.
constexpr int kEnvelopeKey = 60;
// openmpt123 and xmp both play a note when the key plus the sample's relative note lies in
// 0..118 (XM notes 1 to 119, C-0 to A#9, as rendered); outside it the key is silent.
constexpr int kLowestNote = 0;
constexpr int kHighestNote = 118;
// How far off a key may play a slot tuned for another key of the same scale-tuned zone.
constexpr int kScaleSlotCents = 5;

using KeyArray = std::array<int, kKeyCount>;

// Two samples the XI file could not tell apart are one. Root key and tuning count only through
// the pitch they give: drum kits tune one sample on neighbouring keys as root k with -5 cents and
// as root k + 1 with 95, and copies of it would take places among the 16.
bool SameSound(const PlannedSample& a, const PlannedSample& b) {
  return a.source == b.source && a.pitch.relative_note == b.pitch.relative_note &&
         a.pitch.finetune == b.pitch.finetune && a.loop == b.loop && a.volume == b.volume &&
         a.panning == b.panning;
}

// Where `key` finds no sample (-1), it takes the nearest key's that has one, the lower on a tie.
void FillHoles(KeyArray& map) {
  const KeyArray covered = map;
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
int Reduce(std::vector<PlannedSample>& samples, KeyArray& map) {
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
InstrumentPlan Part(const std::vector<PlannedSample>& samples, const KeyArray& map, int low,
                    int high) {
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

// A zone spanning several keys with a scale tuning other than 100 cents a key (0, every key the
// same pitch, is common in sound effects) cannot be one XI sample, which moves 100 cents a key.
// After the reduction to 16, the free slots go to such zones' keys, one XI sample of the same
// frames per distinct pitch (a slot serves the keys it plays within a few cents), the keys
// nearest the zone's root first (ties: the lower key, then the zones in the list's order); each
// zone's first key takes its own sample, retuned. Keys left over play the nearest key with a
// tuned slot of the same zone. Returns the keys kept in tune and the keys such zones play.
std::pair<int, int> TuneScaledKeys(const ZoneList& list, std::vector<PlannedSample>& samples,
                                   KeyArray& map, const KeyArray& key_zone) {
  struct Wanted {
    int distance, key;
    std::size_t zone;
    int sample;
  };
  std::vector<Wanted> wanted;
  for (int k = 0; k < kKeyCount; ++k) {
    const int s = map[k];
    if (key_zone[k] < 0 || !samples[s].scale_tuning_lost) continue;
    const auto z = static_cast<std::size_t>(key_zone[k]);
    if (samples[s].zone != z || !list.zones[z].keys.Contains(k)) continue;
    wanted.push_back({std::abs(k - list.zones[z].root_key), k, z, s});
  }
  std::stable_sort(wanted.begin(), wanted.end(), [](const Wanted& a, const Wanted& b) {
    return std::tie(a.distance, a.key, a.zone) < std::tie(b.distance, b.key, b.zone);
  });
  std::vector<bool> retuned(samples.size(), false);
  std::vector<int> tuned(kKeyCount, -1);  // for each key kept in tune, its sample
  int kept = 0;
  for (const Wanted& w : wanted) {
    const Zone& zone = list.zones[w.zone];
    // A slot tuned for another key k0 of the zone plays this key |k - k0| x |100 - t| cents off:
    // where that is within a few cents (a scale tuning near 100), it serves this key too.
    const auto near = [&](int k0) {
      return tuned[k0] >= 0 && key_zone[k0] == static_cast<int>(w.zone) &&
             std::abs(w.key - k0) * std::abs(zone.scale_tuning - 100) <= kScaleSlotCents;
    };
    if (const auto close = std::find_if(wanted.begin(), wanted.end(),
                                        [&](const Wanted& o) { return near(o.key); });
        close != wanted.end()) {
      map[w.key] = tuned[w.key] = tuned[close->key];
      ++kept;
      continue;
    }
    PlannedSample exact = samples[w.sample];
    // On its own key k the zone sounds (k - root) x t + tuning cents above its rate: an XI
    // sample rooted on k sounds that.
    exact.root_key = w.key;
    exact.tuning_cents = zone.tuning + HeldPitch(zone) +
                         static_cast<double>(w.key - zone.root_key) * zone.scale_tuning;
    exact.pitch = SamplePitch(list.samples[zone.sample].rate, w.key, exact.tuning_cents);
    exact.scale_tuning_lost = false;
    int slot = -1;
    if (!retuned[w.sample]) {
      retuned[w.sample] = true;
      slot = w.sample;
      samples[w.sample] = exact;
    } else if (const auto same =
                   std::find_if(samples.begin(), samples.end(),
                                [&](const PlannedSample& s) { return SameSound(s, exact); });
               same != samples.end()) {
      slot = static_cast<int>(same - samples.begin());
    } else if (samples.size() < kSlots) {
      slot = static_cast<int>(samples.size());
      samples.push_back(exact);
    }
    if (slot < 0) continue;
    map[w.key] = slot;
    tuned[w.key] = slot;
    ++kept;
  }
  // Keys left over: the nearest key of the same zone kept in tune (the lower on a tie).
  for (const Wanted& w : wanted) {
    if (tuned[w.key] >= 0) continue;
    for (int d = 1; d < kKeyCount; ++d) {
      const int below = w.key - d, above = w.key + d;
      const auto of_zone = [&](int k) {
        return k >= 0 && k < kKeyCount && tuned[k] >= 0 && key_zone[k] == static_cast<int>(w.zone);
      };
      if (of_zone(below) || of_zone(above)) {
        map[w.key] = tuned[of_zone(below) ? below : above];
        break;
      }
    }
  }
  return {kept, static_cast<int>(wanted.size())};
}

// One envelope for the whole instrument, the XI has no other: the one of the zone key 60 plays
// (or, where no zone sounds there, the nearest key's), as it plays key 60.
void MapEnvelopeOf(const std::vector<Zone>& zones, const KeyArray& key_zone, InstrumentPlan& plan) {
  const int key = std::clamp(kEnvelopeKey, plan.keys.low, plan.keys.high);
  const EnvelopeMapping mapping = MapEnvelope(EnvelopeAt(zones[key_zone[key]], key));
  plan.envelope = mapping.volume;
  plan.vibrato = mapping.vibrato;
  plan.envelope_held = mapping.held;
  // A one-shot plays to its end whatever the key does: an envelope on, so that a key-off does not
  // cut the note, that ends where it would have sustained (its release never comes), without a
  // sustain point and with no fade-out.
  if (zones[key_zone[key]].loop_mode == LoopMode::kOneShot) {
    xi::VolumeEnvelope& envelope = plan.envelope;
    if ((envelope.flags & xi::envelope_flag::kSustain) && envelope.sustain < envelope.count) {
      envelope.count = static_cast<std::uint8_t>(envelope.sustain + 1);
    }
    if (envelope.count == 0) envelope.points[0] = {0, 64};
    if (envelope.count < 2) {
      envelope.points[1] = {static_cast<std::uint16_t>(envelope.points[0].tick + 1),
                            envelope.points[0].value};
      envelope.count = 2;
    }
    envelope.flags = static_cast<std::uint8_t>((envelope.flags | xi::envelope_flag::kOn) &
                                               ~xi::envelope_flag::kSustain);
    envelope.fade_out = 0;
  }
}

void Annotate(InstrumentPlan& plan) {
  for (PlannedSample& sample : plan.samples) {
    sample.key_count = static_cast<int>(
        std::count(plan.key_map.begin(), plan.key_map.end(), &sample - plan.samples.data()));
    plan.pairs_mixed += sample.partner_zone.has_value();
    plan.loops_dropped += sample.loop_dropped;
    plan.lost |= sample.lost;
  }
}

// Keys whose note (the key and its sample's relative note) lies outside what players play are
// silent. Where every key the zones sound on would be silent, each sample is moved by whole
// octaves (its frames as they are) so that its root key plays, and the plan says by how many.
void KeepAudible(const std::vector<bool>& sounds, InstrumentPlan& plan) {
  const auto silent = [&](int k) {
    const int note = k + plan.samples[plan.key_map[k]].pitch.relative_note;
    return note < kLowestNote || note > kHighestNote;
  };
  bool any = false, all = true;
  for (int k = 0; k < kKeyCount; ++k) {
    if (!sounds[k]) continue;
    any = true;
    all = all && silent(k);
  }
  if (any && all) {
    for (PlannedSample& sample : plan.samples) {
      const int note = sample.root_key + sample.pitch.relative_note;
      int octaves = 0;
      while (note + 12 * octaves < kLowestNote) ++octaves;
      while (note + 12 * octaves > kHighestNote) --octaves;
      sample.pitch.relative_note = static_cast<std::int8_t>(
          std::clamp(sample.pitch.relative_note + 12 * octaves, -128, 127));
      if (std::abs(octaves) > std::abs(plan.octaves_moved)) plan.octaves_moved = octaves;
    }
  }
  for (int k = 0; k < kKeyCount; ++k) {
    if (!sounds[k] || !silent(k)) continue;
    if (!plan.silent_keys.empty() && plan.silent_keys.back().high == k - 1) {
      plan.silent_keys.back().high = k;
    } else {
      plan.silent_keys.push_back({k, k});
    }
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

  const bool kit = IsKit(list, sounding);
  std::vector<PlannedSample> samples;
  KeyArray map, key_zone;
  map.fill(-1);
  key_zone.fill(-1);
  std::vector<std::size_t> candidates;
  for (int k = 0; k < kKeyCount; ++k) {
    candidates.clear();
    for (std::size_t z : sounding) {
      if (zones[z].keys.Contains(k)) candidates.push_back(z);
    }
    if (candidates.empty()) continue;
    if (kit) {  // every layer of the key, in a render of its own
      std::size_t loudest = candidates.front();
      for (std::size_t z : candidates) {
        used[z] = true;
        if (zones[z].attenuation < zones[loudest].attenuation) loudest = z;
      }
      map[k] = static_cast<int>(samples.size());
      key_zone[k] = static_cast<int>(loudest);
      samples.push_back(RenderedKey(list, candidates, k, loudest, budget));
      continue;
    }
    const std::vector<Layer> layers = PairLayers(list, candidates);
    const Layer& layer = MainLayer(list, layers, k);
    used[layer.main] = true;
    if (layer.other) used[*layer.other] = true;
    if (layer.twin) used[layer.twin->first] = used[layer.twin->second] = true;
    key_zone[k] = static_cast<int>(layer.main);
    PlannedSample sample = SampleOf(list, layer);
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
  if (budget.Exceeded()) {  // the renders would take more than any real bank needs
    plan.too_much_work = true;
    return plan;
  }
  for (std::size_t z : sounding) plan.layers_left_out += !used[z];
  plan.samples = samples.size();
  if (samples.empty()) return plan;
  std::vector<bool> sounds(kKeyCount);
  for (int k = 0; k < kKeyCount; ++k) sounds[k] = map[k] >= 0;
  FillHoles(map);
  FillHoles(key_zone);

  if (kit) {
    if (samples.size() > kSlots) {
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
      plan.instruments.push_back(Part(samples, map, 0, kKeyCount - 1));
    }
  } else {
    const int merged = Reduce(samples, map);
    const auto [kept, scaled] = TuneScaledKeys(list, samples, map, key_zone);
    plan.instruments.push_back(Part(samples, map, 0, kKeyCount - 1));
    plan.instruments.back().samples_merged = merged;
    plan.instruments.back().scale_tuning_kept = kept;
    plan.instruments.back().scale_tuning_keys = scaled;
  }
  const int parts = static_cast<int>(plan.instruments.size());
  for (int i = 0; i < parts; ++i) {
    InstrumentPlan& instrument = plan.instruments[i];
    instrument.name = list.name;
    instrument.part = i + 1;
    instrument.part_count = parts;
    Annotate(instrument);
    if (!kit) {
      MapEnvelopeOf(zones, key_zone, instrument);
      KeepAudible(sounds, instrument);
      continue;
    }
    KitEnvelope(zones, instrument);
    if (parts > 1) NameKitPart(list.name, instrument);
  }
  return plan;
}

}  // namespace brumlet::sampler
