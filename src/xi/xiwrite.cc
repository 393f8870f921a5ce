#include "xi/xiwrite.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <span>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "wav/g711.h"

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

// Every format reads blocks of 128 KiB: fewer, larger reads cost measurably less than the 32 and
// 64 KiB blocks that would give every format the same 64 KiB of output per block.
using Stereo16 = Format<std::uint16_t, 4, 131072>;
using Mono16 = Format<std::uint16_t, 2, 131072>;
using Stereo8 = Format<std::uint8_t, 2, 131072>;
using Mono8 = Format<std::uint8_t, 1, 131072>;

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

// Writes one sample's encoded bytes into its area of the output, [start, start + length): what
// would reach past the area is dropped (the next sample, or the end of the file, is there).
// Every write but the first and the last ends on a 64 KiB boundary of the output file: the header
// puts the sample data at an odd offset, and writes that straddle the page cache's large folios
// cost about a tenth more than aligned ones. A block takes at most one write; the bytes past the
// last boundary wait for the next block. The area's start is given, never assumed: the first
// write is positioned there, and where two samples are written side by side (a stereo source's
// left and right), every write is.
class AlignedWriter {
 public:
  AlignedWriter(File& output, Byte* buffer, std::int64_t start, std::int64_t length,
                bool side_by_side)
      : output_(output),
        buffer_(buffer),
        position_(start),
        room_(std::max<std::int64_t>(length, 0)),
        side_by_side_(side_by_side) {}

  /// Where the next block's bytes go.
  Byte* Tail() { return buffer_ + pending_; }

  /// Writes what lies before the last boundary among the pending bytes and `count` new ones.
  void Commit(std::size_t count) {
    count =
        static_cast<std::size_t>(std::min<std::int64_t>(static_cast<std::int64_t>(count), room_));
    room_ -= static_cast<std::int64_t>(count);
    const std::size_t total = pending_ + count;
    const auto past_boundary = static_cast<std::size_t>(
        (position_ + static_cast<std::int64_t>(total)) % EncoderBuffers::kWriteAlignment);
    const std::size_t ready = total - std::min(past_boundary, total);
    WriteOut(ready);
    std::memmove(buffer_, buffer_ + ready, total - ready);
    pending_ = total - ready;
  }

  void Flush() {
    WriteOut(pending_);
    pending_ = 0;
  }

 private:
  void WriteOut(std::size_t count) {
    if (count == 0) return;
    if (side_by_side_ || !written_) output_.Seek(position_, Site::kOutputSeek);
    output_.Write(buffer_, count, Site::kSampleWrite);
    written_ = true;
    position_ += static_cast<std::int64_t>(count);
  }

  File& output_;
  Byte* buffer_;
  std::int64_t position_;  ///< the file position of buffer_[0]
  std::int64_t room_;      ///< bytes the area still takes
  std::size_t pending_ = 0;
  const bool side_by_side_;
  bool written_ = false;
};

// One sample on its way out: where its bytes go and the value its next delta starts from.
template <typename Word>
struct Channel {
  AlignedWriter writer;
  Word previous;
};

// A mono source: one sample over the whole data area.
template <typename Word>
Channel<Word> OnlyChannel(EncodeJob& job, Word start_value) {
  return {
      AlignedWriter(job.output, job.buffers.left.get(), job.header_length, job.data_length, false),
      start_value};
}

// A stereo source: the left sample takes the first L / 2 bytes of the data area (rounded down)
// and the right sample the rest.
template <typename Word>
Channel<Word> LeftChannel(EncodeJob& job, Word start_value) {
  return {AlignedWriter(job.output, job.buffers.left.get(), job.header_length, job.data_length / 2,
                        true),
          start_value};
}

template <typename Word>
Channel<Word> RightChannel(EncodeJob& job, Word start_value) {
  const std::int64_t half = job.data_length / 2;
  return {AlignedWriter(job.output, job.buffers.right.get(), job.header_length + half,
                        job.data_length - half, true),
          start_value};
}

