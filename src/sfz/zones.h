// SFZ regions as the sampler's zones (sampler/zone.h), in the SoundFont units the planner takes:
// SFZ's decibels, percentages, seconds and hertz each converted as a SoundFont player would have
// to be given them to play the region alike.
#pragma once

#include <cstdint>
#include <optional>

#include "sampler/zone.h"
#include "sfz/region.h"

namespace brumlet::sfz {

/// What a region's sample file holds, as far as the zone needs it.
struct SampleFacts {
  std::uint32_t rate = 44100;
  std::int64_t frames = 0;
  /// The file's own loop (a WAV's smpl chunk), frames [start, end); used where the region gives
  /// no loop points of its own.
  std::optional<std::int64_t> loop_start, loop_end;
  /// The key on which the file plays at its own rate (a WAV's smpl chunk), for
  /// pitch_keycenter=sample.
  std::optional<int> unity_note;
};

/// Whether the region sounds at velocity 100 on a key a tracker plays (0..95): only such regions'
/// samples are opened.
bool SoundsOnTrackerKeys(const Region& region);

/// The zone `region` becomes, playing sample `sample` (an index the caller keeps) of `facts`;
/// nothing where the region's frames lie wholly outside the file (an offset past its end).
std::optional<sampler::Zone> RegionZone(const Region& region, const SampleFacts& facts,
                                        std::uint32_t sample);

}  // namespace brumlet::sfz
