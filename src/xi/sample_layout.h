// How a WAV's data becomes XI sample data: which width it is stored in, whether a stereo source
// becomes one sample or two, and how many bytes that takes.
#pragma once

#include <cstdint>

#include "wav/wav_info.h"

namespace brumlet {

/// Whether the XI sample data is 16-bit: 16-bit sources and those converted to 16-bit.
inline bool StoredAsSixteenBit(const WavInfo& info) {
  return info.SixteenBit || info.Wide != WideFormat::None || info.Adpcm.kind != AdpcmKind::None;
}

/// What becomes of a stereo source: a left and a right sample (the left on most keys, the right
/// on the top two octaves), or one sample mixed from both channels, (L + R) >> 1, which sounds
/// from both speakers on every key.
enum class StereoHandling { kSplit, kMix };

/// True when the source becomes two XI samples, a left and a right one.
inline bool TwoSamples(const WavInfo& info, StereoHandling stereo) {
  return info.Stereo && stereo == StereoHandling::kSplit;
}

/// Bytes of one sample in the source as the encoders take it: 1 for every width that is not
/// 16 bits nor a wide format.
inline std::int32_t SourceSampleBytes(const WavInfo& info) {
  if (info.Wide != WideFormat::None) return ContainerBytes(info.Wide);
  return info.SixteenBit ? 2 : 1;
}

/// The byte length of the XI sample data, computed without overflow: the data chunk's declared
/// length, or for converted sources two bytes per sample of every whole frame it declares (for
/// ADPCM, of every frame it decodes to); for a stereo source mixed into one sample, one stored
/// sample for every whole frame. The scan refuses compressed sources for which this exceeds
/// what a signed 32-bit length holds.
inline std::int64_t StoredDataLength(const WavInfo& info,
                                     StereoHandling stereo = StereoHandling::kSplit) {
  const std::int64_t channels = info.Stereo ? 2 : 1;
  if (info.Adpcm.kind != AdpcmKind::None) {
    return AdpcmFrames(info) * 2 * (stereo == StereoHandling::kMix ? 1 : channels);
  }
  const std::int64_t stored = StoredAsSixteenBit(info) ? 2 : 1;
  if (info.Stereo && stereo == StereoHandling::kMix) {
    return info.DataLength / (2 * SourceSampleBytes(info)) * stored;
  }
  if (info.Wide == WideFormat::None) return info.DataLength;
  const std::int64_t frames = info.DataLength / (ContainerBytes(info.Wide) * channels);
  return frames * 2 * channels;
}

/// StoredDataLength as the XI header stores it, a signed 32-bit length.
inline std::int32_t SampleDataLength(const WavInfo& info,
                                     StereoHandling stereo = StereoHandling::kSplit) {
  return static_cast<std::int32_t>(StoredDataLength(info, stereo));
}

}  // namespace brumlet
