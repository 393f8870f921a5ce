// The state of one run of the plain conversion: the run's flags, the current names and files,
// what the scan found, the sample count the naming left, and the buffers the writer and the
// readers reuse. One object, created by the driver and handed by reference to every step.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "naming/name_file.h"
#include "output_file.h"
#include "platform/platform.h"
#include "wav/wav_data.h"
#include "wav/wav_info.h"
#include "xi/xi_header.h"
#include "xi/xiwrite.h"

namespace brumlet {

struct Vars {
  // For the whole run.
  /// Whether a stereo source becomes a left and a right sample or one mixed sample (--mono).
  StereoHandling stereo = StereoHandling::kSplit;
  std::optional<NameFile> name_file;  ///< when one is given

  // The current source and its output.
  std::string SourceName;  ///< the bare file name, as shown to the user
  std::string OutputName;  ///< created in the current directory
  std::unique_ptr<File> SourceFile;
  ScopedOutput OutputFile;

  WavInfo wav_info;
  SmplImage smpl_image;  ///< survives from file to file, as the scan expects

  /// The number of sample headers the naming asked for; kept from file to file, so that a name
  /// file without sample lines keeps the count an earlier version of it set.
  std::uint8_t SampleCount = 0;

  XiHeaderBlock header;
  EncoderBuffers buffers;
  AdpcmBuffers adpcm;
};

}  // namespace brumlet
