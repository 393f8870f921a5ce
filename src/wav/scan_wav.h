// The WAV header check and chunk walk.
#pragma once

#include <string>

#include "display_text.h"
#include "platform/platform.h"
#include "wav/wav_info.h"

namespace brumlet {

/// Checks the RIFF/WAVE/fmt head of `source` (open at position 0), walks its chunks and fills
/// `info`; `smpl` is the run-wide smpl image. On return `source` is positioned at DataOffset.
/// Throws Rejection (253 not a WAV, 248 no data chunk; `source_name` names the file in the
/// message) or RunFailure for a failed or short read.
void ScanWav(File& source, const DisplayText& source_name, WavInfo& info, SmplImage& smpl);

/// The format part of the source's report line: "(24 bit, stereo, 48000 Hz, no loop)"; for a
/// compressed source the codec its 16-bit samples are decoded from, "(16 bit from mu-law, ...".
std::string ReportFormat(const WavInfo& info);

}  // namespace brumlet
