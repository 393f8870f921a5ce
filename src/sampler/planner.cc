#include "sampler/planner.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <set>
#include <utility>

#include "sampler/envelope_mapping.h"
#include "sampler/key_layout.h"
#include "sampler/xi_units.h"
#include "utf8.h"

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
  sample.lost = zone.lost;
  if (partner) sample.lost |= list.zones[*partner].lost;
  return sample;
}

// Drum kits. A tracker plays a drum as a one-shot (note on, and it rings out), so each key of a
// kit can be rendered into a sample of its own, all its layers with their own envelopes, pitch
// sweeps and filters, as a SoundFont player plays it at velocity 100.

// Whether the zones are a drum kit: the reader says so (a SoundFont's bank 128), or at least 8
// zones sound at velocity 100 (a stereo pair counted once, by its left side) and three quarters of
// them each sit on a single key: drums, not a multisample, nor a sound effect on one key.
bool IsKit(const ZoneList& list, const std::vector<std::size_t>& sounding) {
  if (list.kit) return true;
  const auto side = [&](const Zone& zone) { return list.samples[zone.sample].side; };
  std::set<std::pair<int, int>> left_keys;
  for (std::size_t z : sounding) {
    const Zone& zone = list.zones[z];
    if (side(zone) == Sample::Side::kLeft) left_keys.insert({zone.keys.low, zone.keys.high});
  }
  std::size_t count = 0, single = 0;
  for (std::size_t z : sounding) {
    const Zone& zone = list.zones[z];
    if (side(zone) == Sample::Side::kRight && left_keys.count({zone.keys.low, zone.keys.high})) {
      continue;
    }
    ++count;
    single += zone.keys.low == zone.keys.high;
  }
  return count >= 8 && 4 * single >= 3 * count;
}

double Seconds(int timecents) { return std::exp2(timecents / 1200.0); }

// A SoundFont envelope's phases as the renderer takes them, in seconds for `key`: the hold and
// decay shorten by their keynum timecents for every key above 60; times within the format's
// ranges. `sustain` is given in the renderer's terms.
EnvelopeShape ShapeAt(const Envelope& e, int key, double sustain) {
  const int keys_above = key - kEnvelopeKey;
  return {Seconds(std::clamp(e.delay, -12000, 5000)), Seconds(std::clamp(e.attack, -12000, 8000)),
          Seconds(std::clamp(e.hold - e.hold_per_key * keys_above, -12000, 5000)),
          Seconds(std::clamp(e.decay - e.decay_per_key * keys_above, -12000, 8000)), sustain};
}

// A zone as the renderer plays it on `key`: at its pitch there (root, tunings, scale tuning), at
// its level (10^(-0.4 cB / 200) of full scale, as its XI volume would be), with its envelopes,
// pitch sweep and filter.
PlannedVoice VoiceOn(const ZoneList& list, const Zone& zone, int key) {
  PlannedVoice planned;
  const auto length = static_cast<std::uint32_t>(zone.end - zone.start);
  planned.frames = {zone.sample, zone.start, length};
  RenderVoice& v = planned.voice;
  v.length = length;
  v.sample_rate = list.samples[zone.sample].rate;
  v.pitch_cents = zone.tuning + static_cast<double>(key - zone.root_key) * zone.scale_tuning;
  if (Loops(zone) && zone.loop_start >= zone.start && zone.loop_start < zone.loop_end &&
      zone.loop_end <= zone.end) {
    v.loops = true;
    v.loop_start = static_cast<std::uint32_t>(zone.loop_start - zone.start);
    v.loop_end = static_cast<std::uint32_t>(zone.loop_end - zone.start);
  }
  v.gain = std::pow(10.0, -0.4 * zone.attenuation / 200.0);
  v.pan = zone.pan / 500.0;
  v.volume = ShapeAt(zone.volume, key, std::clamp(zone.volume.sustain, 0, 1440) * 0.096);
  v.modulation =
      ShapeAt(zone.modulation, key, 1 - std::clamp(zone.modulation.sustain, 0, 1000) / 1000.0);
  v.mod_env_to_pitch_cents = zone.mod_env_to_pitch;
  v.filter_cutoff_cents = zone.filter_cutoff;
  v.filter_q_db = zone.filter_q / 10.0;
  v.mod_env_to_filter_cents = zone.mod_env_to_filter;
  return planned;
}