// Reads the source from the data chunk to the end of the file in blocks of whole units (a
// sample or a frame, so that a unit is never split between two reads) and hands each block's
// units to `encode`; an incomplete unit at the very end is dropped.
template <typename Encode>
void ReadBlocks(EncodeJob& job, std::size_t block_size, std::size_t unit, Encode&& encode) {
  Byte* in = job.buffers.input.get();
  job.source.Seek(job.data_offset, Site::kSourceSeek);
  for (;;) {
    const std::size_t n = job.source.Read(in, block_size, Site::kSampleRead);
    if (n == 0) break;
    if (n / unit > 0) encode(in, n / unit);
  }
}

// The output ends where the header says the sample data does: cut there, or extended with zero
// bytes where the data chunk declared more than the file holds.
void EndOutput(EncodeJob& job) {
  job.output.Seek(job.header_length + job.data_length, Site::kOutputSeek);
  job.output.Truncate(Site::kOutputTruncate);
}

template <typename F>
void EncodeMono(EncodeJob& job, typename F::Stored start_value) {
  using Word = typename F::Stored;
  Channel<Word> only = OnlyChannel(job, start_value);
  ReadBlocks(job, F::kBlockSize, F::kUnit, [&](const Byte* in, std::size_t units) {
    only.previous = EncodeBlock<Word, F::kUnit>(in, units, only.writer.Tail(), only.previous);
    only.writer.Commit(units * sizeof(Word));
  });
  only.writer.Flush();
  EndOutput(job);
}

// The deltas of stereo frames [first, last), each from the frame before it, split into the left
// and the right output.
template <typename Word>
void EncodeFrameRange(const Byte* __restrict in, std::size_t first, std::size_t last,
                      Byte* __restrict left, Byte* __restrict right) {
  constexpr std::size_t kFrame = 2 * sizeof(Word);
  for (std::size_t i = first; i < last; ++i) {
    const Byte* before = in + (i - 1) * kFrame;
    const Byte* current = in + i * kFrame;
    Store<Word>(left + i * sizeof(Word),
                static_cast<Word>(Load<Word>(before) - Load<Word>(current)));
    Store<Word>(right + i * sizeof(Word), static_cast<Word>(Load<Word>(before + sizeof(Word)) -
                                                            Load<Word>(current + sizeof(Word))));
  }
}

#if defined(__SSE2__)
// EncodeFrameRange for 16-bit frames from frame 1 on, eight frames at a time: the deltas are
// taken on the interleaved words (each word minus the one a frame before it), then the left
// words are the sign-extended low halves of each frame and the right words the high halves,
// packed back to 16 bits without saturating. Compilers split interleaved 16-bit data only
// clumsily, and stereo 16-bit is the common case. SSE2 means x86, or WebAssembly's SIMD under
// emscripten's SSE2 (the page's build), both little-endian, so the lanes are the words as stored.
// Returns the first frame left to do.
std::size_t EncodeFrames16Wide(const Byte* in, std::size_t frames, Byte* left, Byte* right) {
  std::size_t i = 1;
  for (; i + 8 <= frames; i += 8) {
    const Byte* current = in + 4 * i;
    const auto load = [](const Byte* p) {
      return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    };
    const __m128i low = _mm_sub_epi16(load(current - 4), load(current));
    const __m128i high = _mm_sub_epi16(load(current + 12), load(current + 16));
    const __m128i lefts = _mm_packs_epi32(_mm_srai_epi32(_mm_slli_epi32(low, 16), 16),
                                          _mm_srai_epi32(_mm_slli_epi32(high, 16), 16));
    const __m128i rights = _mm_packs_epi32(_mm_srai_epi32(low, 16), _mm_srai_epi32(high, 16));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(left + 2 * i), lefts);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(right + 2 * i), rights);
  }
  return i;
}
#endif

