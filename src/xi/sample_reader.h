// Sample data as the writer reads it: blocks of frames in one of the encodings below, each made
// 16-bit (or kept 8-bit) and delta-encoded by the writer as it comes. A reader hands over raw
// bytes wherever the writer can take them as they are, so that the encoders run over the bytes
// the file holds; a reader of data that has no such form (ADPCM decoded, a render) hands over
// 16-bit frames.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "bytes.h"

namespace brumlet {

/// How a reader's samples are stored; a frame holds one sample of each channel, the left first.
enum class SampleEncoding : std::uint8_t {
  kUnsigned8,  ///< one byte, 128 silence; stored as 8-bit data (and so is any width read as it)
  kSigned16,   ///< little-endian, as every other encoding becomes
  kSigned24,   ///< little-endian integers: the top 16 bits are kept
  kSigned32,
  kFloat32,  ///< little-endian IEEE: scaled by 32768, rounded to nearest, clamped, NaN silent
  kFloat64,
  kMuLaw,  ///< G.711, one byte
  kALaw,
};

/// Bytes of one sample of `encoding`.
constexpr std::size_t EncodedBytes(SampleEncoding encoding) {
  constexpr std::size_t kBytes[] = {1, 2, 3, 4, 4, 8, 1, 1};  // in the order of the encodings
  return kBytes[static_cast<std::size_t>(encoding)];
}

struct SampleFormat {
  SampleEncoding encoding = SampleEncoding::kSigned16;
  int channels = 1;  ///< 1 or 2

  std::size_t FrameBytes() const { return EncodedBytes(encoding) * (channels == 2 ? 2 : 1); }
};

/// The one mix of a stereo frame into one value, wherever the program mixes: (L + R) >> 1, the
/// sum halved with an arithmetic shift (rounding down); signed for 16-bit values, on the unsigned
/// bytes for 8-bit data.
constexpr int MixStereo(int left, int right) { return (left + right) >> 1; }

/// Where the writer reads a sample's data from.
class SampleReader {
 public:
  virtual ~SampleReader() = default;
  virtual SampleFormat format() const = 0;
  /// Fills `buffer` (a whole number of frames long) with the next frames and returns the bytes
  /// given: fewer only where the data ends, where a last incomplete frame is dropped; 0 once it
  /// has ended. Throws RunFailure where a read fails.
  virtual std::size_t Read(std::span<Byte> buffer) = 0;
};

}  // namespace brumlet
