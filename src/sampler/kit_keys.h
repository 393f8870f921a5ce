// Drum kits. A tracker plays a drum as a one-shot (note on, and it rings out), so each key of a
// kit can be rendered into a sample of its own: all its layers, each with its own envelopes,
// pitch sweep and filter, as a SoundFont player plays it at velocity 100. The part's XI envelope
// is then flat at full volume, with the fade-out of its key nearest 60.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "sampler/plan.h"
#include "sampler/work_budget.h"
#include "sampler/zone.h"

namespace brumlet::sampler {

/// Whether the zones are a drum kit: the reader says so (a SoundFont's bank 128), or at least 8 of
/// the zones sounding at velocity 100 (`sounding`; a stereo pair counted once, by its left side)
/// are there and three quarters of them each sit on a single key: drums, not a multisample nor a
/// sound effect on one key.
bool IsKit(const ZoneList& list, const std::vector<std::size_t>& sounding);

/// The sample of kit key `key`: every zone of `candidates` (those sounding there at velocity 100)
/// rendered together at a rate the key plays at its own; named after the sample of `loudest`.
/// Its work, voices times frames, counts against `budget`.
PlannedSample RenderedKey(const ZoneList& list, const std::vector<std::size_t>& candidates, int key,
                          std::size_t loudest, WorkBudget& budget);

/// A rendered kit's part: a flat envelope at full volume, sustained at its one point, with the
/// fade-out of the part's key nearest 60 as that key's loudest zone releases; no vibrato.
void KitEnvelope(const std::vector<Zone>& zones, InstrumentPlan& plan);

/// A split kit's part is named for its drums' keys, "Standard 35-50": `name` cut (never inside a
/// character) so that the keys fit the XI's 22 bytes; the keys are kept for the report.
void NameKitPart(const std::string& name, InstrumentPlan& plan);

}  // namespace brumlet::sampler
