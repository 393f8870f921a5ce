#include "wav/wav_data.h"

#include <algorithm>

#include "wav/adpcm.h"
#include "xi/pitch.h"

namespace brumlet {
namespace {

// ADPCM is read in whole blocks, as many as fit 128 KiB (a block is at most 64 KiB).
constexpr std::size_t kAdpcmReadSize = 131072;

// The bytes of XI sample data the source becomes, computed without overflow: the data chunk's
// declared length; for converted sources two bytes a sample of every whole frame it declares
// (for ADPCM, of every frame it decodes to); mixed, one stored sample for every whole frame. The
// scan refuses compressed sources for which this would not fit a signed 32-bit length.
std::int64_t StoredDataLength(const WavInfo& info, StereoHandling stereo) {
  const std::int64_t channels = info.Stereo ? 2 : 1;
  const bool mix = info.Stereo && stereo == StereoHandling::kMix;
  if (info.Adpcm.kind != AdpcmKind::None) return AdpcmFrames(info) * 2 * (mix ? 1 : channels);
  const auto source_bytes = static_cast<std::int64_t>(EncodedBytes(info.Encoding));
  const std::int64_t stored = info.Encoding == SampleEncoding::kUnsigned8 ? 1 : 2;
  if (mix) return info.DataLength / (2 * source_bytes) * stored;
  if (source_bytes == stored) return info.DataLength;
  return info.DataLength / (source_bytes * channels) * 2 * channels;
}

SampleLoop LoopOf(LoopKind kind) {
  if (kind == LoopKind::NoLoop) return SampleLoop::kNone;
  // Every loop kind without a word of its own loops forward.
  return kind == LoopKind::PingPong ? SampleLoop::kPingPong : SampleLoop::kForward;
}

// A sample of `length` bytes of data, of which `stored` count in its header.
void SetLength(InstrumentSample& sample, std::uint32_t stored, std::uint32_t length) {
  const std::uint32_t width = sample.sixteen_bit ? 2 : 1;
  sample.frames = stored / width;
  sample.odd_byte = stored % width != 0;
  sample.spare_byte = length != stored;
}

}  // namespace

WavData::WavData(File& source, const WavInfo& info, AdpcmBuffers& buffers)
    : source_(source),
      info_(info),
      buffers_(buffers),
      format_{info.Encoding, info.Stereo ? 2 : 1} {}

std::size_t WavData::Read(std::span<Byte> buffer) {
  if (!started_) {
    source_.Seek(info_.DataOffset, Site::kSourceSeek);
    started_ = true;
  }
  if (info_.Adpcm.kind != AdpcmKind::None) return ReadAdpcm(buffer);
  return source_.Read(buffer.data(), buffer.size(), Site::kSampleRead);
}

// Blocks are never split between two reads; each is decoded whole, and its frames handed over
// as they fit.
std::size_t WavData::ReadAdpcm(std::span<Byte> buffer) {
  const std::size_t align = info_.Adpcm.block_align;
  const int channels = format_.channels;
  const std::size_t frame = format_.FrameBytes();
  if (align == 0) return 0;
  if (buffers_.frames.size() < kMaxBlockSamples) buffers_.frames.resize(kMaxBlockSamples);
  const std::size_t read_size = kAdpcmReadSize / align * align;
  if (buffers_.blocks.size() < read_size) buffers_.blocks.resize(read_size);
  std::size_t given = 0;
  while (given + frame <= buffer.size()) {
    if (frames_next_ == frames_made_) {
      if (blocks_next_ == blocks_filled_) {
        blocks_filled_ = source_.Read(buffers_.blocks.data(), read_size, Site::kSampleRead);
        blocks_next_ = 0;
        if (blocks_filled_ == 0) break;
      }
      const std::span<const Byte> block(buffers_.blocks.data() + blocks_next_,
                                        std::min(align, blocks_filled_ - blocks_next_));
      const std::span<std::int16_t> out(buffers_.frames);
      frames_made_ = info_.Adpcm.kind == AdpcmKind::Ima
                         ? DecodeImaAdpcmBlock(block, channels, out)
                         : DecodeMsAdpcmBlock(block, channels, info_.Adpcm.coefficients, out);
      frames_next_ = 0;
      blocks_next_ += block.size();
      continue;
    }
    const std::size_t n = std::min(frames_made_ - frames_next_, (buffer.size() - given) / frame);
    const std::int16_t* values = buffers_.frames.data() + frames_next_ * channels;
    for (std::size_t i = 0; i < n * channels; ++i) {
      StoreU16(&buffer[given + 2 * i], static_cast<std::uint16_t>(values[i]));
    }
    frames_next_ += n;
    given += n * frame;
  }
  return given;
}

std::vector<InstrumentSample> WavSamples(const WavInfo& info, StereoHandling stereo,
                                         SampleReader& data) {
  const Pitch pitch = ComputePitch(info.SampleRate);
  InstrumentSample sample;
  sample.relative_note = pitch.relative_note;
  sample.finetune = pitch.finetune;
  sample.sixteen_bit = data.format().encoding != SampleEncoding::kUnsigned8;
  sample.loop = LoopOf(info.LoopType);
  // Loop points come straight from the file and are not checked: the arithmetic wraps.
  sample.loop_start = static_cast<std::uint32_t>(info.LoopStart);
  sample.loop_length =
      static_cast<std::uint32_t>(info.LoopEnd) - static_cast<std::uint32_t>(info.LoopStart) + 1u;
  sample.source.data = &data;
  const auto length = static_cast<std::uint32_t>(StoredDataLength(info, stereo));
  if (!info.Stereo || stereo == StereoHandling::kMix) {
    SetLength(sample, length, length);
    return {sample};
  }
  InstrumentSample left = sample, right = sample;
  left.panning = 0;
  left.source.channels = Channels::kLeft;
  SetLength(left, length / 2, length / 2);
  right.panning = 255;
  right.relative_note =
      static_cast<std::int8_t>(static_cast<std::uint8_t>(pitch.relative_note) - 12u);
  right.source.channels = Channels::kRight;
  SetLength(right, length / 2, length - length / 2);
  return {left, right};
}

}  // namespace brumlet