// EncodeBlock for both halves of `frames` stereo frames in one go, each to its own output.
template <typename Word>
void EncodeFrames(const Byte* __restrict in, std::size_t frames, Byte* __restrict left,
                  Byte* __restrict right, Word& previous_left, Word& previous_right) {
  constexpr std::size_t kFrame = 2 * sizeof(Word);
  Store<Word>(left, static_cast<Word>(previous_left - Load<Word>(in)));
  Store<Word>(right, static_cast<Word>(previous_right - Load<Word>(in + sizeof(Word))));
  std::size_t done = 1;
#if defined(__SSE2__)
  if constexpr (sizeof(Word) == 2) {
    done = EncodeFrames16Wide(in, frames, left, right);
  }
#endif
  EncodeFrameRange<Word>(in, done, frames, left, right);
  previous_left = Load<Word>(in + (frames - 1) * kFrame);
  previous_right = Load<Word>(in + (frames - 1) * kFrame + sizeof(Word));
}

// Both samples from each block: the left values from the first half of every frame, the right
// ones from the second.
template <typename F>
void EncodeStereo(EncodeJob& job, typename F::Stored start_value) {
  using Word = typename F::Stored;
  Channel<Word> left = LeftChannel(job, start_value);
  Channel<Word> right = RightChannel(job, start_value);
  ReadBlocks(job, F::kBlockSize, F::kUnit, [&](const Byte* in, std::size_t units) {
    EncodeFrames<Word>(in, units, left.writer.Tail(), right.writer.Tail(), left.previous,
                       right.previous);
    left.writer.Commit(units * sizeof(Word));
    right.writer.Commit(units * sizeof(Word));
  });
  left.writer.Flush();
  right.writer.Flush();
  EndOutput(job);
}

// A stereo frame's two samples mixed into one: (L + R) >> 1, the sum taken in full and halved
// with an arithmetic shift (rounding down), signed for 16-bit data and unsigned for 8-bit data.
template <typename Word>
Word Mix(const Byte* frame) {
  if constexpr (sizeof(Word) == 2) {
    const int sum = LoadI16(frame) + LoadI16(frame + 2);
    return static_cast<Word>(sum >> 1);
  } else {
    return static_cast<Word>((frame[0] + frame[1]) >> 1);
  }
}

// EncodeBlock over the mixed values of `frames` stereo frames.
template <typename Word>
Word EncodeMixedBlock(const Byte* __restrict in, std::size_t frames, Byte* __restrict out,
                      Word previous) {
  constexpr std::size_t kFrame = 2 * sizeof(Word);
  Store<Word>(out, static_cast<Word>(previous - Mix<Word>(in)));
  for (std::size_t i = 1; i < frames; ++i) {
    Store<Word>(out + i * sizeof(Word),
                static_cast<Word>(Mix<Word>(in + (i - 1) * kFrame) - Mix<Word>(in + i * kFrame)));
  }
  return Mix<Word>(in + (frames - 1) * kFrame);
}

