#include "xi/instrument.h"

#include <algorithm>

namespace brumlet {

std::uint64_t WrittenBytes(const Instrument& instrument) {
  std::uint64_t bytes = xi::kInstrumentHeaderSize;
  for (const InstrumentSample& sample : instrument.samples) {
    bytes += xi::kSampleHeaderSize + std::uint64_t{sample.frames} * (sample.sixteen_bit ? 2 : 1);
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
  return {};
}

}  // namespace brumlet
