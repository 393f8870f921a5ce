#include "xi/xiwrite.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "xi/sample_values.h"

namespace brumlet {
namespace {

// The encoders of sources taken as they are stored are templates over `Word`, the stored sample
// (std::uint16_t or std::uint8_t), which is also the width of a sample in the source.
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

// What an encoder works on: a reader, and where its sample (or its left and right samples) go.
struct Job {
  SampleReader& reader;
  File& output;
  EncoderBuffers& buffers;
  SampleArea first;   ///< the one sample, or the left one
  SampleArea second;  ///< the right one
  bool pair = false;  ///< whether the two are written, side by side (see AlignedWriter)
};

// The first sample of a job, or the second.
template <typename Word>
Channel<Word> ChannelOf(Job& job, bool second, Word start_value) {
  const SampleArea area = second ? job.second : job.first;
  Byte* buffer = second ? job.buffers.right.get() : job.buffers.left.get();
  return {AlignedWriter(job.output, buffer, area.start, area.length, job.pair), start_value};
}

// Reads the reader to its end in blocks of whole frames (so that a frame is never split between
// two reads) and hands each block's frames to `encode`; an incomplete frame at the very end is
// dropped. A block is as many frames as the input buffer holds, and never more than an output
// block of each channel's stored values: 128 KiB of every source taken as stored, which reads
// measurably faster than smaller blocks.
template <typename Encode>
void ReadBlocks(Job& job, Encode&& encode) {
  const SampleFormat format = job.reader.format();
  const std::size_t frame = format.FrameBytes();
  const std::size_t stored = format.encoding == SampleEncoding::kUnsigned8 ? 1 : 2;
  const std::span<Byte> block(
      job.buffers.input.get(),
      std::min(EncoderBuffers::kInputSize / frame, EncoderBuffers::kBlockOutputSize / stored) *
          frame);
  for (;;) {
    const std::size_t n = job.reader.Read(block);
    if (n == 0) break;
    if (n / frame > 0) encode(block.data(), n / frame);
  }
}

template <typename Word>
void EncodeMono(Job& job, Word start_value) {
  Channel<Word> only = ChannelOf(job, false, start_value);
  ReadBlocks(job, [&](const Byte* in, std::size_t units) {
    only.previous = EncodeBlock<Word, sizeof(Word)>(in, units, only.writer.Tail(), only.previous);
    only.writer.Commit(units * sizeof(Word));
  });
  only.writer.Flush();
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
template <typename Word>
void EncodeStereo(Job& job, Word start_value) {
  Channel<Word> left = ChannelOf(job, false, start_value);
  Channel<Word> right = ChannelOf(job, true, start_value);
  ReadBlocks(job, [&](const Byte* in, std::size_t units) {
    EncodeFrames<Word>(in, units, left.writer.Tail(), right.writer.Tail(), left.previous,
                       right.previous);
    left.writer.Commit(units * sizeof(Word));
    right.writer.Commit(units * sizeof(Word));
  });
  left.writer.Flush();
  right.writer.Flush();
}

// A stereo frame's two samples mixed into one (MixStereo), signed for 16-bit data and unsigned
// for 8-bit data.
template <typename Word>
Word Mix(const Byte* frame) {
  if constexpr (sizeof(Word) == 2) {
    return static_cast<Word>(MixStereo(LoadI16(frame), LoadI16(frame + 2)));
  } else {
    return static_cast<Word>(MixStereo(frame[0], frame[1]));
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

// A stereo source as one sample, mixed from both channels.
template <typename Word>
void EncodeMixed(Job& job, Word start_value) {
  Channel<Word> only = ChannelOf(job, false, start_value);
  ReadBlocks(job, [&](const Byte* in, std::size_t frames) {
    only.previous = EncodeMixedBlock<Word>(in, frames, only.writer.Tail(), only.previous);
    only.writer.Commit(frames * sizeof(Word));
  });
  only.writer.Flush();
}

// Encodes one channel of `frames` frames, its sample at `offset` in each frame; or, with kMix,
// both samples of each stereo frame made 16-bit and then mixed into one.
template <SampleEncoding kEncoding, bool kMix = false>
void EncodeWideChannel(const Byte* in, std::size_t frames, std::size_t frame_size,
                       std::size_t offset, Channel<std::uint16_t>& channel) {
  constexpr std::size_t kSampleSize = EncodedBytes(kEncoding);
  Byte* out = channel.writer.Tail();
  std::uint16_t previous = channel.previous;
  for (std::size_t i = 0; i < frames; ++i) {
    const Byte* sample = in + i * frame_size + offset;
    std::uint16_t current = ToSample<kEncoding>(sample);
    if constexpr (kMix) {
      current = static_cast<std::uint16_t>(
          MixStereo(static_cast<std::int16_t>(current),
                    static_cast<std::int16_t>(ToSample<kEncoding>(sample + kSampleSize))));
    }
    StoreU16(out + 2 * i, static_cast<std::uint16_t>(previous - current));
    previous = current;
  }
  channel.previous = previous;
  channel.writer.Commit(2 * frames);
}

// The encodings made 16-bit on the way: one sample, a stereo source mixed, or split in two.
template <SampleEncoding kEncoding>
void EncodeWide(Job& job) {
  const std::size_t sample_size = EncodedBytes(kEncoding);
  const bool stereo = job.reader.format().channels == 2;
  const std::size_t frame_size = sample_size * (stereo ? 2 : 1);
  if (job.pair) {
    Channel<std::uint16_t> left = ChannelOf(job, false, kStart16);
    Channel<std::uint16_t> right = ChannelOf(job, true, kStart16);
    ReadBlocks(job, [&](const Byte* in, std::size_t frames) {
      EncodeWideChannel<kEncoding>(in, frames, frame_size, 0, left);
      EncodeWideChannel<kEncoding>(in, frames, frame_size, sample_size, right);
    });
    left.writer.Flush();
    right.writer.Flush();
    return;
  }
  Channel<std::uint16_t> only = ChannelOf(job, false, kStart16);
  ReadBlocks(job, [&](const Byte* in, std::size_t frames) {
    if (stereo) {
      EncodeWideChannel<kEncoding, true>(in, frames, frame_size, 0, only);
    } else {
      EncodeWideChannel<kEncoding>(in, frames, frame_size, 0, only);
    }
  });
  only.writer.Flush();
}

// Runs the encoder of the reader's format: one sample of one channel or of two mixed, or a
// stereo source's left and right samples.
void Encode(Job& job) {
  const SampleFormat format = job.reader.format();
  const bool stereo = format.channels == 2;
  switch (format.encoding) {
    case SampleEncoding::kUnsigned8:
      if (job.pair) return EncodeStereo<std::uint8_t>(job, kStart8);
      return stereo ? EncodeMixed<std::uint8_t>(job, kStart8) : EncodeMono(job, kStart8);
    case SampleEncoding::kSigned16:
      if (job.pair) return EncodeStereo<std::uint16_t>(job, kStart16);
      return stereo ? EncodeMixed<std::uint16_t>(job, kStart16) : EncodeMono(job, kStart16);
    case SampleEncoding::kSigned24:
      return EncodeWide<SampleEncoding::kSigned24>(job);
    case SampleEncoding::kSigned32:
      return EncodeWide<SampleEncoding::kSigned32>(job);
    case SampleEncoding::kFloat32:
      return EncodeWide<SampleEncoding::kFloat32>(job);
    case SampleEncoding::kFloat64:
      return EncodeWide<SampleEncoding::kFloat64>(job);
    case SampleEncoding::kMuLaw:
      return EncodeWide<SampleEncoding::kMuLaw>(job);
    case SampleEncoding::kALaw:
      return EncodeWide<SampleEncoding::kALaw>(job);
  }
}

}  // namespace

void EncodeSample(SampleReader& reader, SampleArea area, File& output, EncoderBuffers& buffers) {
  Job job{reader, output, buffers, area, {}};
  Encode(job);
}

void EncodeStereoPair(SampleReader& reader, SampleArea left, SampleArea right, File& output,
                      EncoderBuffers& buffers) {
  Job job{reader, output, buffers, left, right, true};
  Encode(job);
}

void EncodeRun(std::span<SampleReader* const> readers, SampleArea area, File& output,
               EncoderBuffers& buffers) {
  Channel<std::uint16_t> run{
      AlignedWriter(output, buffers.left.get(), area.start, area.length, false), kStart16};
  for (SampleReader* reader : readers) {
    Job job{*reader, output, buffers, area, {}};
    run.previous = kStart16;
    ReadBlocks(job, [&](const Byte* in, std::size_t frames) {
      run.previous = EncodeBlock<std::uint16_t, 2>(in, frames, run.writer.Tail(), run.previous);
      run.writer.Commit(2 * frames);
    });
  }
  run.writer.Flush();
}

}  // namespace brumlet
