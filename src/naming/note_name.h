// Note names in file names: how a multisample's recordings say which key they were played on.
//
// Keys are numbered as MIDI notes: key 60 is middle C, written C4 in music (scientific pitch
// notation).
#pragma once

#include <optional>
#include <string_view>

namespace brumlet {

/// The key of the last note name in `file_name` without its extension, in scientific pitch
/// notation: a letter A to G in either case, an optional "#" or "b", and an octave digit 0 to 9,
/// with no letter or digit right before or after it. "Piano_C#4.wav" gives 61, "strings-Db3.wav"
/// 49, "Bass E1 loop.wav" 28, "Bb0.wav" 22; "Cello.wav" and "A440.wav" give nothing. The key may
/// lie above 95 (B9 is 131).
std::optional<int> RootKeyInName(std::string_view file_name);

}  // namespace brumlet
