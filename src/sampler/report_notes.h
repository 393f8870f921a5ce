// What a report line says of a planned instrument: what was left out, mixed, merged or moved, and
// what of its zones an XI cannot hold, each in a few words, once.
#pragma once

#include <string>
#include <string_view>

#include "sampler/plan.h"

namespace brumlet::sampler {

/// The notes of `part` of `plan`, joined with ", "; empty for none. What the whole list left out
/// is told on its first part only; a split kit's part names its drums' keys first.
/// `scaled_down`: the part's rendered keys that were scaled down to fit full scale; `more_lost`:
/// what else of the source an XI cannot hold, in the reader's own words, told after the rest.
std::string ReportNotes(const Plan& plan, const InstrumentPlan& part, int scaled_down,
                        std::string_view more_lost = {});

}  // namespace brumlet::sampler
