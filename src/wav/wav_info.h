// What the converter takes from a RIFF WAVE file.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "bytes.h"
#include "wav/adpcm.h"
#include "xi/sample_reader.h"

namespace brumlet {

/// The loop type of a smpl chunk's first loop, kept whole as the chunk stores it: values other
/// than these three (2 is a backward loop) reach the consumers unchanged.
enum class LoopKind : std::uint32_t {
  Forward = 0,
  PingPong = 1,
  NoLoop = 255,
};

/// ADPCM sources, decoded to 16-bit samples block by block.
enum class AdpcmKind { None, Ima, Microsoft };

struct AdpcmBlocks {
  AdpcmKind kind = AdpcmKind::None;
  std::uint16_t block_align = 0;     ///< bytes of a block, all channels; never 0 once scanned
  MsAdpcmCoefficients coefficients;  ///< Microsoft ADPCM only
};

/// The facts the conversion needs, refilled for every source.
struct WavInfo {
  bool Stereo = false;          ///< channel count is 2
  bool SixteenBit = false;      ///< bits per sample is exactly 16; anything else counts as 8-bit
  std::int32_t SampleRate = 0;  ///< as stored, not tested
  std::uint16_t BitsPerSample = 0;
  /// How the data is read: as stored, made 16-bit (24- and 32-bit PCM, float, G.711), or for
  /// ADPCM, decoded to 16-bit frames first; every width not handled so goes byte by byte.
  SampleEncoding Encoding = SampleEncoding::kUnsigned8;
  AdpcmBlocks Adpcm;            ///< set for ADPCM sources
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

/// The frames an ADPCM source's data chunk decodes to: those of its whole blocks, and those the
/// bytes of a partial last block hold.
inline std::int64_t AdpcmFrames(const WavInfo& info) {
  const int channels = info.Stereo ? 2 : 1;
  const std::int64_t align = info.Adpcm.block_align;
  if (align == 0) return 0;
  const auto frames = info.Adpcm.kind == AdpcmKind::Ima ? ImaAdpcmFrames : MsAdpcmFrames;
  return info.DataLength / align * frames(align, channels) +
         frames(info.DataLength % align, channels);
}

/// Bytes of the 16-bit samples a compressed source decodes to (G.711, ADPCM); 0 for any other.
inline std::int64_t DecodedBytes(const WavInfo& info) {
  const std::int64_t channels = info.Stereo ? 2 : 1;
  if (info.Adpcm.kind != AdpcmKind::None) return AdpcmFrames(info) * 2 * channels;
  if (info.Encoding == SampleEncoding::kMuLaw || info.Encoding == SampleEncoding::kALaw) {
    return info.DataLength / channels * 2 * channels;
  }
  return 0;
}

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
