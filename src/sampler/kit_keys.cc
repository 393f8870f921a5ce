#include "sampler/kit_keys.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <set>
#include <tuple>
#include <utility>

#include "sampler/envelope_mapping.h"
#include "sampler/key_layout.h"
#include "sampler/layers.h"
#include "sampler/render_voice.h"
#include "sampler/resampler.h"
#include "sampler/xi_units.h"
#include "utf8.h"

namespace brumlet::sampler {
namespace {

constexpr int kEnvelopeKey = 60;  // the key whose zone gives a part its fade-out

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

}  // namespace

// Whether the zones are a drum kit: the reader says so (a SoundFont's bank 128), or at least 8
// zones sound at velocity 100 (a stereo pair counted once, by its left side) and three quarters of
// them each sit on a single key: drums, not a multisample, nor a sound effect on one key.
bool IsKit(const ZoneList& list, const std::vector<std::size_t>& sounding) {
  if (list.kit) return true;
  const auto side = [&](const Zone& zone) { return list.samples[zone.sample].side; };
  // A left and a right recording stored as mono samples count once too, by the left one.
  const auto mono_side = [&](const Zone& zone) {
    return std::tuple(zone.keys.low, zone.keys.high, zone.root_key, zone.attenuation,
                      list.samples[zone.sample].rate);
  };
  std::set<std::pair<int, int>> left_keys;
  std::set<decltype(mono_side(list.zones[0]))> mono_left;
  for (std::size_t z : sounding) {
    const Zone& zone = list.zones[z];
    if (side(zone) == Sample::Side::kLeft) left_keys.insert({zone.keys.low, zone.keys.high});
    if (side(zone) == Sample::Side::kMono && zone.pan < 0) mono_left.insert(mono_side(zone));
  }
  std::size_t count = 0, single = 0;
  for (std::size_t z : sounding) {
    const Zone& zone = list.zones[z];
    if (side(zone) == Sample::Side::kRight && left_keys.count({zone.keys.low, zone.keys.high})) {
      continue;
    }
    if (side(zone) == Sample::Side::kMono && zone.pan > 0 && mono_left.count(mono_side(zone))) {
      continue;
    }
    ++count;
    single += zone.keys.low == zone.keys.high;
  }
  return count >= 8 && 4 * single >= 3 * count;
}

// What rendering `voices` as laid out costs: each voice's output frames, times the resampler's
// kernel stretch where the voice is read faster than the output (at the highest pitch its
// modulation envelope takes it to), since the taps a frame costs grow with it, up to 16 times.
std::uint64_t RenderCost(const std::vector<RenderVoice>& voices, const KeyRenderLayout& layout) {
  double cost = 0;
  for (const RenderVoice& voice : voices) {
    const RenderVoice v = CheckedVoice(voice);
    if (!Sounds(v)) continue;
    const double cents =
        std::clamp(v.pitch_cents + std::max(0.0, v.mod_env_to_pitch_cents), -24000.0, 24000.0);
    const double step = v.sample_rate * std::exp2(cents / 1200) / layout.rate;
    cost += static_cast<double>(layout.frames) * std::clamp(step, 1.0, kMaxKernelStretch);
  }
  return static_cast<std::uint64_t>(std::ceil(cost));
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
  // (L + R) / 2; layers of different sounds add up. The sides are the reader's, or a left and a
  // right recording stored as mono samples (a reader that loses the stereo links).
  std::vector<bool> paired(candidates.size(), false), merged(candidates.size(), false);
  const auto side = [&](std::size_t i) { return list.samples[list.zones[candidates[i]].sample]; };
  for (std::size_t i = 0; i < candidates.size(); ++i) {
    const bool mono_left =
        side(i).side == Sample::Side::kMono && list.zones[candidates[i]].pan < 0;
    if ((side(i).side != Sample::Side::kLeft && !mono_left) || paired[i]) continue;
    std::optional<std::size_t> partner;
    for (std::size_t j = 0; j < candidates.size(); ++j) {
      if (paired[j]) continue;
      if (mono_left) {
        if (!partner && LeftAndRight(list, candidates[i], candidates[j])) partner = j;
        continue;
      }
      if (side(j).side != Sample::Side::kRight) continue;
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
  budget.SpendRender(RenderCost(voices, render.layout));
  PlannedSample sample;
  sample.name = list.samples[list.zones[loudest].sample].name;
  sample.zone = loudest;
  sample.lost = lost;
  sample.root_key = key;
  sample.pitch = Pitch{static_cast<std::int8_t>(render.layout.relative_note),
                       static_cast<std::int8_t>(render.layout.finetune)};
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

}  // namespace brumlet::sampler