// A stereo source as one sample over the whole data area, mixed from both channels.
template <typename F>
void EncodeMixed(EncodeJob& job, typename F::Stored start_value) {
  using Word = typename F::Stored;
  Channel<Word> only = OnlyChannel(job, start_value);
  ReadBlocks(job, F::kBlockSize, F::kUnit, [&](const Byte* in, std::size_t frames) {
    only.previous = EncodeMixedBlock<Word>(in, frames, only.writer.Tail(), only.previous);
    only.writer.Commit(frames * sizeof(Word));
  });
  only.writer.Flush();
  EndOutput(job);
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
  } else if constexpr (kFormat == WideFormat::MuLaw) {
    return static_cast<std::uint16_t>(MuLawToSample(*p));
  } else if constexpr (kFormat == WideFormat::ALaw) {
    return static_cast<std::uint16_t>(ALawToSample(*p));
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

// Encodes one channel of `frames` wide frames, its sample at `offset` in each frame; or, with
// kMix, both samples of each stereo frame made 16-bit and then mixed into one.
template <WideFormat kFormat, bool kMix = false>
void EncodeWideChannel(const Byte* in, std::size_t frames, std::size_t frame_size,
                       std::size_t offset, Channel<std::uint16_t>& channel) {
  constexpr auto kSampleSize = static_cast<std::size_t>(ContainerBytes(kFormat));
  Byte* out = channel.writer.Tail();
  std::uint16_t previous = channel.previous;
  for (std::size_t i = 0; i < frames; ++i) {
    const Byte* sample = in + i * frame_size + offset;
    std::uint16_t current = ToSample<kFormat>(sample);
    if constexpr (kMix) {
      const int sum = static_cast<std::int16_t>(current) +
                      static_cast<std::int16_t>(ToSample<kFormat>(sample + kSampleSize));
      current = static_cast<std::uint16_t>(sum >> 1);
    }
    StoreU16(out + 2 * i, static_cast<std::uint16_t>(previous - current));
    previous = current;
  }
  channel.previous = previous;
  channel.writer.Commit(2 * frames);
}

template <WideFormat kFormat>
void EncodeWideFrames(EncodeJob& job, bool stereo, StereoHandling handling) {
  const auto sample_size = static_cast<std::size_t>(ContainerBytes(kFormat));
  const std::size_t frame_size = sample_size * (stereo ? 2 : 1);
  // Whole frames per block, and no more than one output block of 16-bit samples a channel.
  const std::size_t block =
      std::min(EncoderBuffers::kInputSize / frame_size, EncoderBuffers::kBlockOutputSize / 2) *
      frame_size;
  if (stereo && handling == StereoHandling::kMix) {
    Channel<std::uint16_t> only = OnlyChannel(job, kStart16);
    ReadBlocks(job, block, frame_size, [&](const Byte* in, std::size_t frames) {
      EncodeWideChannel<kFormat, true>(in, frames, frame_size, 0, only);
    });
    only.writer.Flush();
  } else if (stereo) {
    Channel<std::uint16_t> left = LeftChannel(job, kStart16);
    Channel<std::uint16_t> right = RightChannel(job, kStart16);
    ReadBlocks(job, block, frame_size, [&](const Byte* in, std::size_t frames) {
      EncodeWideChannel<kFormat>(in, frames, frame_size, 0, left);
      EncodeWideChannel<kFormat>(in, frames, frame_size, sample_size, right);
    });
    left.writer.Flush();
    right.writer.Flush();
  } else {
    Channel<std::uint16_t> only = OnlyChannel(job, kStart16);
    ReadBlocks(job, block, frame_size, [&](const Byte* in, std::size_t frames) {
      EncodeWideChannel<kFormat>(in, frames, frame_size, 0, only);
    });
    only.writer.Flush();
  }
  EndOutput(job);
}

// Encodes channel `offset` of `frames` decoded frames of `channels` samples each, or with `mix`
// both samples of each stereo frame mixed into one, in pieces that each fit an output block.
void EncodeDecodedChannel(const std::int16_t* samples, std::size_t frames, std::size_t channels,
                          std::size_t offset, bool mix, Channel<std::uint16_t>& channel) {
  constexpr std::size_t kPiece = EncoderBuffers::kBlockOutputSize / 2;
  for (std::size_t first = 0; first < frames; first += kPiece) {
    const std::size_t count = std::min(kPiece, frames - first);
    const std::int16_t* in = samples + first * channels + offset;
    Byte* out = channel.writer.Tail();
    std::uint16_t previous = channel.previous;
    for (std::size_t i = 0; i < count; ++i) {
      const int value = mix ? (in[i * channels] + in[i * channels + 1]) >> 1 : in[i * channels];
      const auto current = static_cast<std::uint16_t>(value);
      StoreU16(out + 2 * i, static_cast<std::uint16_t>(previous - current));
      previous = current;
    }
    channel.previous = previous;
    channel.writer.Commit(2 * count);
  }
}

// The frames of `range` (mixed with those of `mixed`, when given) read in blocks that never pass
// either range: the ranges lie inside a much larger file.
void EncodePcm16Frames(File& source, Pcm16Range range, Pcm16Range mixed,
                       Channel<std::uint16_t>& channel, EncoderBuffers& buffers) {
  const bool mix = mixed.offset >= 0;
  // A full input block of frames either way: the other side of a pair is read into the right
  // output buffer, which one sample alone leaves unused.
  constexpr std::size_t block_frames = EncoderBuffers::kInputSize / 2;
  static_assert(EncoderBuffers::kOutputSize >= EncoderBuffers::kInputSize);
  Byte* left = buffers.input.get();
  Byte* right = buffers.right.get();
  for (std::uint32_t done = 0; done < range.frames;) {
    const std::size_t n = std::min<std::size_t>(block_frames, range.frames - done);
    source.Seek(range.offset + 2 * static_cast<std::int64_t>(done), Site::kSourceSeek);
    source.ReadExact(left, 2 * n, Site::kSampleRead);
    if (mix) {
      const std::size_t there =
          done < mixed.frames ? std::min<std::size_t>(n, mixed.frames - done) : 0;
      if (there > 0) {
        source.Seek(mixed.offset + 2 * static_cast<std::int64_t>(done), Site::kSourceSeek);
        source.ReadExact(right, 2 * there, Site::kSampleRead);
      }
      std::fill(right + 2 * there, right + 2 * n, Byte{0});
    }
    // The values first, mixed in place, then each one's difference from the one before: two
    // loops the compiler vectorises, where one loop carrying the previous value is not.
    if (mix) {
      for (std::size_t i = 0; i < n; ++i) {
        StoreU16(left + 2 * i,
                 static_cast<std::uint16_t>((LoadI16(left + 2 * i) + LoadI16(right + 2 * i)) >> 1));
      }
    }
    Byte* out = channel.writer.Tail();
    StoreU16(out, static_cast<std::uint16_t>(channel.previous - LoadU16(left)));
    for (std::size_t i = 1; i < n; ++i) {
      StoreU16(out + 2 * i,
               static_cast<std::uint16_t>(LoadU16(left + 2 * i - 2) - LoadU16(left + 2 * i)));
    }
    channel.previous = LoadU16(left + 2 * n - 2);
    channel.writer.Commit(2 * n);
    done += static_cast<std::uint32_t>(n);
  }
}

}  // namespace

