// A flattened preset in the sampler's terms: each zone's generators clamped to the ranges the
// format gives them and put into the fields the planner reads, and the bank samples the zones
// play. What no XI can hold is noted per zone in a musician's words.
#pragma once

#include <string>

#include "sampler/zone.h"
#include "sf2/bank.h"
#include "sf2/zones.h"

namespace brumlet::sf2 {

/// The bank number of percussion presets, whose keys are different instruments.
inline constexpr int kPercussionBank = 128;

/// The zone list of `flat` (a preset of `bank` that was not skipped). Its samples are those the
/// zones play, in the order they first appear; frames keep the bank's addresses (frame indices
/// into the smpl chunk).
sampler::ZoneList ZoneListOf(const Bank& bank, const FlatPreset& flat, const PresetHeader& preset);

}  // namespace brumlet::sf2
