// What a wildcard pattern would find if the search ignored case, where it does not (POSIX).
#pragma once

#include <string>
#include <string_view>

namespace brumlet {

/// `pattern` with the letters of its last path component matching either case: each letter,
/// escaped or not, becomes a bracket of both cases ("*.wav" gives "*.[wW][aA][vV]"), and a
/// bracket gains the other case of its letters and letter ranges ("[a-c]" gives "[a-cA-C]").
/// A component with a character class ("[[:alpha:]]") is left as it is.
std::string EitherCasePattern(std::string_view pattern);

}  // namespace brumlet
