// An SFZ file, with the files it includes, read into a plain list of regions.
//
// Headers: <control> holds default_path and set_ccN; <global>, <master>, <group> and <region>
// nest in that order, each level starting from the opcodes of the open levels above it (a new
// <group> from the current <master>, or <global> when no <master> is open; a new <master> or
// <global> closes the levels under it). Any other header (<curve>, <effect>, <midi>, ...) is
// skipped with its opcodes, as are opcodes before the first header.
//
// Directives: "#define $NAME value" makes "$NAME" stand for the value (with the variables it
// names replaced as it is defined) in every name, value and include path that follows; a "$"
// followed by a name that is not defined stays as written. "#include "path"" reads the file
// there, as if its text stood in place of the line; includes nest up to kMaxIncludeDepth deep
// and a file may be included any number of times.
//
// Paths: include and sample paths are relative to the main file's folder, whichever file names
// them; a sample's path has default_path (as of the opcode) in front. "\" is "/". A name that
// does not exist as written is looked up ignoring case (sample_path.h). Samples are not looked
// up here: only those of the regions a plan keeps need to exist.
//
// Bounds, for a file that is hostile or broken: the text read (every inclusion counts, at least
// kIncludeCost bytes each) and what $variables add to it together stay within kMaxText bytes,
// there are at most kMaxRegions regions, and a sample path (default_path included) holds at most
// kMaxPath bytes. Past a bound, or at text that is no SFZ, the file is skipped with a
// ReadFailure: a value, not an exception. A file that cannot be read at all fails with the
// platform's RunFailure.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "sfz/region.h"

namespace brumlet::sfz {

inline constexpr int kMaxIncludeDepth = 16;
inline constexpr std::size_t kMaxText = std::size_t{16} << 20;
inline constexpr std::size_t kIncludeCost = 1024;
inline constexpr std::size_t kMaxRegions = 16384;
inline constexpr std::size_t kMaxPath = 1024;
/// A ReadFailure quotes at most this many bytes of the file.
inline constexpr std::size_t kMaxQuoted = 200;

/// Why a file is skipped.
enum class Problem {
  kIncludeNotFound,  ///< `text`: the include's path as written
  kIncludeTooDeep,   ///< `text`: the include's path; more than kMaxIncludeDepth levels
  kTooMuchText,      ///< more than kMaxText bytes with includes and variables
  kTooManyRegions,   ///< a region beyond kMaxRegions
  kBadHeader,        ///< `text`: the header as written ("<region", "<my region>")
  kBadDirective,     ///< `text`: the line from its "#" ("#define X 1", "#include x.sfz")
  kStray,            ///< `text`: text that is no header, opcode or directive
  kBadValue,         ///< `opcode`: the name; `text`: its value, which does not parse for it
};

struct ReadFailure {
  Problem problem = Problem::kStray;
  std::size_t file = 0;  ///< where: an index into SfzFile::files
  int line = 0;          ///< from 1; 0 for the file as a whole (a main file beyond kMaxText)
  std::string opcode;    ///< from the file: shown only filtered
  std::string text;      ///< from the file, at most kMaxQuoted bytes: shown only filtered
  bool operator==(const ReadFailure&) const = default;
};

struct SfzFile {
  /// The main file's folder as its path gives it ("" or ending in the separator), where sample
  /// paths start (see FindFile).
  std::string folder;
  /// [0] the main file's path as given; then each included file's path as written (after its
  /// variables), once however often it is included.
  std::vector<std::string> files;
  /// Every region, in the order of the text; Region::left_out set by ChooseForLoneNote.
  std::vector<Region> regions;
  /// Each controller's starting value, from set_ccN.
  std::array<double, kControllers> controllers{};
  /// The opcodes that have no counterpart here (see OpcodeUse::kUnmapped), each once, in the
  /// order they first appear; from the file: shown only filtered.
  std::vector<std::string> unmapped_opcodes;
  /// Set when the file is skipped; `regions` and `unmapped_opcodes` are then empty.
  std::optional<ReadFailure> failure;
};

/// Reads the SFZ file `path` and the files it includes through `platform`.
SfzFile ReadSfz(Platform& platform, const std::string& path);

}  // namespace brumlet::sfz
