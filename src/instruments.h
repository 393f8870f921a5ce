// The driver of the modes that make one instrument of many WAVs: a drum kit (--kit) and a
// multisampled instrument (--multi).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "mode.h"
#include "output_file.h"
#include "wav/wav_data.h"
#include "xi/xi_header.h"
#include "xi/xiwrite.h"

namespace brumlet {

enum class InstrumentKind {
  kKit,    ///< sample i on key 60 + i, the keys below on the first, those above on the last
  kMulti,  ///< each sample on the keys nearest its root key, which its name or smpl chunk gives
};

/// Makes one instrument at `output_path` (a name ending in .xi, which the command line checks) of
/// the matches of `pattern`, in the search's order (at most 16, each a sample, stereo ones
/// mixed), after printing the processing line and one report line per sample. Every source is
/// scanned before anything is written. Rejections: 247 for an instrument it cannot make or an
/// output it must not replace, and each source's own.
class InstrumentBuild : public Mode {
 public:
  InstrumentBuild(InstrumentKind kind, std::string output_path, std::string pattern);

  int Run(Platform& platform) override;
  /// Closes the source being scanned, or abandons the output being written.
  void AbortCurrentFile(Platform& platform) override;

 private:
  InstrumentKind kind_;
  std::string output_path_;
  std::string pattern_;
  std::unique_ptr<File> scanning_;              ///< the source being scanned
  std::vector<std::unique_ptr<File>> sources_;  ///< scanned, open until their data is written
  ScopedOutput output_;
  XiHeaderBlock image_;
  EncoderBuffers buffers_;
  AdpcmBuffers adpcm_;
};

}  // namespace brumlet
