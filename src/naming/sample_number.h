// The sample-number field of a name-file line.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace brumlet {

/// Converts the whole field: leading blanks, then either an optional sign and decimal digits, or
/// a hexadecimal prefix ("$", "x", "X", "0x", "0X") and hexadecimal digits, up to the field's
/// end. Anything else, a trailing blank included, gives nothing.
std::optional<std::int32_t> ParseSampleNumber(std::string_view field);

}  // namespace brumlet
