// Naming the instrument and its sample slots: from the name file, or with the default caption.
#pragma once

#include "platform/platform.h"
#include "vars.h"

namespace brumlet {

/// Opens the name file `vars.name_file_path` for reading from its first line; `site` names the
/// open in a failure report.
void OpenNameFile(Vars& vars, Platform& platform, Site site);

/// Names the instrument and the slots of `vars.header` from the name file (read from its first
/// line), expanding tokens and prompting at the console where it says so, and sets
/// `vars.SampleCount` from each sample line. Then closes the name file and opens it again by its
/// name, so that the next source reads what the file holds by then (an editor saving it writes a
/// new file in its place). Throws Rejection for a malformed name file, RunFailure when it can no
/// longer be opened.
void ApplyNameFile(Vars& vars, Platform& platform);

/// Names the instrument after the source's title or XI name and writes three label lines (file
/// name, size, loop mode) into slots 0, 1 and 2; `vars.SampleCount` becomes 3.
void ApplyDefaultLabels(Vars& vars);

}  // namespace brumlet
