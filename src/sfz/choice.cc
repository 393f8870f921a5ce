#include "sfz/choice.h"

#include <algorithm>
#include <optional>

namespace brumlet::sfz {
namespace {

// The key switch in force before any switch key is pressed.
std::optional<int> StartingSwitch(const std::vector<Region>& regions) {
  std::optional<int> lowest;
  for (const Region& r : regions) {
    if (r.sw_default) return r.sw_default;
    if (r.sw_last) lowest = std::min(lowest.value_or(*r.sw_last), *r.sw_last);
  }
  return lowest;
}

LeftOut Reason(const Region& r, std::optional<int> starting_switch,
               const std::array<double, kControllers>& controllers) {
  if (r.sample_kind == SampleKind::kNone) return LeftOut::kNoSample;
  if (r.end && *r.end < 0) return LeftOut::kSilenced;
  if (r.sample_kind == SampleKind::kOtherWaveform) return LeftOut::kOtherWaveform;
  if (r.lokey > r.hikey || r.hikey < 0 || r.lokey > 127) return LeftOut::kNoKeys;
  if (r.trigger == Trigger::kRelease || r.trigger == Trigger::kReleaseKey) {
    return LeftOut::kReleaseTrigger;
  }
  if (r.trigger == Trigger::kLegato) return LeftOut::kLegatoTrigger;
  if (r.controller_trigger) return LeftOut::kControllerTrigger;
  if (r.seq_position != 1) return LeftOut::kRoundRobin;
  if (!(r.lorand <= 0 && r.hirand > 0)) return LeftOut::kRandomLayer;
  if (r.sw_down || r.sw_previous || (r.sw_last && r.sw_last != starting_switch)) {
    return LeftOut::kKeySwitch;
  }
  for (const ControllerRange& range : r.controller_ranges) {
    const double value = controllers[static_cast<std::size_t>(range.controller)];
    if (value < range.low || value > range.high) return LeftOut::kControllerCondition;
  }
  return LeftOut::kNone;
}

}  // namespace

void ChooseForLoneNote(std::vector<Region>& regions,
                       const std::array<double, kControllers>& controllers) {
  const std::optional<int> starting_switch = StartingSwitch(regions);
  for (Region& r : regions) r.left_out = Reason(r, starting_switch, controllers);
}

}  // namespace brumlet::sfz
