#include "sf2/preset_plan.h"

#include "messages.h"
#include "sampler/planner.h"
#include "sf2/lost_generators.h"
#include "sf2/zone_list.h"

namespace brumlet::sf2 {

PresetPlan PlanPreset(const Bank& bank, std::size_t preset) {
  Flattener flattener(bank);
  sampler::WorkBudget budget;
  return PlanPreset(bank, flattener, preset, budget);
}

PresetPlan PlanPreset(const Bank& bank, Flattener& flattener, std::size_t preset,
                      sampler::WorkBudget& budget) {
  PresetPlan result;
  const FlatPreset& flat = flattener.Flatten(preset, budget);
  if (flat.skip) {
    result.skip = flat.skip;
    return result;
  }
  result.plan = sampler::PlanInstrument(ZoneListOf(bank, flat, bank.presets[preset]), budget);
  if (result.plan.too_much_work) {
    result.skip = PresetSkip{PresetTooMuchWork()};
  } else if (result.plan.instruments.empty()) {
    // No zone at velocity 100 on a tracker's keys: no XI can hold that.
    result.skip = PresetSkip{DisplayText(kPresetPlaysNothing)};
  } else {
    sampler::LostSet lost;
    for (const sampler::InstrumentPlan& part : result.plan.instruments) lost |= part.lost;
    result.lost_generators = LostGenerators(flat, lost);
  }
  return result;
}

}  // namespace brumlet::sf2
