// ADPCM sample data: 4-bit codes, each the difference to a predicted value in steps that adapt
// to the sound. The data comes in blocks of the fmt chunk's block align, and every block starts
// afresh from a header per channel, so a block decodes without the blocks before it. A partial
// last block holds the frames its bytes reach.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "bytes.h"

namespace brumlet {

/// IMA ADPCM (format tag 0x11) block header, per channel:
///   0 first sample (signed 16-bit)   2 step index (0..88)   3 reserved
inline constexpr int kImaHeaderBytes = 4;

/// Microsoft ADPCM (format tag 2) block header: seven bytes a channel, field by field with the
/// channels side by side (c = channel, n = channel count):
///   c predictor index (byte)   n + 2c delta   3n + 2c sample1   5n + 2c sample2
/// (each a signed 16-bit value). sample2 is the older of the two: it is played first, then
/// sample1, then the samples the codes give.
inline constexpr int kMsHeaderBytes = 7;

/// The most samples (frames times channels) one block of at most 65535 bytes decodes to.
inline constexpr std::size_t kMaxBlockSamples = 131072;

/// Microsoft ADPCM predictor coefficient pairs, from the fmt chunk: each block names the pair
/// its channel predicts with, as (first x sample1 + second x sample2) / 256.
struct MsAdpcmCoefficients {
  static constexpr int kMaxPairs = 256;  ///< a block's predictor index is one byte
  static constexpr int kStandardPairs = 7;
  int count = 0;
  std::array<std::int16_t, kMaxPairs> first{};
  std::array<std::int16_t, kMaxPairs> second{};
};

/// The seven pairs every Microsoft ADPCM file starts its table with.
MsAdpcmCoefficients StandardMsAdpcmCoefficients();

/// Frames that `size` bytes of a block (whole or the partial last one) hold; 0 when they
/// cannot hold the block header. `channels` is 1 or 2.
std::int64_t ImaAdpcmFrames(std::int64_t size, int channels);
std::int64_t MsAdpcmFrames(std::int64_t size, int channels);

/// Decodes one block into interleaved 16-bit frames; returns the frames written, which
/// *AdpcmFrames(block.size(), channels) gives, but never more than `out` holds.
std::size_t DecodeImaAdpcmBlock(std::span<const Byte> block, int channels,
                                std::span<std::int16_t> out);
std::size_t DecodeMsAdpcmBlock(std::span<const Byte> block, int channels,
                               const MsAdpcmCoefficients& coefficients,
                               std::span<std::int16_t> out);

}  // namespace brumlet
