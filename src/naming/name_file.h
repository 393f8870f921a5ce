// Naming the instrument and its sample slots: from the name file, or with the default caption.
#pragma once

#include "platform/platform.h"
#include "vars.h"

namespace brumlet {

/// Names the instrument and the slots of `vars.header` from the name file (read from its first
/// line, rewound afterwards), expanding tokens and prompting at the console where it says so, and
/// sets `vars.SampleCount` from each sample line. Throws Rejection for a malformed name file.
void ApplyNameFile(Vars& vars, Platform& platform);

/// Names the instrument after the source's title or XI name and writes three label lines (file
/// name, size, loop mode) into slots 0, 1 and 2; `vars.SampleCount` becomes 3.
void ApplyDefaultLabels(Vars& vars);

}  // namespace brumlet
