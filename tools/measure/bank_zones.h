// What the measuring tools read from a bank through Sf2Reader: which zones sound on a key at the
// velocity the program converts, which presets are drum kits, and the XI pitch a zone calls for.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "sf2_reader.h"

namespace brumlet::measure {

/// The velocity the program converts at and the tools play.
inline constexpr int kVelocity = 100;
/// Keys a tracker plays: MIDI notes 0..95.
inline constexpr int kKeyCount = 96;
/// The bank of percussion presets.
inline constexpr int kPercussionBank = 128;

/// The zones of `preset` that sound on `key` at kVelocity, in the bank's order.
std::vector<const Sf2Zone*> ZonesOnKey(const Sf2Preset& preset, int key);

/// Keys 0..95 on which some zone of `preset` sounds at kVelocity, ascending.
std::vector<int> MappedKeys(const Sf2Preset& preset);

/// Whether `preset` is laid out as a drum kit: every preset of bank 128, and any preset of at
/// least 8 zones sounding at kVelocity (the two sides of a stereo pair over the same keys counted
/// once) of which at least three quarters cover a single key each.
bool IsKit(const Sf2Reader& bank, const Sf2Preset& preset);

/// The presets by bank and program, of each bank and program the first in the bank's order only:
/// the one the program converts and the one a synthesizer selects.
std::vector<std::size_t> DistinctPresets(const Sf2Reader& bank);

/// "128:000 Standard": bank, program and the preset's name, its unprintable bytes as '?'.
std::string PresetLabel(const Sf2Preset& preset);

/// The zone's tuning offset in cents: coarseTune x 100 + fineTune.
int TuningOffsetCents(const Sf2Zone& zone);

/// The XI pitch (relative note x 128 + finetune) that plays `zone` on `key` as the bank does:
/// the sample's rate, its root key, the tuning and pitch correction, and for a zone of one key
/// its scaleTuning.
double XiPitchOf(const Sf2Reader& bank, const Sf2Zone& zone, int key);

/// The zone of `zones` whose sample is named `name` and whose XiPitchOf on `key` lies nearest
/// `xi_pitch`; null when no zone's sample has that name.
const Sf2Zone* ZoneOfSample(const Sf2Reader& bank, const std::vector<const Sf2Zone*>& zones,
                            const std::string& name, int key, double xi_pitch);

}  // namespace brumlet::measure
