// The header of an instrument made of many sources: a drum kit or a multisampled instrument.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "wav/wav_info.h"
#include "xi/keys.h"
#include "xi/xi_header.h"

namespace brumlet {

/// One sample of such an instrument, made from one source as a conversion of its own would make
/// it, except that a stereo source is mixed into one sample.
struct InstrumentSample {
  WavInfo info;
  int root_key = kMiddleC;  ///< the key on which it plays at its own rate
  std::string name;         ///< its title, or else its file name
};

/// Rebuilds `image` for `samples` (1 to 16, in slot order) played as `keys` says: each sample's
/// length, loop, type and finetune as its own conversion has them, its relative note moved by the
/// distance of its root key from key 60, and its name; the instrument named `name`. Throws
/// RunFailure for a rate that has no pitch.
void BuildInstrumentImage(std::span<const InstrumentSample> samples, const KeyMap& keys,
                          std::string_view name, XiHeaderBlock& image);

/// The byte length of a sample's data in such an instrument: what its own conversion stores
/// (stereo mixed), but whole samples only, so that every later sample's 16-bit data starts on a
/// whole sample of its own.
std::int32_t InstrumentSampleLength(const WavInfo& info);

/// Where each sample's data starts behind a header of `samples.size()` sample headers: they
/// follow one another in slot order.
std::vector<std::int64_t> SampleDataStarts(std::span<const InstrumentSample> samples);

}  // namespace brumlet
