// Finding the files an SFZ names. Libraries are made on Windows and macOS, whose file systems
// ignore case, so "Samples/Piano_C4.WAV" may name samples/piano_c4.wav; on a system that minds
// case, a name that does not exist as written is looked up ignoring the case of ASCII letters.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace brumlet::sfz {

/// The wildcard pattern that matches `text` with ASCII letters in either case ("a" as "[aA]")
/// and every other character as itself ("*", "?" and "[" as sets of one).
std::string CaseInsensitivePattern(std::string_view text);

/// Where the file `relative` ("/"-separated, from the file: untrusted) in `folder` (the main
/// file's folder, from SfzFile::folder) is: folder + relative when that is a file, else the first
/// file the platform's search finds for the folder (its wildcard characters as sets of one)
/// followed by CaseInsensitivePattern(relative); nothing when neither finds one.
std::optional<std::string> FindFile(Platform& platform, std::string_view folder,
                                    std::string_view relative);

}  // namespace brumlet::sfz
