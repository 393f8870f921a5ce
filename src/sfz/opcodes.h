// What each opcode does to a region, or under <control> to the file's settings. Names and values
// arrive with $variables already replaced; both come from the file.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "sfz/region.h"

namespace brumlet::sfz {

/// How an opcode was taken.
enum class OpcodeUse {
  kApplied,   ///< mapped onto the region or settings, or read and deliberately ignored
  kUnmapped,  ///< no counterpart here: listed once under "not in an XI"
  kBadValue,  ///< a mapped opcode whose value does not parse; the file is skipped
};

/// The settings of <control> headers.
struct Control {
  /// default_path with every "\" made "/": put in front of each sample's name that follows it.
  /// A new <control> header clears it.
  std::string default_path;
  /// set_ccN: the value controller N holds before any is sent; 0 where not set.
  std::array<double, kControllers> controllers{};
};

/// Applies `name`=`value` at a <global>, <master>, <group> or <region> level to `region`;
/// `default_path` is Control::default_path as the opcode is read.
OpcodeUse ApplyOpcode(Region& region, std::string_view name, std::string_view value,
                      std::string_view default_path);

/// Applies `name`=`value` under <control>.
OpcodeUse ApplyControlOpcode(Control& control, std::string_view name, std::string_view value);

}  // namespace brumlet::sfz
