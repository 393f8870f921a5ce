// A preset's zones flattened: each preset zone over each zone of the instrument it names, as a
// synthesizer would combine them when a note is played.
//
// Within a level, a zone's own generators replace those of its list's global zone (the first
// zone, when it names no instrument or sample), which replace the defaults. Across the levels,
// the instrument's value is absolute and the preset's is added to it; generators that only mean
// something for an instrument (sample offsets, sampleModes, overridingRootKey, ...) are ignored
// in preset zones. Key and velocity ranges of both levels are intersected; a zone whose ranges
// do not meet is no zone. Modulators are not applied.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "display_text.h"
#include "sampler/work_budget.h"
#include "sf2/bank.h"
#include "sf2/generators.h"

namespace brumlet::sf2 {

/// An inclusive range of keys or velocities, 0..127.
struct Range {
  int low = 0;
  int high = 127;

  bool Contains(int v) const { return v >= low && v <= high; }
  bool operator==(const Range&) const = default;
};

/// One sounding combination of a preset zone and an instrument zone, in bank order.
struct Zone {
  std::uint32_t instrument = 0;
  std::uint32_t sample = 0;  ///< index into Bank::samples
  Range keys;
  Range velocities;
  /// Every generator's value for this zone: the instrument's (or default) plus the preset's where
  /// the generator adds, not yet clamped to the generator's range.
  GeneratorValues values{};
  /// The sample's frames in the smpl chunk with the address offsets applied: [start, end), and
  /// the loop [loop_start, loop_end), which may lie anywhere (checked where the loop is used).
  std::int64_t start = 0;
  std::int64_t end = 0;
  std::int64_t loop_start = 0;
  std::int64_t loop_end = 0;
};

/// Why a preset cannot be converted: its records point outside their tables, or a sample it
/// plays lies outside the sample data. Not a fault of the bank as a whole.
struct PresetSkip {
  DisplayText why;  ///< the user's text (messages.h), e.g. "it names instrument 7 of 5"
};

struct FlatPreset {
  std::vector<Zone> zones;
  std::optional<PresetSkip> skip;  ///< set when the preset is skipped; `zones` is then empty
};

/// More zones than this in one preset are not converted: a hostile bank could otherwise make
/// millions of zones out of a few kilobytes (every preset zone times every instrument zone).
inline constexpr std::size_t kMaxZones = 16384;

/// Flattens a bank's presets. Each instrument's zones are read once for the whole bank, however
/// many presets name it.
class Flattener {
 public:
  explicit Flattener(const Bank& bank);
  ~Flattener();

  /// Flattens preset `preset` (an index below Bank::PresetCount()) into its zones, checking every
  /// index it follows and every sample it plays. Every pair of a preset zone and an instrument
  /// zone visited counts one unit of `budget`, whether the pair sounds or not; a preset that
  /// passes the budget is skipped. The result lives in the flattener and is valid until the next
  /// call: one preset's zones take the room the last one's left.
  const FlatPreset& Flatten(std::size_t preset, sampler::WorkBudget& budget);

 private:
  struct Lists;
  const FlatPreset& Skip(PresetSkip skip);

  const Bank& bank_;
  std::unique_ptr<Lists> lists_;
  FlatPreset flat_;
};

}  // namespace brumlet::sf2
