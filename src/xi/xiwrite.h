// The sample data behind the XI header.
//
// XI stores each sample as deltas between neighbouring values. This program stores the previous
// value minus the current one, starting from -1 (16-bit) or 127 (8-bit), so a reader that sums
// the deltas from 0 gets the bitwise complement of each source sample: the waveform inverted,
// and for 8-bit data the unsigned WAV byte turned into a signed one on the way (u XOR 0x7F).
//
// A reader is read from its start to its end, and each sample's area takes no more than its
// length of what it gives: a WAV is read to the end of its file, and the bytes after its data
// chunk complete the frame the chunk ends in. A stereo source split in two is read once: each
// block yields its left and its right values, which go to their two places in the output. So
// the right sample starts at exactly the start of its area, even where that halves a 16-bit
// value of the left. What an area does not get stays for the writer to fill with zeros.
#pragma once

#include <cstdint>
#include <memory>
#include <new>
#include <span>

#include "bytes.h"
#include "platform/platform.h"
#include "xi/sample_reader.h"

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
/// to be written. Made frames arrive in `frames` before they become a block of the input.
struct EncoderBuffers {
  static constexpr std::size_t kInputSize = 131072;
  static constexpr std::size_t kBlockOutputSize = 131072;
  static constexpr std::size_t kWriteAlignment = 65536;
  static constexpr std::size_t kOutputSize = kBlockOutputSize + kWriteAlignment;
  PageAlignedBuffer input = AllocatePageAligned(kInputSize);
  PageAlignedBuffer left = AllocatePageAligned(kOutputSize);   ///< a mono sample, or the left
  PageAlignedBuffer right = AllocatePageAligned(kOutputSize);  ///< a stereo source's right
  std::unique_ptr<std::int16_t[]> frames = std::make_unique<std::int16_t[]>(kInputSize / 2);
};

/// Where a sample's data goes in the output: `length` bytes from `start`.
struct SampleArea {
  std::int64_t start = 0;
  std::int64_t length = 0;
};

/// Reads `reader` to its end and writes its frames into `area`: a one-channel reader's, or a
/// two-channel reader's mixed into one, (L + R) >> 1.
void EncodeSample(SampleReader& reader, SampleArea area, File& output, EncoderBuffers& buffers);

/// Reads a two-channel `reader` to its end, once: its left channel into `left`, its right one
/// into `right`.
void EncodeStereoPair(SampleReader& reader, SampleArea left, SampleArea right, File& output,
                      EncoderBuffers& buffers);

/// The 16-bit one-channel `readers`, each read to its end and delta-encoded from its own start,
/// one behind the other in `area`, through one writer: many short samples then take few writes.
void EncodeRun(std::span<SampleReader* const> readers, SampleArea area, File& output,
               EncoderBuffers& buffers);

}  // namespace brumlet
