// What the converter takes from a RIFF WAVE file.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
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

/// Sample formats that are converted to 16-bit samples on the way, rather than passed through
/// the 8-bit path byte by byte like every other width that is not exactly 16 bits.
enum class WideFormat {
  None,     ///< 8-bit, 16-bit and anything unrecognised: stored as the scan classifies it
  Pcm24,    ///< integer PCM in 3-byte containers: the top 16 bits are kept
  Pcm32,    ///< integer PCM in 4-byte containers: the top 16 bits are kept
  Float32,  ///< IEEE float, scaled by 32768, rounded and clamped
  Float64,
};

/// Bytes of one sample of `format` in the source; 0 for WideFormat::None.
constexpr int ContainerBytes(WideFormat format) {
  switch (format) {
    case WideFormat::Pcm24:
      return 3;
    case WideFormat::Pcm32:
    case WideFormat::Float32:
      return 4;
    case WideFormat::Float64:
      return 8;
    case WideFormat::None:
      break;
  }
  return 0;
}

/// The facts the conversion needs, refilled for every source.
struct WavInfo {
  bool Stereo = false;          ///< channel count is 2
  bool SixteenBit = false;      ///< bits per sample is exactly 16; anything else counts as 8-bit
  std::int32_t SampleRate = 0;  ///< as stored, not tested
  std::uint16_t BitsPerSample = 0;
  WideFormat Wide = WideFormat::None;  ///< set for sources converted to 16-bit samples
  std::int32_t DataOffset = 0;  ///< file position of the data chunk's contents; 0 = none seen
  std::int32_t DataLength = 0;  ///< declared size of the data chunk in bytes
  LoopKind LoopType = LoopKind::NoLoop;
  std::int32_t LoopStart = 0;  ///< sample frames
  std::int32_t LoopEnd = 0;    ///< sample frames, inclusive
  std::string Title;           ///< text of the last INAM entry; empty when there is none
  /// The MIDI unity note of the smpl chunk: the key on which the sample plays at its own rate.
  /// Nothing when the file has no smpl chunk long enough to hold it.
  std::optional<std::uint32_t> UnityNote;
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
  static constexpr int kUnityNoteOffset = 12;
  static constexpr int kLoopCountOffset = 28;
  static constexpr int kLoopTypeOffset = 40;
  static constexpr int kLoopStartOffset = 44;
  static constexpr int kLoopEndOffset = 48;
  std::array<Byte, kSize> bytes{};
};

}  // namespace brumlet
