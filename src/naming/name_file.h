// Naming the instrument and its sample slots: from the name file, or with the default caption.
// The naming makes names of a source's facts; where they go is the driver's business.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "naming/text_line_reader.h"
#include "platform/platform.h"

namespace brumlet {

/// What a source's names are made of.
struct SourceFacts {
  std::string_view source_name;  ///< the bare file name
  std::string_view title;        ///< the WAV's title; empty when it has none
  std::int32_t data_length = 0;  ///< the data chunk's declared length, in bytes
  /// The first sampler loop's type: 0 forward, 1 ping-pong, 255 none; others have no word.
  std::uint32_t loop_type = 255;
};

/// The names of one instrument: its own and those of its sample slots (empty for none), each
/// stored cut to 22 bytes.
struct Names {
  static constexpr int kSlots = 16;
  std::string instrument;
  std::array<std::string, kSlots> samples;
  /// The sample headers the names ask for: the last sample line's slot plus one (or 3 for the
  /// default caption); nothing where the name file has no sample line.
  std::optional<std::uint8_t> count;
};

/// A run's name file, read from its first line for every source.
class NameFile {
 public:
  /// Opens `path` (an existing file) for reading; `platform` outlives the name file.
  NameFile(std::string path, Platform& platform);

  /// The names the name file gives `source`, expanding tokens and prompting at the console where
  /// it says so. Then closes the file and opens it again by its name, so that the next source
  /// reads what the file holds by then (an editor saving it writes a new file in its place).
  /// Throws Rejection for a malformed name file, RunFailure when it can no longer be opened.
  Names Read(const SourceFacts& source);
  /// Closes the file; nothing when it is closed already.
  void Close();
  /// The open file, which no output may replace; null once closed.
  const File* file() const { return file_.get(); }

 private:
  void Open(Site site);
  std::string Ask(std::string_view prompt);
  void ExpandInstrumentTokens(const SourceFacts& source, std::string& name);
  void ExpandSampleTokens(const SourceFacts& source, int slot, const std::string& instrument,
                          std::string& name);

  std::string path_;
  Platform& platform_;
  std::unique_ptr<File> file_;
  FileByteSource bytes_;
  TextLineReader lines_{bytes_};
  ConsoleByteSource console_bytes_;
  TextLineReader console_lines_{console_bytes_};
};

/// The default caption: the instrument named after the source's title or XI name, and three
/// label lines (file name, size, loop mode) in slots 0, 1 and 2; count 3.
Names DefaultLabels(const SourceFacts& source);

}  // namespace brumlet
