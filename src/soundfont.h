// The driver of --sf2: every chosen preset of a SoundFont bank becomes an XI instrument in the
// current folder, "BBB-PPP NAME.xi", or with --list one line per preset and nothing written.
#pragma once

#include <optional>
#include <string>

#include "mode.h"
#include "output_file.h"
#include "sampler/key_render_source.h"
#include "xi/xi_header.h"
#include "xi/xiwrite.h"

namespace brumlet {

class BankConversion : public Mode {
 public:
  /// `choice`: which presets (`B:P`, `B:*`, a name pattern), "--list", or every preset.
  /// `verbose` (`--list -v`): each list line names the generators behind its "not in an XI".
  BankConversion(std::string bank_path, std::optional<std::string> choice, bool verbose = false);

  /// Exit 0 when every chosen preset was written; 245 when a preset had to be skipped (a line
  /// says why) or the file is not a readable bank; 247 when an output must not be replaced.
  int Run(Platform& platform) override;
  /// Abandons the output being written, if any.
  void AbortCurrentFile(Platform& platform) override;

 private:
  std::string bank_path_;
  std::optional<std::string> choice_;
  bool verbose_ = false;
  ScopedOutput output_;
  sampler::RenderBuffers renders_;
  XiHeaderBlock image_;
  EncoderBuffers buffers_;
};

/// The file a preset (or one part of a split drum kit) is written to: "000-025 Acoustic
/// Guitar.xi", "128-000 Standard (1 of 3).xi". Characters that Windows does not allow in a file
/// name, and control characters, become "_"; trailing dots and blanks are dropped.
std::string PresetFileName(int bank, int program, std::string_view name, int part, int parts);

}  // namespace brumlet
