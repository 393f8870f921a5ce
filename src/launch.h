// How one start of the program becomes runs of the converter: from a console, the command line
// as typed; from Explorer, one run per dropped file, and a window that waits before it closes.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace brumlet {

/// Runs the program for `args` (the command-line arguments without the program's own path) and
/// returns the exit code; `module` is the program's file name, shown in failure reports.
///  - Any exception a run does not expect ends that run with a failure report and exit code 1.
///  - An Explorer launch (Platform::IsExplorerLaunch) whose every argument names a file runs the
///    plan of PlanDroppedFiles, each run from the folder the program started in, and returns the
///    first non-zero exit code of the runs (0 when all succeed); a run whose folder cannot be
///    entered or made fails with exit code 1 and the others go on. Any other Explorer launch runs
///    the command line as typed. Either way the window then waits for Enter.
int Launch(const std::vector<std::string>& args, std::string_view module, Platform& platform);

}  // namespace brumlet
