// The driver of --sfz: every SFZ file a pattern matches becomes an XI instrument in the current
// folder, named after the file ("Grand Piano.sfz" gives "Grand Piano.xi", a split drum kit
// "Drums (1 of 3).xi" and on), with one report line per file as --sf2 prints one per preset.
#pragma once

#include <string>

#include "mode.h"
#include "output_file.h"
#include "sample_files.h"
#include "sampler/key_render_source.h"
#include "xi/xi_header.h"
#include "xi/xiwrite.h"

namespace brumlet {

class SfzConversion : public Mode {
 public:
  /// `pattern`: a file name or a wildcard pattern; outputs already written by this run (`written`)
  /// are never replaced.
  SfzConversion(std::string pattern, RunOutputs& written)
      : pattern_(std::move(pattern)), written_(written) {}
  /// Exit 0 when every file was written; 245 when one was skipped (a line says why); 247 when an
  /// output must not be replaced; 254 when nothing matches.
  int Run(Platform& platform) override;
  /// Abandons the output being written, if any.
  void AbortCurrentFile(Platform& platform) override;

 private:
  std::string pattern_;
  RunOutputs& written_;
  ScopedOutput output_;
  sampler::RenderBuffers renders_;
  XiHeaderBlock image_;
  EncoderBuffers buffers_;
};

/// The file a converted SFZ (or one part of a split drum kit) is written to: its name up to the
/// last dot, then " (part of parts)" for a part, then ".xi".
std::string SfzOutputName(std::string_view sfz_name, int part, int parts);

}  // namespace brumlet
