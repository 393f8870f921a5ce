// The plain conversion: one instrument per matching WAV, named by a name file or by default,
// each stereo source split into a left and a right sample (or mixed, --mono).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mode.h"
#include "naming/name_file.h"
#include "output_file.h"
#include "vars.h"
#include "xi/instrument.h"

namespace brumlet {

class Conversion : public Mode {
 public:
  /// Converts the matches of `pattern`, named from `name_file` when one is given. `written`
  /// holds the outputs of the run (or of the runs that count as one): a source whose output would
  /// replace one of them is refused (247) before its output is created.
  Conversion(std::string pattern, std::optional<std::string> name_file, StereoHandling stereo,
             RunOutputs& written);

  int Run(Platform& platform) override;
  /// Closes the name file (when given), the source and the output, then deletes the output.
  void AbortCurrentFile(Platform& platform) override;

 private:
  std::string pattern_;
  std::optional<std::string> name_file_;
  RunOutputs& written_;
  Vars vars_;
};

/// The instrument of one source: its samples with sound (one, or a left and a right one, which
/// plays on the top 24 keys), the plucked envelope, and `sample_count` sample headers, never
/// fewer than the samples with sound, the rest empty; all named by `names`.
Instrument DescribeConversion(std::vector<InstrumentSample> sounding, const Names& names,
                              int sample_count);

/// The source's name up to and including its first ".", followed by "xi": drum.wav gives
/// drum.xi, a.b.wav gives a.xi, a name without a dot gives xi.
std::string DeriveOutputName(std::string_view source_name);

/// The line printed for each accepted source, line end included.
std::string ReportLine(const std::string& source_name, const WavInfo& info);

}  // namespace brumlet
