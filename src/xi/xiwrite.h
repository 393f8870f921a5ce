// The sample data behind the XI header.
//
// XI stores each sample as deltas between neighbouring values. This program stores the previous
// value minus the current one, starting from -1 (16-bit) or 127 (8-bit), so a reader that sums
// the deltas from 0 gets the bitwise complement of each source sample: the waveform inverted,
// and for 8-bit data the unsigned WAV byte turned into a signed one on the way (u XOR 0x7F).
//
// A stereo source becomes two samples, the left channel first and the right one behind it, from
// one read of the source: each block yields its left and its right values, which go to their two
// places in the output. The source is read from the data chunk to the end of the file, whatever
// follows the data; each sample's area takes no more than its declared length, and the output
// is then cut or extended with zeros to the length the header declares. So the right sample
// starts at exactly half the data length, even where that halves a 16-bit value of the left.
#pragma once

#include <cstdint>
#include <memory>
#include <new>
#include <span>

#include "bytes.h"
#include "platform/platform.h"
#include "wav/wav_info.h"
#include "xi/frame_source.h"
#include "xi/sample_layout.h"

namespace brumlet {

/// A buffer that starts on a page boundary, as the kernel copies to and from fastest.
struct PageAlignedDelete {
  static constexpr std::align_val_t kAlignment{4096};
  void operator()(Byte* p) const { ::operator delete[](p, kAlignment); }
};
using PageAlignedBuffer = std::unique_ptr<Byte[], PageAlignedDelete>;
inline PageAlignedBuffer AllocatePageAligned(std::size_t size) {
  return PageAlignedBuffer(new (PageAlignedDelete::kAlignment) Byte[size]);
}

/// The encoders' buffers, allocated once per run. A full input block encodes to at most 128 KiB
/// a channel; each channel's output buffer has room for that behind up to 64 KiB still waiting
/// to be written. An ADPCM block is decoded whole into `decoded` before it is encoded.
struct EncoderBuffers {
  static constexpr std::size_t kInputSize = 131072;
  static constexpr std::size_t kBlockOutputSize = 131072;
  static constexpr std::size_t kWriteAlignment = 65536;
  static constexpr std::size_t kOutputSize = kBlockOutputSize + kWriteAlignment;
  PageAlignedBuffer input = AllocatePageAligned(kInputSize);
  PageAlignedBuffer left = AllocatePageAligned(kOutputSize);   ///< a mono sample, or the left
  PageAlignedBuffer right = AllocatePageAligned(kOutputSize);  ///< a stereo source's right
  std::unique_ptr<std::int16_t[]> decoded = std::make_unique<std::int16_t[]>(kMaxBlockSamples);
};

/// What an encoder works on.
struct EncodeJob {
  File& source;
  File& output;
  std::int32_t data_offset;
  std::int32_t data_length;    ///< bytes of XI sample data: the output ends at header_length + this
  std::int64_t header_length;  ///< where the sample data starts in the output
  EncoderBuffers& buffers;
};

void EncodeStereo16(EncodeJob& job);
void EncodeMono16(EncodeJob& job);
void EncodeStereo8(EncodeJob& job);
void EncodeMono8(EncodeJob& job);

/// A stereo source as one sample, each frame mixed into (L + R) >> 1: signed for 16-bit data,
/// on the unsigned bytes for 8-bit data.
void EncodeMixed16(EncodeJob& job);
void EncodeMixed8(EncodeJob& job);

/// Converts each sample of a wide format to 16 bits before encoding it as the 16-bit encoders
/// do (and, for a mixed stereo source, before mixing). Reads whole frames only; an incomplete
/// frame at the end is dropped.
void EncodeWide(EncodeJob& job, WideFormat format, bool stereo, StereoHandling handling);

/// Decodes an ADPCM source block by block and encodes the decoded samples as EncodeWide does.
/// The bytes behind the data chunk are decoded too, but each sample's area takes only the
/// frames the data chunk decodes to.
void EncodeAdpcm(EncodeJob& job, const AdpcmBlocks& adpcm, bool stereo, StereoHandling handling);

/// A run of 16-bit little-endian mono frames in a file.
struct Pcm16Range {
  std::int64_t offset = -1;  ///< of the first frame; -1 for none
  std::uint32_t frames = 0;
};

/// One 16-bit sample of a run: the frames of `range`, mixed with those of `mixed` where it is
/// given, (L + R) >> 1, its missing frames silent; `range.frames` frames long.
struct Pcm16Sample {
  Pcm16Range range;
  Pcm16Range mixed;
};

/// Samples from `source` (a SoundFont's sample data) written one behind the other from `start`
/// in `output`, each delta-encoded from its own start, through one writer: many short samples
/// then take few writes. Reads only their ranges, however large the file.
void EncodePcm16(File& source, File& output, std::span<const Pcm16Sample> samples,
                 std::int64_t start, EncoderBuffers& buffers);

/// `frames` 16-bit frames from `source`, delta-encoded into `output` from `start` on.
void EncodeFrames(FrameSource& source, std::uint32_t frames, File& output, std::int64_t start,
                  EncoderBuffers& buffers);

/// Runs the encoder a source needs: 16-bit sources through the 16-bit encoders, the wide formats
/// through EncodeWide, ADPCM through EncodeAdpcm and every other width through the 8-bit
/// encoders; a stereo source split into its left and right samples, or mixed into one.
void EncodeSampleData(EncodeJob& job, const WavInfo& info,
                      StereoHandling stereo = StereoHandling::kSplit);

}  // namespace brumlet
