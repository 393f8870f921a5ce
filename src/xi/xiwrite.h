// The sample data behind the XI header.
//
// XI stores each sample as deltas between neighbouring values. This program stores the previous
// value minus the current one, starting from -1 (16-bit) or 127 (8-bit), so a reader that sums
// the deltas from 0 gets the bitwise complement of each source sample: the waveform inverted,
// and for 8-bit data the unsigned WAV byte turned into a signed one on the way (u XOR 0x7F).
//
// A stereo source becomes two samples, the left channel first, each written by a pass of its
// own over the whole data. A pass reads from the data chunk to the end of the file, whatever
// follows the data, and then cuts (or extends with zeros) the output to the length the header
// declares, so whatever it encoded past the data chunk is removed again.
#pragma once

#include <cstdint>
#include <memory>

#include "bytes.h"
#include "platform/platform.h"
#include "wav/wav_info.h"

namespace brumlet {

/// Which channel of a stereo frame a pass takes.
enum class ChannelPick { Left = 1, Right = 2 };

/// The encoders' buffers, allocated once per run. A full input block encodes to at most 64 KiB;
/// the output buffer has room for that behind up to 64 KiB still waiting to be written.
struct EncoderBuffers {
  static constexpr std::size_t kInputSize = 131072;
  static constexpr std::size_t kBlockOutputSize = 65536;
  static constexpr std::size_t kWriteAlignment = 65536;
  static constexpr std::size_t kOutputSize = kBlockOutputSize + kWriteAlignment;
  EncoderBuffers() : input(new Byte[kInputSize]), output(new Byte[kOutputSize]) {}
  std::unique_ptr<Byte[]> input;
  std::unique_ptr<Byte[]> output;
};

/// What every pass works on.
struct EncodeJob {
  File& source;
  File& output;  ///< positioned behind the header, or behind the left channel
  std::int32_t data_offset;
  std::int32_t data_length;  ///< bytes of XI sample data: the output ends at header_length + this
  std::int64_t header_length;
  EncoderBuffers& buffers;
};

void EncodeStereo16(EncodeJob& job, ChannelPick channel);
void EncodeMono16(EncodeJob& job);
void EncodeStereo8(EncodeJob& job, ChannelPick channel);
void EncodeMono8(EncodeJob& job);

/// A pass that converts each sample of a wide format to 16 bits before encoding it as the 16-bit
/// encoders do. Reads whole frames only; an incomplete frame at the end is dropped.
void EncodeWide(EncodeJob& job, WideFormat format, bool stereo, ChannelPick channel);

/// Runs the passes a source needs: one for mono, a left and a right one for stereo; 16-bit
/// sources through the 16-bit encoders, the wide formats through EncodeWide and every other
/// width through the 8-bit encoders.
void EncodeSampleData(EncodeJob& job, const WavInfo& info);

}  // namespace brumlet
