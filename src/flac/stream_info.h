// The head of a FLAC stream, up to its first frame: an ID3v2 tag that some taggers put first,
// the signature "fLaC", then metadata blocks. Each block starts with a 4-byte header, a flag
// for the last block (high bit), the type (7 bits) and the length (24 bits); the first block
// must be STREAMINFO, and the others (padding, seek table, Vorbis comment, pictures, ...) are
// skipped by their length.
#pragma once

#include <array>
#include <cstdint>

#include "flac/bit_reader.h"
#include "flac/status.h"

namespace brumlet::flac {

/// STREAMINFO: what holds for the whole stream.
struct StreamInfo {
  std::uint32_t min_block_size = 0;  ///< of every frame but the last; 16 to max_block_size
  std::uint32_t max_block_size = 0;  ///< 16 to 65535
  std::uint32_t min_frame_size = 0;  ///< bytes; 0 when not known
  std::uint32_t max_frame_size = 0;
  std::uint32_t sample_rate = 0;    ///< Hz, not 0
  int channels = 0;                 ///< 1 to 8
  int bits_per_sample = 0;          ///< 4 to 32
  std::uint64_t total_samples = 0;  ///< per channel; 0 when not known
  std::array<Byte, 16> md5{};       ///< of the decoded samples; all zeros when not known
};

/// Reads the stream's head into `info`, leaving `reader` at the first frame.
Fault ReadStreamHead(BitReader& reader, StreamInfo& info);

}  // namespace brumlet::flac
