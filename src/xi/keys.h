// The instrument's keyboard: key names, and which sample each key plays when an instrument is
// made of many sources.
//
// Keys are numbered as MIDI notes, 0 to 95 in an XI key map: key 60 is middle C, written C4 in
// music (scientific pitch notation) and C-5 in a tracker, where the octave runs one higher.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "xi/xi_header.h"

namespace brumlet {

/// The key on which a sample plays at its own rate unless told otherwise.
inline constexpr int kMiddleC = 60;

/// A key as a tracker names it: "C-5" for 60, "C#5" for 61, "B-7" for 95.
std::string TrackerNoteName(int key);

/// For each of the 96 keys, the slot whose sample it plays.
using KeyMap = std::array<std::uint8_t, xi::kKeyCount>;

/// A drum kit of `count` samples (1 to 16): sample i on key 60 + i, every key below on sample 0,
/// every key above the last on the last sample.
KeyMap KitKeyMap(int count);

/// A multisampled instrument: each key plays the sample whose root key is nearest, the lower one
/// where two are as near. `roots` are distinct keys of 0 to 95, one per slot.
KeyMap MultiKeyMap(std::span<const int> roots);

}  // namespace brumlet
