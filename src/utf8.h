// UTF-8 as names from files use it: whether a text is valid UTF-8, and how long the sequence at a
// place is. Names come from banks, WAVs, name files and file names, in UTF-8 or in a legacy
// 8-bit code page; both must survive being cut and shown.
#pragma once

#include <cstddef>
#include <string_view>

namespace brumlet {

/// The length of the valid UTF-8 sequence that starts at `text[at]` (1 to 4 bytes; 1 for an ASCII
/// byte), or 0 when none starts there: a stray continuation byte, a sequence cut short, an
/// overlong form, a surrogate or a code point above U+10FFFF.
std::size_t Utf8SequenceLength(std::string_view text, std::size_t at);

/// True when all of `text` is valid UTF-8 (an ASCII text is).
bool IsValidUtf8(std::string_view text);

/// `text` cut to at most `size` bytes. A valid UTF-8 text is cut after the last whole character
/// that fits, never inside one; any other text (Latin-1, a bank's bytes) at `size` bytes.
std::string_view CutToBytes(std::string_view text, std::size_t size);

}  // namespace brumlet
