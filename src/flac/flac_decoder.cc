#include "flac/flac_decoder.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "flac/subframe.h"

namespace brumlet::flac {
namespace {

// An ID3v1 tag, 128 bytes starting with "TAG", may follow the last frame.
constexpr std::size_t kId3v1Bytes = 128;
// MD5 is fed the samples in pieces of at most this many bytes.
constexpr std::size_t kMd5Piece = 12 * 1024;
// What ReadMono16 reserves before it knows better; beyond it the vector grows with the samples.
constexpr std::uint64_t kMonoReserve = 1 << 20;

bool IsSide(ChannelLayout layout, int channel) {
  return (layout == ChannelLayout::kSideRight && channel == 0) ||
         ((layout == ChannelLayout::kLeftSide || layout == ChannelLayout::kMidSide) &&
          channel == 1);
}

// Restores left and right from a stereo frame's two subframes, in place: `left` holds the first
// subframe (left, or the mid channel), `right` the second (right), `side` the side channel,
// which is one of the two or, for 32-bit audio, a 64-bit buffer of its own. False when a
// result does not fit `bits` bits; the side channel's extra bit can carry it out of range.
template <typename S>
bool Decorrelate(ChannelLayout layout, std::int32_t* left, std::int32_t* right, const S* side,
                 std::size_t n, int bits) {
  const std::int64_t high = (std::int64_t{1} << (bits - 1)) - 1, low = -high - 1;
  bool out_of_range = false;
  const auto store = [&](std::int32_t* to, std::int64_t value) {
    out_of_range |= value < low || value > high;
    *to = static_cast<std::int32_t>(value);
  };
  switch (layout) {
    case ChannelLayout::kLeftSide:
      for (std::size_t i = 0; i < n; ++i) store(right + i, std::int64_t{left[i]} - side[i]);
      break;
    case ChannelLayout::kSideRight:
      for (std::size_t i = 0; i < n; ++i) store(left + i, std::int64_t{side[i]} + right[i]);
      break;
    case ChannelLayout::kMidSide:
      // The mid channel lost its lowest bit to the halving; the side channel has the same one.
      for (std::size_t i = 0; i < n; ++i) {
        const std::int64_t s = side[i], mid = std::int64_t{left[i]} * 2 + (s & 1);
        store(left + i, (mid + s) >> 1);
        store(right + i, (mid - s) >> 1);
      }
      break;
    case ChannelLayout::kIndependent:
      break;
  }
  return !out_of_range;
}

// Writes frames [first, first + count) of the channels as MD5 takes them: interleaved,
// little-endian, `kBytes` bytes a sample (sign-extended from the stream's depth).
template <int kBytes>
std::size_t Serialize(const std::int32_t* samples, std::size_t stride, int channels,
                      std::size_t first, std::size_t count, Byte* out) {
  Byte* p = out;
  for (std::size_t i = first; i < first + count; ++i) {
    for (int c = 0; c < channels; ++c) {
      const auto v = static_cast<std::uint32_t>(samples[static_cast<std::size_t>(c) * stride + i]);
      for (int b = 0; b < kBytes; ++b) *p++ = static_cast<Byte>(v >> (8 * b));
    }
  }
  return static_cast<std::size_t>(p - out);
}

}  // namespace

Decoder::Decoder(File& file, Site site) : reader_(file, site) {}

Status Decoder::Open() {
  if (opened_) return status_;
  opened_ = true;
  if (const Fault fault = ReadStreamHead(reader_, info_); fault != Fault::kNone) {
    status_ = {fault, 0};
    ended_ = true;
    return status_;
  }
  stride_ = info_.max_block_size;
  samples_.assign(stride_ * static_cast<std::size_t>(info_.channels), 0);
  if (info_.bits_per_sample == 32 && info_.channels == 2) side_.assign(stride_, 0);
  check_md5_ = std::any_of(info_.md5.begin(), info_.md5.end(), [](Byte b) { return b != 0; });
  return status_;
}

std::size_t Decoder::max_block_samples() const {
  return stride_ * static_cast<std::size_t>(info_.channels);
}

std::size_t Decoder::DecodeFrame(std::span<std::int32_t> out) {
  if (out.size() < max_block_samples()) throw std::length_error("flac::Decoder: buffer too small");
  const std::size_t frames = DecodeBlock();
  const auto channels = static_cast<std::size_t>(info_.channels);
  for (std::size_t c = 0; c < channels; ++c) {
    const std::int32_t* from = Channel(static_cast<int>(c));
    for (std::size_t i = 0; i < frames; ++i) out[i * channels + c] = from[i];
  }
  return frames;
}

std::size_t Decoder::DecodeFrame(std::span<std::int16_t> out) {
  if (out.size() < max_block_samples()) throw std::length_error("flac::Decoder: buffer too small");
  const std::size_t frames = DecodeBlock();
  const auto channels = static_cast<std::size_t>(info_.channels);
  const int shift = info_.bits_per_sample - 16;
  for (std::size_t c = 0; c < channels; ++c) {
    const std::int32_t* from = Channel(static_cast<int>(c));
    std::int16_t* to = out.data() + c;
    if (shift >= 0) {
      for (std::size_t i = 0; i < frames; ++i) {
        to[i * channels] = static_cast<std::int16_t>(from[i] >> shift);
      }
    } else {
      const std::int32_t scale = 1 << -shift;
      for (std::size_t i = 0; i < frames; ++i) {
        to[i * channels] = static_cast<std::int16_t>(from[i] * scale);
      }
    }
  }
  return frames;
}

std::size_t Decoder::DecodeBlock() {
  if (!opened_ || ended_) return 0;
  block_size_ = 0;
  Fault fault = ReadFrame();
  if (fault == Fault::kNone && block_size_ > 0) return block_size_;
  // A cut file reads as zeros, which can break any rule before the frame ends: say what it is.
  if (IsFrameFault(fault) && fault != Fault::kNoSync && reader_.overrun()) {
    fault = Fault::kTruncatedFrame;
  }
  status_ = {fault, frame_number_};
  ended_ = true;
  return 0;
}

Fault Decoder::ReadFrame() {
  reader_.StartCrc16();
  const std::span<const Byte> bytes = reader_.PeekBytes(kMaxFrameHeaderBytes);
  if (bytes.empty()) return EndOfStream();
  if (bytes.size() >= 3 && std::memcmp(bytes.data(), "TAG", 3) == 0) {
    reader_.SkipBytes(kId3v1Bytes);
    return !reader_.overrun() && reader_.PeekBytes(1).empty() ? EndOfStream() : Fault::kNoSync;
  }
  FrameHeader header;
  if (const Fault fault = ParseFrameHeader(bytes, header); fault != Fault::kNone) return fault;
  reader_.SkipBytes(header.size);
  if (const Fault fault = CheckHeader(header); fault != Fault::kNone) return fault;
  if (const Fault fault = DecodeChannels(header); fault != Fault::kNone) return fault;
  if (!reader_.AlignToByte()) return Fault::kPadding;
  const std::uint16_t crc = reader_.Crc16();
  if (reader_.ReadBits(16) != crc) return Fault::kFrameCrc;
  if (reader_.overrun()) return Fault::kTruncatedFrame;

  const std::size_t n = header.block_size;
  if (header.layout != ChannelLayout::kIndependent) {
    std::int32_t* left = Channel(0);
    std::int32_t* right = Channel(1);
    const bool in_range =
        side_.empty()
            ? Decorrelate(header.layout, left, right, IsSide(header.layout, 0) ? left : right, n,
                          info_.bits_per_sample)
            : Decorrelate(header.layout, left, right, side_.data(), n, info_.bits_per_sample);
    if (!in_range) return Fault::kSampleRange;
  }
  block_size_ = n;
  if (check_md5_) UpdateMd5();
  ++frame_number_;
  frames_decoded_ += n;
  return Fault::kNone;
}

Fault Decoder::CheckHeader(const FrameHeader& header) {
  if (variable_block_size_ < 0) variable_block_size_ = header.variable_block_size ? 1 : 0;
  if (header.variable_block_size != (variable_block_size_ == 1) ||
      header.channels != info_.channels ||
      (header.sample_rate != 0 && header.sample_rate != info_.sample_rate) ||
      (header.bits_per_sample != 0 && header.bits_per_sample != info_.bits_per_sample)) {
    return Fault::kStreamChange;
  }
  if (header.number != (header.variable_block_size ? frames_decoded_ : frame_number_)) {
    return Fault::kFrameNumber;
  }
  // Only the last block may be shorter than the minimum.
  if (short_block_seen_ || header.block_size > info_.max_block_size) return Fault::kBlockSize;
  short_block_seen_ = header.block_size < info_.min_block_size;
  return Fault::kNone;
}

Fault Decoder::DecodeChannels(const FrameHeader& header) {
  const std::size_t n = header.block_size;
  for (int c = 0; c < info_.channels; ++c) {
    const int bits = info_.bits_per_sample + (IsSide(header.layout, c) ? 1 : 0);
    const Fault fault = bits > 32 ? DecodeSubframe(reader_, bits, std::span(side_.data(), n))
                                  : DecodeSubframe(reader_, bits, std::span(Channel(c), n));
    if (fault != Fault::kNone) return fault;
    if (reader_.overrun()) return Fault::kTruncatedFrame;
  }
  return Fault::kNone;
}

void Decoder::UpdateMd5() {
  Byte piece[kMd5Piece];
  const int bytes = (info_.bits_per_sample + 7) / 8;
  const std::size_t per_piece = kMd5Piece / static_cast<std::size_t>(bytes * info_.channels);
  for (std::size_t first = 0; first < block_size_; first += per_piece) {
    const std::size_t count = std::min(per_piece, block_size_ - first);
    const auto serialize = bytes == 1   ? Serialize<1>
                           : bytes == 2 ? Serialize<2>
                           : bytes == 3 ? Serialize<3>
                                        : Serialize<4>;
    md5_.Update(piece, serialize(samples_.data(), stride_, info_.channels, first, count, piece));
  }
}

Fault Decoder::EndOfStream() {
  if (info_.total_samples != 0 && frames_decoded_ != info_.total_samples) {
    return Fault::kSampleCount;
  }
  if (check_md5_ && md5_.Finish() != info_.md5) return Fault::kMd5;
  return Fault::kNone;
}

Mono16 ReadMono16(File& file, std::uint64_t max_frames, Site site) {
  Mono16 result;
  Decoder decoder(file, site);
  result.status = decoder.Open();
  result.info = decoder.info();
  if (!result.status.ok()) return result;
  if (result.info.channels > 2) {
    result.status = {Fault::kChannels, 0};
    return result;
  }
  const bool stereo = result.info.channels == 2;
  std::vector<std::int16_t> block(decoder.max_block_samples());
  const std::uint64_t expected = result.info.total_samples;
  result.frames.reserve(static_cast<std::size_t>(std::min({expected, max_frames, kMonoReserve})));
  while (const std::size_t frames = decoder.DecodeFrame(block)) {
    if (frames > max_frames - result.frames.size()) {
      result.status = {Fault::kTooLong, 0};
      return result;
    }
    if (!stereo) {
      result.frames.insert(result.frames.end(), block.begin(), block.begin() + frames);
      continue;
    }
    for (std::size_t i = 0; i < frames; ++i) {
      result.frames.push_back(static_cast<std::int16_t>((block[2 * i] + block[2 * i + 1]) >> 1));
    }
  }
  result.status = decoder.status();
  return result;
}

}  // namespace brumlet::flac
