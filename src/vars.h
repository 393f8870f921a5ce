// The state of one run: the run flags, the current names and files, what the scan found, the
// header image, the naming's working values and the encoders' buffers. One object, created by
// the driver and handed by reference to every step.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "naming/text_line_reader.h"
#include "output_file.h"
#include "platform/platform.h"
#include "wav/wav_info.h"
#include "xi/xi_header.h"
#include "xi/xiwrite.h"

namespace brumlet {

struct Vars {
  // For the whole run.
  /// Whether a stereo source becomes a left and a right sample or one mixed sample (--mono).
  StereoHandling stereo = StereoHandling::kSplit;
  bool NameFileGiven = false;
  std::string name_file_path;
  std::unique_ptr<File> name_file;

  // The current source and its output.
  std::string SourceName;  ///< the bare file name, as shown to the user
  std::string OutputName;  ///< created in the current directory
  std::unique_ptr<File> SourceFile;
  ScopedOutput OutputFile;

  WavInfo wav_info;
  SmplImage smpl_image;  ///< survives from file to file, as the scan expects

  XiHeaderBlock header;
  /// The number of sample headers asked for; set only by the naming, kept from file to file.
  std::uint8_t SampleCount = 0;
  std::int64_t header_length = 0;  ///< bytes of header written; the sample data starts there

  // The naming's working values and its two line readers.
  std::string InstrumentName;
  std::string SampleName;
  std::int32_t SampleNumber = 0;
  FileByteSource name_file_bytes;
  TextLineReader name_lines{name_file_bytes};
  ConsoleByteSource console_bytes;
  TextLineReader console_lines{console_bytes};

  EncoderBuffers buffers;
};

}  // namespace brumlet