void EncodePcm16(File& source, File& output, std::span<const Pcm16Sample> samples,
                 std::int64_t start, EncoderBuffers& buffers) {
  std::int64_t length = 0;
  for (const Pcm16Sample& sample : samples) length += 2 * std::int64_t{sample.range.frames};
  Channel<std::uint16_t> run{AlignedWriter(output, buffers.left.get(), start, length, false),
                             kStart16};
  for (const Pcm16Sample& sample : samples) {
    run.previous = kStart16;
    EncodePcm16Frames(source, sample.range, sample.mixed, run, buffers);
  }
  run.writer.Flush();
}

void EncodeFrames(FrameSource& source, std::uint32_t frames, File& output, std::int64_t start,
                  EncoderBuffers& buffers) {
  Channel<std::uint16_t> only{
      AlignedWriter(output, buffers.left.get(), start, 2 * std::int64_t{frames}, false), kStart16};
  // The frames arrive in the buffer for decoded values, a block at a time.
  constexpr std::size_t kBlock = EncoderBuffers::kBlockOutputSize / 2;
  static_assert(kBlock <= kMaxBlockSamples);
  std::int16_t* values = buffers.decoded.get();
  for (std::uint32_t done = 0; done < frames;) {
    const std::size_t n = std::min<std::size_t>(kBlock, frames - done);
    source.Read(std::span<std::int16_t>(values, n));
    Byte* out = only.writer.Tail();
    std::uint16_t previous = only.previous;
    for (std::size_t i = 0; i < n; ++i) {
      const auto current = static_cast<std::uint16_t>(values[i]);
      StoreU16(out + 2 * i, static_cast<std::uint16_t>(previous - current));
      previous = current;
    }
    only.previous = previous;
    only.writer.Commit(2 * n);
    done += static_cast<std::uint32_t>(n);
  }
  only.writer.Flush();
}

