// Explorer mode: what a launch from the file manager makes of the files dropped onto the program.
// Such a launch exists on Windows only, so the paths here follow Windows's rules.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace brumlet {

/// One run of the converter: its command line, and the folder it runs in (and so writes to).
struct PlannedRun {
  std::vector<std::string> args;
  std::string folder;          ///< "" for the folder the program started in
  bool create_folder = false;  ///< a bank's folder is made where it is missing
  bool operator==(const PlannedRun&) const = default;
};

/// The runs for `args` (empty ones dropped) when each names an existing file, one per file in
/// the order given: a WAV is converted alone in its own folder, so its output lands beside it;
/// a SoundFont bank (".sf2", in any case) as `--sf2 BANK` in a folder named after the bank
/// beside it. Nothing when there is no argument or one does not name a file: those run as
/// typed.
std::optional<std::vector<PlannedRun>> PlanDroppedFiles(const std::vector<std::string>& args,
                                                        Platform& platform);

}  // namespace brumlet
