// Creating an output: what every mode refuses to replace.
#pragma once

#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace brumlet {

/// True when `name` ends in ".xi", in any case.
bool EndsInXi(std::string_view name);

/// The instrument modes replace an existing regular file only when it already is an XI
/// instrument: an unquoted pattern (`brumlet --kit *.wav`) would otherwise make its first match
/// the output, and a recording would be replaced. Anything else of that name is not opened here
/// (a FIFO would block the read) and is left to the create, which refuses it. Throws Rejection
/// (247) for a file that is not an XI.
void RefuseToReplaceAForeignFile(const std::string& path, Platform& platform);

/// Creates `path` for an output, replacing a regular file of that name, after the refusals every
/// output has, each as "File access denied" at the output's creation: one of the run's `inputs`
/// under another name (replacing it would destroy that input), and a directory, link or anything
/// else that is not a regular file of its own (the platform refuses those).
std::unique_ptr<File> CreateOutput(const std::string& path, std::span<const File* const> inputs,
                                   Platform& platform);

}  // namespace brumlet
