#include "xi/xiwrite.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace brumlet {
namespace {

// One encoder: `Word` is the stored sample (std::uint16_t or std::uint8_t), `kStride` the bytes
// of one unit of the source (a sample or a frame). Blocks are whole units, so a unit is never
// split between two reads.
template <typename Word, std::size_t kStride, std::size_t kBlock>
struct Format {
  using Stored = Word;
  static constexpr std::size_t kUnit = kStride;
  static constexpr std::size_t kBlockSize = kBlock;
  static_assert(kBlock % kStride == 0);
  static_assert(kBlock <= EncoderBuffers::kInputSize);
  static_assert(kBlock / kStride * sizeof(Word) <= EncoderBuffers::kBlockOutputSize);
};

using Stereo16 = Format<std::uint16_t, 4, 131072>;
using Mono16 = Format<std::uint16_t, 2, 65536>;
using Stereo8 = Format<std::uint8_t, 2, 65536>;
using Mono8 = Format<std::uint8_t, 1, 32768>;

constexpr std::uint16_t kStart16 = 0xFFFF;  // -1
constexpr std::uint8_t kStart8 = 127;

template <typename Word>
Word Load(const Byte* p) {
  if constexpr (sizeof(Word) == 2) {
    return LoadU16(p);
  } else {
    return *p;
  }
}

template <typename Word>
void Store(Byte* p, Word v) {
  if constexpr (sizeof(Word) == 2) {
    StoreU16(p, v);
  } else {
    *p = v;
  }
}

// Stores previous minus current for `units` values taken every `kStride` bytes from `in`, and
// returns the last value. Written without a loop-carried variable so that it vectorises: each
// delta is computed from two loads.
template <typename Word, std::size_t kStride>
Word EncodeBlock(const Byte* __restrict in, std::size_t units, Byte* __restrict out,
                 Word previous) {
  Store<Word>(out, static_cast<Word>(previous - Load<Word>(in)));
  for (std::size_t i = 1; i < units; ++i) {
    const Word before = Load<Word>(in + (i - 1) * kStride);
    const Word current = Load<Word>(in + i * kStride);
    Store<Word>(out + i * sizeof(Word), static_cast<Word>(before - current));
  }
  return Load<Word>(in + (units - 1) * kStride);
}

// Writes encoded bytes so that every write but the first and the last ends on a 64 KiB boundary
// of the output file. The header puts the sample data at an odd offset, and writes that straddle
// the page cache's large folios cost a third more than aligned ones. A block takes at most one
// write; the bytes past the last boundary wait for the next block.
class AlignedWriter {
 public:
  AlignedWriter(File& output, Byte* buffer, std::int64_t position)
      : output_(output), buffer_(buffer), position_(position) {}

  /// Where the next block's bytes go.
  Byte* Tail() { return buffer_ + pending_; }

  /// Writes what lies before the last boundary among the pending bytes and `count` new ones.
  void Commit(std::size_t count) {
    const std::size_t total = pending_ + count;
    const auto past_boundary = static_cast<std::size_t>(
        (position_ + static_cast<std::int64_t>(total)) % EncoderBuffers::kWriteAlignment);
    const std::size_t keep = std::min(past_boundary, total);
    const std::size_t ready = total - keep;
    if (ready > 0) {
      output_.Write(buffer_, ready, Site::kSampleWrite);
      std::memmove(buffer_, buffer_ + ready, keep);
      position_ += static_cast<std::int64_t>(ready);
    }
    pending_ = keep;
  }

  void Flush() {
    if (pending_ > 0) output_.Write(buffer_, pending_, Site::kSampleWrite);
    pending_ = 0;
  }

