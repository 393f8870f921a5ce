#include "sfz/opcodes.h"

#include <algorithm>

#include "sfz/values.h"

namespace brumlet::sfz {
namespace {

template <typename Field>
struct Named {
  std::string_view name;
  Field field;
};

constexpr Named<int Region::*> kKeyFields[] = {
    {"lokey", &Region::lokey},
    {"hikey", &Region::hikey},
    {"sw_lokey", &Region::sw_lokey},
    {"sw_hikey", &Region::sw_hikey},
};

constexpr Named<int Region::*> kIntegerFields[] = {
    {"lovel", &Region::lovel},
    {"hivel", &Region::hivel},
    {"pitch_keytrack", &Region::pitch_keytrack},
    {"transpose", &Region::transpose},
    {"tune", &Region::tune},
    {"pitch", &Region::tune},  // SFZ 2's other name for tune
    {"seq_length", &Region::seq_length},
    {"seq_position", &Region::seq_position},
};

constexpr Named<double Region::*> kNumberFields[] = {
    {"volume", &Region::volume}, {"amplitude", &Region::amplitude}, {"pan", &Region::pan},
    {"lorand", &Region::lorand}, {"hirand", &Region::hirand},
};

constexpr Named<std::optional<double> Region::*> kOptionalNumberFields[] = {
    {"cutoff", &Region::cutoff},
    {"resonance", &Region::resonance},
    {"ampeg_holdcc133", &Region::ampeg_hold_by_note},
    {"ampeg_decaycc133", &Region::ampeg_decay_by_note},
};

constexpr Named<std::optional<std::int64_t> Region::*> kFrameFields[] = {
    {"end", &Region::end},
    {"loop_start", &Region::loop_start},
    {"loopstart", &Region::loop_start},
    {"loop_end", &Region::loop_end},
    {"loopend", &Region::loop_end},
};

constexpr Named<std::optional<int> Region::*> kOptionalKeyFields[] = {
    {"sw_last", &Region::sw_last},
    {"sw_default", &Region::sw_default},
};

constexpr Named<bool Region::*> kKeyFlags[] = {
    {"sw_down", &Region::sw_down},
    {"sw_previous", &Region::sw_previous},
};

constexpr Named<EnvelopeOpcodes Region::*> kEnvelopes[] = {
    {"ampeg_", &Region::ampeg},
    {"pitcheg_", &Region::pitcheg},
    {"fileg_", &Region::fileg},
};

constexpr Named<std::optional<double> EnvelopeOpcodes::*> kEnvelopeStages[] = {
    {"delay", &EnvelopeOpcodes::delay},     {"attack", &EnvelopeOpcodes::attack},
    {"hold", &EnvelopeOpcodes::hold},       {"decay", &EnvelopeOpcodes::decay},
    {"sustain", &EnvelopeOpcodes::sustain}, {"release", &EnvelopeOpcodes::release},
    {"depth", &EnvelopeOpcodes::depth},
};

constexpr Named<std::optional<double> LfoOpcodes::*> kPitchLfo[] = {
    {"pitchlfo_depth", &LfoOpcodes::depth},
    {"pitchlfo_freq", &LfoOpcodes::freq},
    {"pitchlfo_delay", &LfoOpcodes::delay},
};

constexpr Named<LoopMode> kLoopModes[] = {
    {"no_loop", LoopMode::kNoLoop},
    {"one_shot", LoopMode::kOneShot},
    {"loop_continuous", LoopMode::kContinuous},
    {"loop_sustain", LoopMode::kSustain},
};

constexpr Named<Trigger> kTriggers[] = {
    {"attack", Trigger::kAttack}, {"release", Trigger::kRelease},        {"first", Trigger::kFirst},
    {"legato", Trigger::kLegato}, {"release_key", Trigger::kReleaseKey},
};

constexpr Named<Filter> kFilters[] = {
    {"lpf_1p", {FilterShape::kLowpass, 1}},
    {"hpf_1p", {FilterShape::kHighpass, 1}},
    {"lpf_2p", {FilterShape::kLowpass, 2}},
    {"hpf_2p", {FilterShape::kHighpass, 2}},
    {"bpf_2p", {FilterShape::kBandpass, 2}},
    {"brf_2p", {FilterShape::kBandReject, 2}},
    {"bpf_1p", {FilterShape::kBandpass, 1}},
    {"brf_1p", {FilterShape::kBandReject, 1}},
    {"apf_1p", {FilterShape::kAllpass, 1}},
    {"lpf_4p", {FilterShape::kLowpass, 4}},
    {"hpf_4p", {FilterShape::kHighpass, 4}},
    {"lpf_6p", {FilterShape::kLowpass, 6}},
    {"hpf_6p", {FilterShape::kHighpass, 6}},
    {"pkf_2p", {FilterShape::kPeak, 2}},
    {"lpf_2p_sv", {FilterShape::kLowpass, 2, true}},
    {"hpf_2p_sv", {FilterShape::kHighpass, 2, true}},
    {"bpf_2p_sv", {FilterShape::kBandpass, 2, true}},
    {"brf_2p_sv", {FilterShape::kBandReject, 2, true}},
    {"lsh", {FilterShape::kLowShelf, 0}},
    {"hsh", {FilterShape::kHighShelf, 0}},
    {"peq", {FilterShape::kEqualiser, 0}},
    {"comb", {FilterShape::kComb, 0}},
    {"pink", {FilterShape::kPink, 0}},
};

template <typename Field, std::size_t N>
const Named<Field>* Find(const Named<Field> (&table)[N], std::string_view name) {
  for (const Named<Field>& entry : table) {
    if (entry.name == name) return &entry;
  }
  return nullptr;
}

// Stores `parsed` into `target` when it parsed.
template <typename Target, typename Parsed>
OpcodeUse Store(Target& target, const std::optional<Parsed>& parsed) {
  if (!parsed) return OpcodeUse::kBadValue;
  target = *parsed;
  return OpcodeUse::kApplied;
}

// The controller number N at the end of `name` after `prefix` (loccN, set_ccN, ...); nothing
// when `name` is not the prefix followed by one to three digits.
std::optional<int> ControllerOf(std::string_view name, std::string_view prefix) {
  if (!name.starts_with(prefix)) return std::nullopt;
  const std::string_view digits = name.substr(prefix.size());
  if (digits.empty() || digits.size() > 3) return std::nullopt;
  int n = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + (c - '0');
  }
  return n;
}

// Labels name things in a player's user interface; hints tune a player's engine. Neither is
// sound, so neither is reported as lost.
bool IsLabelOrHint(std::string_view name) {
  return name.ends_with("_label") || name.starts_with("label_cc") || name.starts_with("hint_");
}

OpcodeUse ApplySample(Region& region, std::string_view value, std::string_view default_path) {
  if (value.empty()) return OpcodeUse::kBadValue;
  region.sample.clear();
  if (value.starts_with('*')) {
    region.sample_kind = value == "*sine"      ? SampleKind::kSine
                         : value == "*silence" ? SampleKind::kSilence
                                               : SampleKind::kOtherWaveform;
    region.sample.assign(value);
    return OpcodeUse::kApplied;
  }
  region.sample_kind = SampleKind::kFile;
  region.sample.reserve(default_path.size() + value.size());
  region.sample.assign(default_path);
  region.sample.append(value);
  std::replace(region.sample.begin() + static_cast<std::ptrdiff_t>(default_path.size()),
               region.sample.end(), '\\', '/');
  return OpcodeUse::kApplied;
}

// loccN, hiccN (conditions) and on_loccN, on_hiccN (a controller starts the region).
std::optional<OpcodeUse> ApplyController(Region& region, std::string_view name,
                                         std::string_view value) {
  for (const std::string_view prefix : {"on_locc", "on_hicc"}) {
    if (const std::optional<int> n = ControllerOf(name, prefix)) {
      if (*n >= kControllers) return OpcodeUse::kUnmapped;
      const std::optional<double> v = ParseNumber(value);
      if (!v) return OpcodeUse::kBadValue;
      if (*v >= 0) region.controller_trigger = true;  // -1 is "no trigger", the default
      return OpcodeUse::kApplied;
    }
  }
  for (const std::string_view prefix : {"locc", "hicc"}) {
    if (const std::optional<int> n = ControllerOf(name, prefix)) {
      if (*n >= kControllers) return OpcodeUse::kUnmapped;
      const std::optional<double> v = ParseNumber(value);
      if (!v) return OpcodeUse::kBadValue;
      auto& ranges = region.controller_ranges;
      auto it = std::find_if(ranges.begin(), ranges.end(),
                             [&](const ControllerRange& r) { return r.controller == *n; });
      if (it == ranges.end()) it = ranges.insert(ranges.end(), ControllerRange{*n});
      (prefix == "locc" ? it->low : it->high) = *v;
      return OpcodeUse::kApplied;
    }
  }
  return std::nullopt;
}

}  // namespace

