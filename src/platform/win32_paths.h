// Windows path rules that the directory search needs, as plain functions.
#pragma once

#include <string_view>

namespace brumlet {

/// The folder part of a Windows path or pattern: everything up to and including its last "\\" or
/// "/", or else its drive ("C:" of "C:*.wav"); empty when it has none. What follows is the bare
/// name: "sounds\\kick.wav" gives "sounds\\", "C:sounds\\*.wav" gives "C:sounds\\".
std::string_view FolderOfPath(std::string_view path);

}  // namespace brumlet
