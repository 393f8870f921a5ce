#include "xi/instrument.h"

#include <algorithm>

namespace brumlet {

std::uint32_t StoredLength(const InstrumentSample& sample) {
  // Wraps at 32 bits, as the stored field does.
  return sample.frames * (sample.sixteen_bit ? 2u : 1u) + (sample.odd_byte ? 1u : 0u);
}

std::uint64_t WrittenBytes(const Instrument& instrument) {
  std::uint64_t bytes = xi::kInstrumentHeaderSize;
  for (const InstrumentSample& sample : instrument.samples) {
    bytes += xi::kSampleHeaderSize + StoredLength(sample) + (sample.spare_byte ? 1 : 0);
  }
  return bytes;
}

std::string InstrumentFault(const Instrument& instrument) {
  const std::size_t count = instrument.samples.size();
  if (count == 0) return "it has no samples";
  if (count > static_cast<std::size_t>(xi::kSampleSlots)) {
    return std::to_string(count) + " samples; an instrument holds at most 16";
  }
  for (std::size_t key = 0; key < instrument.keys.size(); ++key) {
    if (instrument.keys[key] >= count) {
      return "key " + std::to_string(key) + " plays sample " +
             std::to_string(instrument.keys[key]) + ", past the last one";
    }
  }
  // A reader's channels are read once for both: a left sample, then the right one of its reader.
  for (std::size_t i = 0; i < count; ++i) {
    const SampleSource& source = instrument.samples[i].source;
    const SampleSource* next = i + 1 < count ? &instrument.samples[i + 1].source : nullptr;
    if (source.channels == Channels::kLeft && next && next->channels == Channels::kRight &&
        std::holds_alternative<SampleReader*>(source.data) && next->data == source.data) {
      ++i;
    } else if (source.channels != Channels::kMixed) {
      return "sample " + std::to_string(i) + " takes one channel without the other";
    }
  }
  return {};
}

}  // namespace brumlet