// Whether two voices sound alike but for their frames and pan: the two sides of one recording,
// which can then be mixed before they are rendered.
bool PlayedAlike(const RenderVoice& a, const RenderVoice& b) {
  const auto same_shape = [](const EnvelopeShape& x, const EnvelopeShape& y) {
    return x.delay == y.delay && x.attack == y.attack && x.hold == y.hold && x.decay == y.decay &&
           x.sustain == y.sustain;
  };
  return a.length == b.length && a.sample_rate == b.sample_rate && a.pitch_cents == b.pitch_cents &&
         a.loops == b.loops && a.loop_start == b.loop_start && a.loop_end == b.loop_end &&
         a.gain == b.gain && same_shape(a.volume, b.volume) &&
         same_shape(a.modulation, b.modulation) &&
         a.mod_env_to_pitch_cents == b.mod_env_to_pitch_cents &&
         a.filter_cutoff_cents == b.filter_cutoff_cents && a.filter_q_db == b.filter_q_db &&
         a.mod_env_to_filter_cents == b.mod_env_to_filter_cents;
}

// What a rendered key still cannot hold: its filters, pitch sweeps and per-key envelopes are in
// the render, its LFOs (the vibrato among them) are not.
LostSet LostInRender(const Zone& zone) {
  LostSet lost = zone.lost;
  lost.reset(static_cast<std::size_t>(Lost::kFilter));
  lost.reset(static_cast<std::size_t>(Lost::kPitchEnvelope));
  lost.reset(static_cast<std::size_t>(Lost::kKeyEnvelopes));
  if (zone.vibrato_depth != 0) lost.set(static_cast<std::size_t>(Lost::kPitchLfo));
  return lost;
}