 private:
  File& output_;
  Byte* buffer_;
  std::int64_t position_;  ///< the file position of buffer_[0]
  std::size_t pending_ = 0;
};

// One pass: from the data chunk to the end of the file, then the output cut or extended to
// `end`. The output is positioned at `start` when the pass begins.
template <typename F>
void RunPass(EncodeJob& job, std::size_t channel_offset, typename F::Stored start_value,
             std::int64_t start, std::int64_t end) {
  using Word = typename F::Stored;
  Byte* in = job.buffers.input.get();
  AlignedWriter writer(job.output, job.buffers.output.get(), start);
  job.source.Seek(job.data_offset, Site::kSourceSeek);
  Word previous = start_value;
  for (;;) {
    const std::size_t n = job.source.Read(in, F::kBlockSize, Site::kSampleRead);
    if (n == 0) break;
    const std::size_t units = n / F::kUnit;  // an incomplete unit at the very end is dropped
    if (units == 0) continue;
    previous = EncodeBlock<Word, F::kUnit>(in + channel_offset, units, writer.Tail(), previous);
    writer.Commit(units * sizeof(Word));
  }
  writer.Flush();
  job.output.Seek(end, Site::kOutputSeek);
  job.output.Truncate(Site::kOutputTruncate);
}

// The wide formats: each sample becomes a signed 16-bit value. Integer PCM keeps its top 16 bits
// (truncating, as dropping the low bytes does); float is scaled to the 16-bit range, rounded to
// nearest with ties to even, and clamped, with NaN as silence.
std::uint16_t FloatToSample(double x) {
  if (std::isnan(x)) return 0;
  const double scaled = std::nearbyint(x * 32768.0);
  if (scaled <= -32768.0) return static_cast<std::uint16_t>(-32768);
  if (scaled >= 32767.0) return 32767;
  return static_cast<std::uint16_t>(static_cast<std::int16_t>(scaled));
}

template <WideFormat kFormat>
std::uint16_t ToSample(const Byte* p) {
  if constexpr (kFormat == WideFormat::Pcm24) {
    return LoadU16(p + 1);
  } else if constexpr (kFormat == WideFormat::Pcm32) {
    return LoadU16(p + 2);
  } else if constexpr (kFormat == WideFormat::Float32) {
    float x;
    const std::uint32_t bits = LoadU32(p);
    std::memcpy(&x, &bits, sizeof x);
    return FloatToSample(x);
  } else {
    double x;
    const std::uint64_t bits = LoadU32(p) | std::uint64_t{LoadU32(p + 4)} << 32;
    std::memcpy(&x, &bits, sizeof x);
    return FloatToSample(x);
  }
}

template <WideFormat kFormat>
void RunWidePass(EncodeJob& job, std::size_t frame_size, std::size_t channel_offset,
                 std::int64_t start, std::int64_t end) {
  // Whole frames per block, and no more than one output block of 16-bit samples.
  const std::size_t frames_per_block =
      std::min(EncoderBuffers::kInputSize / frame_size, EncoderBuffers::kBlockOutputSize / 2);
  Byte* in = job.buffers.input.get();
  AlignedWriter writer(job.output, job.buffers.output.get(), start);
  job.source.Seek(job.data_offset, Site::kSourceSeek);
  std::uint16_t previous = kStart16;
  for (;;) {
    const std::size_t n = job.source.Read(in, frames_per_block * frame_size, Site::kSampleRead);
    if (n == 0) break;
    const std::size_t frames = n / frame_size;
    Byte* out = writer.Tail();
    for (std::size_t i = 0; i < frames; ++i) {
      const std::uint16_t current = ToSample<kFormat>(in + i * frame_size + channel_offset);
      StoreU16(out + 2 * i, static_cast<std::uint16_t>(previous - current));
      previous = current;
    }
    writer.Commit(2 * frames);
  }
  writer.Flush();
  job.output.Seek(end, Site::kOutputSeek);
  job.output.Truncate(Site::kOutputTruncate);
}

std::int64_t LeftEnd(const EncodeJob& job) { return job.header_length + job.data_length / 2; }
std::int64_t FullEnd(const EncodeJob& job) { return job.header_length + job.data_length; }

// The left channel is written from the end of the header, the right one behind it.
std::int64_t StereoStart(const EncodeJob& job, ChannelPick channel) {
  return channel == ChannelPick::Left ? job.header_length : LeftEnd(job);
}
std::int64_t StereoEnd(const EncodeJob& job, ChannelPick channel) {
  return channel == ChannelPick::Left ? LeftEnd(job) : FullEnd(job);
}

}  // namespace

void EncodeStereo16(EncodeJob& job, ChannelPick channel) {
  RunPass<Stereo16>(job, channel == ChannelPick::Left ? 0 : 2, kStart16, StereoStart(job, channel),
                    StereoEnd(job, channel));
}

void EncodeMono16(EncodeJob& job) {
  RunPass<Mono16>(job, 0, kStart16, job.header_length, FullEnd(job));
}

void EncodeStereo8(EncodeJob& job, ChannelPick channel) {
  RunPass<Stereo8>(job, channel == ChannelPick::Left ? 0 : 1, kStart8, StereoStart(job, channel),
                   StereoEnd(job, channel));
}

void EncodeMono8(EncodeJob& job) {
  RunPass<Mono8>(job, 0, kStart8, job.header_length, FullEnd(job));
}

void EncodeWide(EncodeJob& job, WideFormat format, bool stereo, ChannelPick channel) {
  const auto sample_size = static_cast<std::size_t>(ContainerBytes(format));
  const std::size_t frame_size = sample_size * (stereo ? 2 : 1);
  const std::size_t offset = channel == ChannelPick::Left ? 0 : sample_size;
  const std::int64_t start = stereo ? StereoStart(job, channel) : job.header_length;
  const std::int64_t end = stereo ? StereoEnd(job, channel) : FullEnd(job);
  switch (format) {
    case WideFormat::Pcm24:
      return RunWidePass<WideFormat::Pcm24>(job, frame_size, offset, start, end);
    case WideFormat::Pcm32:
      return RunWidePass<WideFormat::Pcm32>(job, frame_size, offset, start, end);
    case WideFormat::Float32:
      return RunWidePass<WideFormat::Float32>(job, frame_size, offset, start, end);
    case WideFormat::Float64:
      return RunWidePass<WideFormat::Float64>(job, frame_size, offset, start, end);
    case WideFormat::None:
      break;
  }
}

void EncodeSampleData(EncodeJob& job, const WavInfo& info) {
  if (info.Wide != WideFormat::None) {
    EncodeWide(job, info.Wide, info.Stereo, ChannelPick::Left);
    if (info.Stereo) EncodeWide(job, info.Wide, info.Stereo, ChannelPick::Right);
  } else if (info.Stereo && info.SixteenBit) {
    EncodeStereo16(job, ChannelPick::Left);
    EncodeStereo16(job, ChannelPick::Right);
  } else if (info.SixteenBit) {
    EncodeMono16(job);
  } else if (info.Stereo) {
    EncodeStereo8(job, ChannelPick::Left);
    EncodeStereo8(job, ChannelPick::Right);
  } else {
    EncodeMono8(job);
  }
}

}  // namespace brumlet
