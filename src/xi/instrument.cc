#include "xi/instrument.h"

#include <algorithm>

#include "xi/pitch.h"
#include "xi/sampleinit.h"

namespace brumlet {

void BuildInstrumentImage(std::span<const InstrumentSample> samples, const KeyMap& keys,
                          std::string_view name, XiHeaderBlock& image) {
  InitHeaderImage(image);
  std::copy(keys.begin(), keys.end(), image.bytes.begin() + xi::kKeyMapOffset);
  SetInstrumentName(image, name);
  int slot = 0;
  for (const InstrumentSample& sample : samples) {
    const WavInfo& info = sample.info;
    const Pitch pitch = ComputePitch(info.SampleRate);
    // A sample plays at its own rate on key 60; k keys lower it must sound k semitones higher.
    const auto note = static_cast<std::int8_t>(
        static_cast<std::uint8_t>(pitch.relative_note + (kMiddleC - sample.root_key)));
    const LoopBytes loop = SampleLoopBytes(info);
    XiSampleHeader header = SampleHeaderAt(image, slot++);
    InitSampleHeader(header, InstrumentSampleLength(info), loop.start, loop.length,
                     xi::kFullVolume, pitch.finetune, SampleType(info), xi::kCentrePanning, note);
    SetSampleName(header, sample.name);
  }
}

std::int32_t InstrumentSampleLength(const WavInfo& info) {
  const std::int32_t length = SampleDataLength(info, StereoHandling::kMix);
  return StoredAsSixteenBit(info) ? length / 2 * 2 : length;
}

std::vector<std::int64_t> SampleDataStarts(std::span<const InstrumentSample> samples) {
  std::int64_t at =
      xi::kInstrumentHeaderSize + static_cast<std::int64_t>(samples.size()) * xi::kSampleHeaderSize;
  std::vector<std::int64_t> starts;
  for (const InstrumentSample& sample : samples) {
    starts.push_back(at);
    at += InstrumentSampleLength(sample.info);
  }
  return starts;
}

}  // namespace brumlet
