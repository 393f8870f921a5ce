// Plans the XI instrument a zone list becomes. The rules, in the order they are applied:
//  - Only zones that sound at velocity 100 are used; the tracker's note volume does the rest.
//  - Key k of the XI map is MIDI note k; notes 96..127 cannot be played in a tracker.
//  - Each key plays the loudest zone sounding on it (least attenuation; the first in the list's
//    order among equals). A left or right sample is mixed with its other side: the zone of its
//    link when that sounds on the same key with the other side, else the loudest zone of the
//    other side sounding there (banks whose links are all wrong exist); panned at the mean of
//    both.
//  - A key no zone sounds on plays the nearest covered key's sample, the lower on a tie.
//  - One XI sample per distinct (sample, frames, pitch, loop, volume, panning, partner), numbered
//    in the order of the first key each plays; the pitch is what root key and tuning give
//    together, so two ways of tuning a sample to the same pitch are one sample.
//  - More than 16: a melodic list drops, one at a time, the sample playing fewest keys (the first
//    among equals) and gives its keys to the kept sample whose root key is nearest its own (the
//    lower among equals); a drum kit is split into runs of consecutive keys of at most 16
//    samples each, keys outside a part's run playing its nearest key's sample.
//  - The envelope and vibrato come from the zone of the sample key 60 plays (a drum kit's part:
//    the key of its run nearest 60), as that zone plays that key.
#pragma once

#include "sampler/plan.h"
#include "sampler/work_budget.h"
#include "sampler/zone.h"

namespace brumlet::sampler {

/// The plan of `list`. Its work counts against `budget`: every zone for every key; a list that
/// passes the budget is not planned (Plan::too_much_work).
Plan PlanInstrument(const ZoneList& list, WorkBudget& budget);

}  // namespace brumlet::sampler
