// A SoundFont preset planned: flattened, described as the sampler's zones and planned by the
// sampler's planner (sampler/planner.h says the rules), or skipped with the reason why.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "sampler/plan.h"
#include "sampler/work_budget.h"
#include "sf2/bank.h"
#include "sf2/zones.h"

namespace brumlet::sf2 {

struct PresetPlan {
  std::optional<PresetSkip> skip;  ///< why it is not converted; `plan` then holds no instrument
  sampler::Plan plan;
  std::string
      lost_generators;  ///< the generators behind what its files cannot hold (LostGenerators)
};

/// The plan of preset `preset`, an index below Bank::PresetCount(), flattened by `flattener` (over
/// the same bank). Its work counts against `budget` (a preset of its own: StartPreset first): the
/// zone pairs of flattening and, for each key, the zones looked at. A preset is skipped when its
/// records or samples are at fault, when it passes the budget, and when it plays nothing on a
/// tracker's keys at velocity 100.
PresetPlan PlanPreset(const Bank& bank, Flattener& flattener, std::size_t preset,
                      sampler::WorkBudget& budget);

/// The plan of one preset alone, within the default budgets.
PresetPlan PlanPreset(const Bank& bank, std::size_t preset);

}  // namespace brumlet::sf2
