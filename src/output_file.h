// Creating an output: what every mode refuses to replace.
#pragma once

#include <memory>
#include <span>
#include <string>

#include "platform/platform.h"

namespace brumlet {

/// Creates `path` for an output, replacing a regular file of that name, after the refusals every
/// output has, each as "File access denied" at the output's creation: one of the run's `inputs`
/// under another name (replacing it would destroy that input), and a directory, link or anything
/// else that is not a regular file of its own (the platform refuses those).
std::unique_ptr<File> CreateOutput(const std::string& path, std::span<const File* const> inputs,
                                   Platform& platform);

}  // namespace brumlet