// The sample of kit key `key`: every zone sounding there, rendered together at a rate the key
// plays at its own; named after its loudest zone's sample. Its work counts against `budget`.
PlannedSample RenderedKey(const ZoneList& list, const std::vector<std::size_t>& candidates, int key,
                          std::size_t loudest, WorkBudget& budget) {
  KeyRender render;
  render.key = key;
  std::vector<RenderVoice> voices;
  LostSet lost;
  for (std::size_t z : candidates) {
    render.voices.push_back(VoiceOn(list, list.zones[z], key));
    lost |= LostInRender(list.zones[z]);
  }
  // The two sides of a stereo recording are one sound, mixed as the program mixes every pair,
  // (L + R) / 2; layers of different sounds add up.
  std::vector<bool> paired(candidates.size(), false), merged(candidates.size(), false);
  const auto side = [&](std::size_t i) { return list.samples[list.zones[candidates[i]].sample]; };
  for (std::size_t i = 0; i < candidates.size(); ++i) {
    if (side(i).side != Sample::Side::kLeft || paired[i]) continue;
    std::optional<std::size_t> partner;
    for (std::size_t j = 0; j < candidates.size(); ++j) {
      if (paired[j] || side(j).side != Sample::Side::kRight) continue;
      if (!partner || (side(i).link && list.zones[candidates[j]].sample == *side(i).link)) {
        partner = j;
      }
    }
    if (!partner) continue;
    paired[i] = paired[*partner] = true;
    PlannedVoice& left = render.voices[i];
    PlannedVoice& right = render.voices[*partner];
    if (PlayedAlike(left.voice, right.voice)) {
      // One voice of the two sides' mix: the same sound as the two at half their level each.
      left.mixed_with = right.frames;
      left.voice.pan = (left.voice.pan + right.voice.pan) / 2;
      merged[*partner] = true;
      continue;
    }
    left.voice.gain /= 2;
    right.voice.gain /= 2;
  }
  for (std::size_t i = candidates.size(); i-- > 0;) {
    if (merged[i]) render.voices.erase(render.voices.begin() + static_cast<std::ptrdiff_t>(i));
  }
  for (const PlannedVoice& voice : render.voices) voices.push_back(voice.voice);
  render.layout = LayOutKey(voices, key);
  budget.SpendRender(std::uint64_t{render.layout.frames} * voices.size());
  PlannedSample sample;
  sample.name = list.samples[list.zones[loudest].sample].name;
  sample.zone = loudest;
  sample.lost = lost;
  sample.root_key = key;
  sample.pitch = Pitch{static_cast<std::int8_t>(render.layout.relative_note), 0};
  sample.source.range = {list.zones[loudest].sample, 0, render.layout.frames};
  if (render.layout.loops) {
    sample.loop =
        PlannedLoop{render.layout.loop_start, render.layout.frames - render.layout.loop_start};
  }
  sample.volume = xi::kFullVolume;  // the levels are in the render
  sample.panning = XiPanning(KeyPan(voices) * 500);
  sample.render = std::move(render);
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

void Annotate(InstrumentPlan& plan) {
  for (PlannedSample& sample : plan.samples) {
    sample.key_count = static_cast<int>(
        std::count(plan.key_map.begin(), plan.key_map.end(), &sample - plan.samples.data()));
    plan.pairs_mixed += sample.partner_zone.has_value();
    plan.loops_dropped += sample.loop_dropped;
    plan.scale_tunings_lost += sample.scale_tuning_lost;
    plan.lost |= sample.lost;
  }
}

// A rendered kit's part plays its renders at full volume as they are: a flat envelope, sustained
// at its one point, and the fade-out of its key nearest 60 as that key's loudest zone releases.
void KitEnvelope(const std::vector<Zone>& zones, InstrumentPlan& plan) {
  const int key = std::clamp(kEnvelopeKey, plan.keys.low, plan.keys.high);
  const PlannedSample& sample = plan.samples[plan.key_map[key]];
  const int render_key = sample.render ? sample.render->key : key;
  plan.envelope = xi::VolumeEnvelope{};
  plan.envelope.points[0] = {0, 64};
  plan.envelope.count = 1;
  plan.envelope.sustain = 0;
  plan.envelope.flags = xi::envelope_flag::kOn | xi::envelope_flag::kSustain;
  plan.envelope.fade_out = MapEnvelope(EnvelopeAt(zones[sample.zone], render_key)).volume.fade_out;
  plan.vibrato = {};
}

// A split kit's part is named for its drums' keys: "Standard 35-50", the name cut (never inside a
// character) so that the keys fit the XI's 22 bytes.
void NameKitPart(const std::string& name, InstrumentPlan& plan) {
  int first = -1, last = -1;
  for (int k = plan.keys.low; k <= plan.keys.high; ++k) {
    const PlannedSample& sample = plan.samples[plan.key_map[k]];
    if (sample.render && sample.render->key == k) {
      if (first < 0) first = k;
      last = k;
    }
  }
  if (first < 0) return;
  plan.drum_keys = KeyRange{first, last};
  std::string keys(1, ' ');  // appended piece by piece: g++ 12 warns falsely on " " + string
  keys.append(std::to_string(first)).append(1, '-').append(std::to_string(last));
  plan.name = std::string(CutToBytes(name, xi::kNameSize - keys.size())) + keys;
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
    if (kit) {  // every layer of the key, in a render of its own
      for (std::size_t z : candidates) used[z] = true;
      map[k] = static_cast<int>(samples.size());
      samples.push_back(RenderedKey(list, candidates, k, *kept, budget));
      continue;
    }
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
  if (budget.Exceeded()) {  // the renders would take more than any real bank needs
    plan.too_much_work = true;
    return plan;
  }
  for (std::size_t z : sounding) plan.layers_left_out += !used[z];
  plan.samples = samples.size();
  if (samples.empty()) return plan;
  FillHoles(map);

  if (samples.size() > kSlots && kit) {
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
    Annotate(instrument);
    if (!kit) {
      MapEnvelopeOf(zones, instrument);
      continue;
    }
    KitEnvelope(zones, instrument);
    if (parts > 1) NameKitPart(list.name, instrument);
  }
  return plan;
}

}  // namespace brumlet::sampler
