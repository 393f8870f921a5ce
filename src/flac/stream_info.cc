#include "flac/stream_info.h"

#include <algorithm>
#include <cstring>

#include "flac/big_endian.h"

namespace brumlet::flac {
namespace {

// ID3v2: "ID3", version (2 bytes), flags, then the size of what follows the 10 bytes, in four
// bytes of 7 bits each; a footer of 10 more bytes when flag 0x10 is set.
constexpr std::size_t kId3HeaderBytes = 10;
constexpr std::size_t kId3FlagsAt = 5, kId3SizeAt = 6;
constexpr Byte kId3Footer = 0x10;

constexpr std::size_t kBlockHeaderBytes = 4;
constexpr int kStreamInfoType = 0, kForbiddenType = 127;

// STREAMINFO, 34 bytes:
//    0 min block size (16 bits)    2 max block size (16 bits)
//    4 min frame size (24 bits)    7 max frame size (24 bits)
//   10 sample rate (20 bits), channels - 1 (3 bits), bits per sample - 1 (5 bits) and the total
//      samples (36 bits), together 64 bits
//   18 MD5 (16 bytes)
constexpr std::size_t kStreamInfoBytes = 34;
constexpr std::size_t kMinBlockAt = 0, kMaxBlockAt = 2, kMinFrameAt = 4, kMaxFrameAt = 7;
constexpr std::size_t kPackedAt = 10, kMd5At = 18;
static_assert(kMd5At + 16 == kStreamInfoBytes);

constexpr std::uint32_t kMinBlockSize = 16;

Fault ParseStreamInfo(const Byte* p, StreamInfo& info) {
  info.min_block_size = LoadBe16(p + kMinBlockAt);
  info.max_block_size = LoadBe16(p + kMaxBlockAt);
  info.min_frame_size = LoadBe24(p + kMinFrameAt);
  info.max_frame_size = LoadBe24(p + kMaxFrameAt);
  const std::uint64_t packed = LoadBe64(p + kPackedAt);
  info.sample_rate = static_cast<std::uint32_t>(packed >> 44);
  info.channels = static_cast<int>(packed >> 41 & 7) + 1;
  info.bits_per_sample = static_cast<int>(packed >> 36 & 31) + 1;
  info.total_samples = packed & 0xFFFFFFFFF;
  std::copy_n(p + kMd5At, info.md5.size(), info.md5.begin());
  if (info.min_block_size < kMinBlockSize || info.min_block_size > info.max_block_size) {
    return Fault::kBlockSizes;
  }
  if (info.sample_rate == 0) return Fault::kSampleRate;
  if (info.bits_per_sample < 4) return Fault::kBitDepth;
  return Fault::kNone;
}

// Skips an ID3v2 tag at the start; false where the bytes start one but are none.
bool SkipId3Tag(BitReader& reader) {
  const std::span<const Byte> head = reader.PeekBytes(kId3HeaderBytes);
  if (head.size() < kId3HeaderBytes || std::memcmp(head.data(), "ID3", 3) != 0) return true;
  std::uint64_t size = 0;
  for (std::size_t i = kId3SizeAt; i < kId3HeaderBytes; ++i) {
    if (head[i] >= 0x80) return false;
    size = size << 7 | head[i];
  }
  if ((head[kId3FlagsAt] & kId3Footer) != 0) size += kId3HeaderBytes;
  reader.SkipBytes(kId3HeaderBytes + size);
  return true;
}

}  // namespace

Fault ReadStreamHead(BitReader& reader, StreamInfo& info) {
  if (!SkipId3Tag(reader)) return Fault::kNoSignature;
  const std::span<const Byte> signature = reader.PeekBytes(4);
  if (signature.size() < 4 || std::memcmp(signature.data(), "fLaC", 4) != 0) {
    return reader.overrun() ? Fault::kTruncatedHead : Fault::kNoSignature;
  }
  reader.SkipBytes(4);
  for (bool first = true, last = false; !last; first = false) {
    const std::span<const Byte> header = reader.PeekBytes(kBlockHeaderBytes);
    if (header.size() < kBlockHeaderBytes) return Fault::kTruncatedHead;
    last = (header[0] & 0x80) != 0;
    const int type = header[0] & 0x7F;
    const std::uint32_t length = LoadBe24(&header[1]);
    reader.SkipBytes(kBlockHeaderBytes);
    if (first != (type == kStreamInfoType)) {
      return first ? Fault::kNoStreamInfo : Fault::kSecondStreamInfo;
    }
    if (type == kForbiddenType) return Fault::kForbiddenBlockType;
    if (first) {
      if (length != kStreamInfoBytes) return Fault::kStreamInfoSize;
      const std::span<const Byte> block = reader.PeekBytes(kStreamInfoBytes);
      if (block.size() < kStreamInfoBytes) return Fault::kTruncatedHead;
      if (const Fault fault = ParseStreamInfo(block.data(), info); fault != Fault::kNone) {
        return fault;
      }
    }
    reader.SkipBytes(length);
    if (reader.overrun()) return Fault::kTruncatedHead;
  }
  return Fault::kNone;
}

}  // namespace brumlet::flac