OpcodeUse ApplyOpcode(Region& region, std::string_view name, std::string_view value,
                      std::string_view default_path) {
  if (name == "sample") return ApplySample(region, value, default_path);
  if (name == "key") {
    const std::optional<int> key = ParseKey(value);
    if (!key) return OpcodeUse::kBadValue;
    region.lokey = region.hikey = region.pitch_keycenter = *key;
    region.keycenter_from_sample = false;
    return OpcodeUse::kApplied;
  }
  if (name == "pitch_keycenter") {
    region.keycenter_from_sample = value == "sample";
    if (region.keycenter_from_sample) return OpcodeUse::kApplied;
    return Store(region.pitch_keycenter, ParseKey(value));
  }
  if (name == "offset") return Store(region.offset, ParseFrame(value));
  if (name == "loop_mode" || name == "loopmode") {
    const auto* mode = Find(kLoopModes, value);
    return mode ? Store(region.loop_mode, std::optional(mode->field)) : OpcodeUse::kBadValue;
  }
  if (name == "trigger") {
    const auto* trigger = Find(kTriggers, value);
    return trigger ? Store(region.trigger, std::optional(trigger->field)) : OpcodeUse::kBadValue;
  }
  if (name == "fil_type") {
    const auto* filter = Find(kFilters, value);
    return filter ? Store(region.fil_type, std::optional(filter->field)) : OpcodeUse::kBadValue;
  }
  if (const auto* f = Find(kKeyFields, name)) return Store(region.*f->field, ParseKey(value));
  if (const auto* f = Find(kIntegerFields, name)) {
    return Store(region.*f->field, ParseInteger(value));
  }
  if (const auto* f = Find(kNumberFields, name)) return Store(region.*f->field, ParseNumber(value));
  if (const auto* f = Find(kOptionalNumberFields, name)) {
    return Store(region.*f->field, ParseNumber(value));
  }
  if (const auto* f = Find(kFrameFields, name)) return Store(region.*f->field, ParseFrame(value));
  if (const auto* f = Find(kOptionalKeyFields, name)) {
    return Store(region.*f->field, ParseKey(value));
  }
  if (const auto* f = Find(kKeyFlags, name)) {
    return Store(region.*f->field, ParseKey(value) ? std::optional(true) : std::nullopt);
  }
  if (const auto* f = Find(kPitchLfo, name)) {
    return Store(region.pitchlfo.*f->field, ParseNumber(value));
  }
  for (const auto& envelope : kEnvelopes) {
    if (!name.starts_with(envelope.name)) continue;
    const std::string_view stage = name.substr(envelope.name.size());
    const auto* s = Find(kEnvelopeStages, stage);
    if (s == nullptr || (envelope.field == &Region::ampeg && stage == "depth")) break;
    return Store((region.*envelope.field).*s->field, ParseNumber(value));
  }
  if (const std::optional<OpcodeUse> use = ApplyController(region, name, value)) return *use;
  // Channels: kits exported for channel 10 carry them, and a tracker has no channels to match.
  // sw_up: a lone note is played with every other key up, so it always holds.
  if (name == "lochan" || name == "hichan" || name == "sw_up" || IsLabelOrHint(name)) {
    return OpcodeUse::kApplied;
  }
  return OpcodeUse::kUnmapped;
}

OpcodeUse ApplyControlOpcode(Control& control, std::string_view name, std::string_view value) {
  if (name == "default_path") {
    control.default_path.assign(value);
    std::replace(control.default_path.begin(), control.default_path.end(), '\\', '/');
    return OpcodeUse::kApplied;
  }
  if (const std::optional<int> n = ControllerOf(name, "set_cc")) {
    if (*n >= kControllers) return OpcodeUse::kUnmapped;
    const std::optional<double> v = ParseNumber(value);
    if (!v) return OpcodeUse::kBadValue;
    control.controllers[static_cast<std::size_t>(*n)] = *v;
    return OpcodeUse::kApplied;
  }
  return IsLabelOrHint(name) ? OpcodeUse::kApplied : OpcodeUse::kUnmapped;
}

}  // namespace brumlet::sfz
