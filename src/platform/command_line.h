// Splitting a command line that the system hands over as one string (Windows) into arguments.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace brumlet {

/// The arguments of `line`, without its first word (the program's own path):
///  - characters 1 to 32 separate words, and runs of them are skipped;
///  - at the start of a word every pair of double quotes is skipped, so `""` alone is no word;
///  - a double quote inside a word opens a quoted run up to the next double quote or the end of
///    the line, whose characters (blanks too) belong to the word; the quotes never do;
///  - the words end at the end of the line (or at a character 0).
/// Arguments are kept whole, however long. UTF-8 text splits as the UTF-16 it came from, since
/// every byte of a multi-byte character is above 127.
std::vector<std::string> SplitCommandLine(std::string_view line);

}  // namespace brumlet
