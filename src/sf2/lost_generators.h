// The generators behind a preset's "not in an XI" words, for `--list -v`: a musician reads
// "filter", a bank's author wants to know which of initialFilterFc, initialFilterQ and the
// modulation envelope's eight times that is.
#pragma once

#include <string>

#include "sampler/zone.h"
#include "sf2/zones.h"

namespace brumlet::sf2 {

/// For each kind of `lost`, the generators that some zone of `flat` sounding at velocity 100 on
/// a tracker's keys sets away from its default; in the format's order, each once, separated by
/// blanks. Empty when there are none.
std::string LostGenerators(const FlatPreset& flat, sampler::LostSet lost);

}  // namespace brumlet::sf2