void EncodeStereo16(EncodeJob& job) { EncodeStereo<Stereo16>(job, kStart16); }
void EncodeMono16(EncodeJob& job) { EncodeMono<Mono16>(job, kStart16); }
void EncodeStereo8(EncodeJob& job) { EncodeStereo<Stereo8>(job, kStart8); }
void EncodeMono8(EncodeJob& job) { EncodeMono<Mono8>(job, kStart8); }

void EncodeMixed16(EncodeJob& job) { EncodeMixed<Stereo16>(job, kStart16); }
void EncodeMixed8(EncodeJob& job) { EncodeMixed<Stereo8>(job, kStart8); }

void EncodeWide(EncodeJob& job, WideFormat format, bool stereo, StereoHandling handling) {
  switch (format) {
    case WideFormat::Pcm24:
      return EncodeWideFrames<WideFormat::Pcm24>(job, stereo, handling);
    case WideFormat::Pcm32:
      return EncodeWideFrames<WideFormat::Pcm32>(job, stereo, handling);
    case WideFormat::Float32:
      return EncodeWideFrames<WideFormat::Float32>(job, stereo, handling);
    case WideFormat::Float64:
      return EncodeWideFrames<WideFormat::Float64>(job, stereo, handling);
    case WideFormat::MuLaw:
      return EncodeWideFrames<WideFormat::MuLaw>(job, stereo, handling);
    case WideFormat::ALaw:
      return EncodeWideFrames<WideFormat::ALaw>(job, stereo, handling);
    case WideFormat::None:
      break;
  }
}

void EncodeAdpcm(EncodeJob& job, const AdpcmBlocks& adpcm, bool stereo, StereoHandling handling) {
  const int channels = stereo ? 2 : 1;
  const std::size_t block = adpcm.block_align;
  if (block == 0) return;
  const std::span<std::int16_t> decoded(job.buffers.decoded.get(), kMaxBlockSamples);
  // Whole blocks per read (a block is at most 64 KiB), so a block is never split between reads.
  const std::size_t read_size = EncoderBuffers::kInputSize / block * block;
  const bool mix = stereo && handling == StereoHandling::kMix;
  Channel<std::uint16_t> left =
      stereo && !mix ? LeftChannel(job, kStart16) : OnlyChannel(job, kStart16);
  std::optional<Channel<std::uint16_t>> right;
  if (stereo && !mix) right.emplace(RightChannel(job, kStart16));
  ReadBlocks(job, read_size, 1, [&](const Byte* in, std::size_t bytes) {
    for (std::size_t at = 0; at < bytes; at += block) {
      const std::span<const Byte> one(in + at, std::min(block, bytes - at));
      const std::size_t frames =
          adpcm.kind == AdpcmKind::Ima
              ? DecodeImaAdpcmBlock(one, channels, decoded)
              : DecodeMsAdpcmBlock(one, channels, adpcm.coefficients, decoded);
      const auto n = static_cast<std::size_t>(channels);
      EncodeDecodedChannel(decoded.data(), frames, n, 0, mix, left);
      if (right) EncodeDecodedChannel(decoded.data(), frames, n, 1, false, *right);
    }
  });
  left.writer.Flush();
  if (right) right->writer.Flush();
  EndOutput(job);
}

void EncodeSampleData(EncodeJob& job, const WavInfo& info, StereoHandling stereo) {
  const bool mix = stereo == StereoHandling::kMix;
  if (info.Adpcm.kind != AdpcmKind::None) {
    EncodeAdpcm(job, info.Adpcm, info.Stereo, stereo);
  } else if (info.Wide != WideFormat::None) {
    EncodeWide(job, info.Wide, info.Stereo, stereo);
  } else if (info.Stereo && info.SixteenBit) {
    mix ? EncodeMixed16(job) : EncodeStereo16(job);
  } else if (info.SixteenBit) {
    EncodeMono16(job);
  } else if (info.Stereo) {
    mix ? EncodeMixed8(job) : EncodeStereo8(job);
  } else {
    EncodeMono8(job);
  }
}

}  // namespace brumlet
