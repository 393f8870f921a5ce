// The instrument's keyboard: key names, the root key a file name gives, and which sample each
// key plays when an instrument is made of many sources.
//
// Keys are numbered as MIDI notes, 0 to 95 in an XI key map: key 60 is middle C, written C4 in
// music (scientific pitch notation) and C-5 in a tracker, where the octave runs one higher.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "xi/xi_header.h"

namespace brumlet {

/// The key on which a sample plays at its own rate unless told otherwise.
inline constexpr int kMiddleC = 60;

/// A key as a tracker names it: "C-5" for 60, "C#5" for 61, "B-7" for 95.
std::string TrackerNoteName(int key);

/// The key of the last note name in `file_name` without its extension, in scientific pitch
/// notation: a letter A to G in either case, an optional "#" or "b", and an octave digit 0 to 9,
/// with no letter or digit right before or after it. "Piano_C#4.wav" gives 61, "strings-Db3.wav"
/// 49, "Bass E1 loop.wav" 28, "Bb0.wav" 22; "Cello.wav" and "A440.wav" give nothing. The key may
/// lie above 95 (B9 is 131).
std::optional<int> RootKeyInName(std::string_view file_name);

/// For each of the 96 keys, the slot whose sample it plays.
using KeyMap = std::array<std::uint8_t, xi::kKeyCount>;

/// A drum kit of `count` samples (1 to 16): sample i on key 60 + i, every key below on sample 0,
/// every key above the last on the last sample.
KeyMap KitKeyMap(int count);

/// A multisampled instrument: each key plays the sample whose root key is nearest, the lower one
/// where two are as near. `roots` are distinct keys of 0 to 95, one per slot.
KeyMap MultiKeyMap(std::span<const int> roots);

}  // namespace brumlet
