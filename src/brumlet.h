// The conversion driver: the command line, the batch run over the matching files and how a run
// ends.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "vars.h"

namespace brumlet {

/// Runs the program over `args` (the command-line arguments, without the program's own path) and
/// returns the exit code. `module` is the program's file name, shown in failure reports.
int RunBrumlet(const std::vector<std::string>& args, std::string_view module, Platform& platform);

/// Refuses, as "File access denied" at the output's creation, an output that is one of the run's
/// `inputs` (the same file under another name): replacing it would destroy that input.
void RefuseToReplaceAnInput(const std::string& output_path, std::span<const File* const> inputs,
                            Platform& platform);

/// The source's name up to and including its first ".", followed by "xi": drum.wav gives
/// drum.xi, a.b.wav gives a.xi, a name without a dot gives xi.
std::string DeriveOutputName(std::string_view source_name);

/// The format part of a report line: "(16 bit, mono, 44100 Hz, --> loop)". A loop type without a
/// word of its own ends it right after "Hz, ", with no closing parenthesis.
std::string ReportFormat(const WavInfo& info);

/// The line printed for each accepted source, line end included.
std::string ReportLine(const std::string& source_name, const WavInfo& info);

/// Closes the name file (when given), the source and the output, then deletes the output. Only
/// valid while a source is being converted; a failing close throws RunFailure.
void AbortCurrentFile(Vars& vars, Platform& platform);

}  // namespace brumlet
