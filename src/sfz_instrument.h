// An SFZ file planned: read, its regions chosen as a player chooses them for one note at
// velocity 100, their samples' heads read, described as the sampler's zones and planned by the
// sampler's planner (sampler/planner.h says the rules), or skipped with the reason why.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "display_text.h"
#include "platform/platform.h"
#include "sample_files.h"
#include "sampler/plan.h"

namespace brumlet {

struct SfzPlan {
  std::optional<DisplayText> skip;  ///< why the file is not converted
  sampler::Plan plan;
  /// The opcodes the file uses that an XI cannot hold, each once, from the file.
  std::vector<std::string> unmapped;
  /// Bytes of its text and of the samples it opened: what its outputs are measured against.
  std::uint64_t source_bytes = 0;
};

/// The plan of the SFZ file at `path`, its instrument named `name`. Its samples are numbered in
/// `samples` (cleared first), which later reads their frames. Only the samples of regions that
/// sound at velocity 100 on a tracker's keys are opened, and only those the plan keeps decoded
/// (and so checked) before it is written.
SfzPlan PlanSfz(Platform& platform, const std::string& path, const std::string& name,
                SampleFiles& samples);

}  // namespace brumlet
