#include "xi/xiwrite.h"

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
  static_assert(kBlock / kStride * sizeof(Word) <= EncoderBuffers::kOutputSize);
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

template <typename F>
void RunPass(EncodeJob& job, std::size_t channel_offset, typename F::Stored start,
             std::int64_t final_length) {
  using Word = typename F::Stored;
  Byte* in = job.buffers.input.get();
  Byte* out = job.buffers.output.get();
  job.source.Seek(job.data_offset, Site::kSourceSeek);
  Word previous = start;
  for (;;) {
    const std::size_t n = job.source.Read(in, F::kBlockSize, Site::kSampleRead);
    if (n == 0) break;
    const std::size_t units = n / F::kUnit;  // an incomplete unit at the very end is dropped
    if (units == 0) continue;
    previous = EncodeBlock<Word, F::kUnit>(in + channel_offset, units, out, previous);
    job.output.Write(out, units * sizeof(Word), Site::kSampleWrite);
  }
  job.output.Seek(final_length, Site::kOutputSeek);
  job.output.Truncate(Site::kOutputTruncate);
}

std::int64_t LeftEnd(const EncodeJob& job) { return job.header_length + job.data_length / 2; }
std::int64_t FullEnd(const EncodeJob& job) { return job.header_length + job.data_length; }

std::int64_t StereoEnd(const EncodeJob& job, ChannelPick channel) {
  return channel == ChannelPick::Left ? LeftEnd(job) : FullEnd(job);
}

}  // namespace

void EncodeStereo16(EncodeJob& job, ChannelPick channel) {
  RunPass<Stereo16>(job, channel == ChannelPick::Left ? 0 : 2, kStart16, StereoEnd(job, channel));
}

void EncodeMono16(EncodeJob& job) { RunPass<Mono16>(job, 0, kStart16, FullEnd(job)); }

void EncodeStereo8(EncodeJob& job, ChannelPick channel) {
  RunPass<Stereo8>(job, channel == ChannelPick::Left ? 0 : 1, kStart8, StereoEnd(job, channel));
}

void EncodeMono8(EncodeJob& job) { RunPass<Mono8>(job, 0, kStart8, FullEnd(job)); }

void EncodeSampleData(EncodeJob& job, bool stereo, bool sixteen_bit) {
  if (stereo && sixteen_bit) {
    EncodeStereo16(job, ChannelPick::Left);
    EncodeStereo16(job, ChannelPick::Right);
  } else if (sixteen_bit) {
    EncodeMono16(job);
  } else if (stereo) {
    EncodeStereo8(job, ChannelPick::Left);
    EncodeStereo8(job, ChannelPick::Right);
  } else {
    EncodeMono8(job);
  }
}

}  // namespace brumlet
