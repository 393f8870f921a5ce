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

/// The output a mode is writing. A rejection that ends it (a source that is not a WAV, a name
/// file at fault, a preset skipped while it was written) has the mode abandon it once the message
/// is shown: closed and deleted, so that no half-made instrument is left behind. A failed file
/// operation leaves it as it is, with what was written, for the failure report to explain.
class ScopedOutput {
 public:
  /// Creates the output as CreateOutput does.
  void Create(const std::string& path, std::span<const File* const> inputs, Platform& platform);
  bool is_open() const { return file_ != nullptr; }
  File& file() { return *file_; }
  /// Closes the finished output, which stays.
  void Close();
  /// Closes an unfinished output and deletes it; nothing when none is open. A failing close
  /// throws RunFailure, and the file then stays.
  void Abandon(Platform& platform);

 private:
  std::string path_;
  std::unique_ptr<File> file_;
};

}  // namespace brumlet
