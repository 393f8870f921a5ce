// A planned part as an instrument description, for every sampler format alike. Where a sample's
// data lies (a bank's bytes, a decoded file, a rendered drum key) only the driver knows: each
// sample's source is left empty for it to fill.
#pragma once

#include "sampler/plan.h"
#include "xi/instrument.h"

namespace brumlet::sampler {

/// The description of `part`: name, envelope, vibrato, key map, and a 16-bit sample of each
/// planned sample's frames, tuning, loop, volume and panning.
Instrument DescribePlan(const InstrumentPlan& part);

}  // namespace brumlet::sampler
