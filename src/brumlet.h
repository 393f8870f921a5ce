// The command line: which mode the arguments call for, and how a run ends. The modes stand
// below it side by side (the plain conversion in convert.h, the instruments of many WAVs in
// instruments.h) and never include each other.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace brumlet {

class RunOutputs;

/// Runs the program over `args` (the command-line arguments, without the program's own path) and
/// returns the exit code. `module` is the program's file name, shown in failure reports.
int RunBrumlet(const std::vector<std::string>& args, std::string_view module, Platform& platform);

/// RunBrumlet as one of several runs that count as one: no run replaces an output that one of
/// them wrote, all of which `written` holds.
int RunBrumlet(const std::vector<std::string>& args, std::string_view module, Platform& platform,
               RunOutputs& written);

/// Prints the two-line report of `failure` ("Exception <class> in module <module> at <site>." and
/// its text); a console that fails meanwhile is let go, since the exit code still tells.
void PrintFailureReport(const RunFailure& failure, std::string_view module, Console& console);

}  // namespace brumlet
