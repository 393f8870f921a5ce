// Creating an output: what every mode refuses to replace.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
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

/// Called with the identity of the file an output would replace, after the run's inputs are
/// spared; throws to refuse it.
using ReplaceCheck = std::function<void(const FileId& existing)>;

/// Creates `path` for an output, replacing a regular file of that name, after the refusals every
/// output has, each as "File access denied" at the output's creation: one of the run's `inputs`
/// under another name (replacing it would destroy that input), and a directory, link or anything
/// else that is not a regular file of its own (the platform refuses those). Between the two,
/// `check` (where given) looks at the file that would be replaced.
std::unique_ptr<File> CreateOutput(const std::string& path, std::span<const File* const> inputs,
                                   Platform& platform, const ReplaceCheck& check = {});

/// The outputs a run has written, each with the source it was made of. Names map to files as
/// the system decides (two names that differ in case are one file on Windows), so outputs are
/// known by their identity.
class RunOutputs {
 public:
  void Add(const FileId& output, std::string source);
  /// The source whose output `file` is, if this run wrote it.
  const std::string* SourceOf(const FileId& file) const;

 private:
  std::map<std::array<std::uint64_t, 3>, std::string> sources_;
};

/// The output a mode is writing. A rejection that ends it (a source that is not a WAV, a name
/// file at fault, a preset skipped while it was written) has the mode abandon it once the message
/// is shown: closed and deleted, so that no half-made instrument is left behind. A failed file
/// operation leaves it as it is, with what was written, for the failure report to explain.
class ScopedOutput {
 public:
  /// Creates the output as CreateOutput does.
  void Create(const std::string& path, std::span<const File* const> inputs, Platform& platform,
              const ReplaceCheck& check = {});
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
