// The values of SFZ opcodes as text: numbers and keys. Every value comes from a file, so each
// parser takes the whole value or nothing: trailing text, an empty value or a number too large
// for its field gives nothing, and the reader skips the file with the opcode and its value.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace brumlet::sfz {

/// A decimal number: an optional sign, digits with an optional fraction (".5" and "5." too),
/// an optional exponent ("1e-3"). Nothing for anything else, infinities included.
std::optional<double> ParseNumber(std::string_view text);

/// A whole number: ParseNumber's forms, the fraction dropped toward zero as players read a
/// fraction where they want a whole number; nothing outside the range of `int`.
std::optional<int> ParseInteger(std::string_view text);

/// A frame position: as ParseInteger, over about +-4.6e18.
std::optional<std::int64_t> ParseFrame(std::string_view text);

/// A key: a MIDI note number, or a note name with middle C (key 60) written c4: a letter a to g
/// in either case, an optional "#" (a semitone up) or "b" (down), and an octave from -1 to 9,
/// so that c-1 is key 0 and g9 key 127. "c#4" and "db4" are both 61.
std::optional<int> ParseKey(std::string_view text);

}  // namespace brumlet::sfz
