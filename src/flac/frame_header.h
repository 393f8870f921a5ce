// The header every FLAC frame starts with. Byte by byte:
//
//   0, 1  the sync code 0b111111111111100 (15 bits), then the blocking strategy bit: 1 where
//         block sizes vary and the coded number counts samples, 0 where it counts frames
//   2     block size code (high 4 bits), sample rate code (low 4 bits)
//   3     channel code (high 4 bits), bit depth code (3 bits), a reserved 0 bit
//   4     the coded number, 1 to 7 bytes coded like UTF-8 (up to 36 bits)
//         then the block size minus 1 where its code says so (1 or 2 bytes), the sample rate
//         where its code says so (1 or 2 bytes), and the CRC-8 of all the bytes before it
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "bytes.h"
#include "flac/status.h"

namespace brumlet::flac {

/// The longest header: 4 bytes, a 7-byte number, 2 of block size, 2 of sample rate, the CRC.
inline constexpr std::size_t kMaxFrameHeaderBytes = 16;

/// How a stereo frame codes its two channels: as they are, or one of them replaced by the side
/// channel, left minus right, which needs one bit more; mid-side codes (left + right) >> 1 and
/// the side.
enum class ChannelLayout : std::uint8_t { kIndependent, kLeftSide, kSideRight, kMidSide };

struct FrameHeader {
  bool variable_block_size = false;
  std::uint32_t block_size = 0;
  std::uint32_t sample_rate = 0;  ///< 0: the rate STREAMINFO gives
  int channels = 0;
  ChannelLayout layout = ChannelLayout::kIndependent;
  int bits_per_sample = 0;   ///< 0: the depth STREAMINFO gives
  std::uint64_t number = 0;  ///< the frame's number, or where block sizes vary its first sample's
  std::size_t size = 0;      ///< bytes, the CRC-8 included
};

/// Reads the header at the start of `bytes`, which holds kMaxFrameHeaderBytes or, at the end of
/// the file, fewer. kNoSync where no frame starts; kTruncatedFrame where the header is cut.
Fault ParseFrameHeader(std::span<const Byte> bytes, FrameHeader& header);

}  // namespace brumlet::flac
