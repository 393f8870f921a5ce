// The driver of the modes that make one instrument of many sources: a drum kit (--kit) and a
// multisampled instrument (--multi).
#pragma once

#include <string>

#include "platform/platform.h"
#include "vars.h"

namespace brumlet {

enum class InstrumentKind {
  kKit,    ///< sample i on key 60 + i, the keys below on the first, those above on the last
  kMulti,  ///< each sample on the keys nearest its root key, which its name or smpl chunk gives
};

/// Makes one instrument at `output_path` of the matches of `pattern`, in the search's order
/// (at most 16, each a sample, stereo ones mixed), after printing the processing line and one
/// report line per sample. Every source is scanned before anything is written. Returns the exit
/// code; throws Rejection (247 for an instrument it cannot make, and a source's own rejections)
/// or RunFailure.
int BuildInstrument(InstrumentKind kind, const std::string& output_path, const std::string& pattern,
                    Platform& platform, Vars& vars);

}  // namespace brumlet
