// What the converter takes from a RIFF WAVE file.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "bytes.h"

namespace brumlet {

/// The loop type of a smpl chunk's first loop, kept whole as the chunk stores it: values other
/// than these three (2 is a backward loop) reach the consumers unchanged.
enum class LoopKind : std::uint32_t {
  Forward = 0,
  PingPong = 1,
  NoLoop = 255,
};

/// The facts the conversion needs, refilled for every source.
struct WavInfo {
  bool Stereo = false;          ///< channel count is 2
  bool SixteenBit = false;      ///< bits per sample is exactly 16; anything else counts as 8-bit
  std::int32_t SampleRate = 0;  ///< as stored, not tested
  std::uint16_t BitsPerSample = 0;
  std::int32_t DataOffset = 0;  ///< file position of the data chunk's contents; 0 = none seen
  std::int32_t DataLength = 0;  ///< declared size of the data chunk in bytes
  LoopKind LoopType = LoopKind::NoLoop;
  std::int32_t LoopStart = 0;  ///< sample frames
  std::int32_t LoopEnd = 0;    ///< sample frames, inclusive
  std::string Title;           ///< text of the last INAM entry; empty when there is none
};

/// A chunk header: four-byte id, then the size of the data that follows (not counting these 8).
struct ChunkHeader {
  static constexpr int kSize = 8;
  static constexpr int kIdOffset = 0;
  static constexpr int kSizeOffset = 4;
  std::array<Byte, 4> id{};
  std::uint32_t size = 0;
};

/// The start of a smpl chunk's data: the 36-byte sampler header and the first 24-byte loop
/// record. It lives for the whole run: a smpl chunk shorter than 60 bytes is copied over it and
/// the bytes it does not reach keep what an earlier chunk left. Only the three loop fields are
/// preset for every source; they are what WavInfo reports as the loop.
struct SmplImage {
  static constexpr int kSize = 60;
  static constexpr int kLoopCountOffset = 28;
  static constexpr int kLoopTypeOffset = 40;
  static constexpr int kLoopStartOffset = 44;
  static constexpr int kLoopEndOffset = 48;
  std::array<Byte, kSize> bytes{};
};

}  // namespace brumlet
