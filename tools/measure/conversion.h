// The program under measure, run as a user runs it: `brumlet --sf2 BANK` in a folder of its own;
// and which of the files it wrote holds which key of a preset.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "sf2_reader.h"
#include "xi_reader.h"

namespace brumlet::measure {

/// One run of the program over a bank.
struct Conversion {
  std::string folder;  ///< where it ran and wrote its files
  int code = -1;       ///< its exit code
  std::string report;  ///< what it printed
};

/// Runs `brumlet --sf2 bank` in `folder` (which must exist).
Conversion ConvertBank(const std::string& brumlet, const std::string& bank,
                       const std::string& folder);

/// A run of keys, both ends included.
struct KeyRange {
  int low = 0, high = 0;
};

/// One file the program wrote for a preset: the whole instrument, or a part of a split kit.
struct PartFile {
  std::string path;
  int part = 1, parts = 1;
  std::optional<KeyRange> keys;  ///< the keys its report line says it holds, when it says so
  std::string bytes;             ///< the file
  XiFile xi;  ///< empty (no key map) when the file is shorter than its header says
};

/// The files of preset `bank`:`program` in the conversion's folder, in the order of their parts;
/// none when the program wrote none (a preset it skipped).
std::vector<PartFile> PresetFiles(const Conversion& conversion, int bank, int program);

/// For each key 0..95, the index in `parts` of the part that holds it. A part's key range comes
/// from its report line when every part has one. Otherwise it is read from the files: parts hold
/// runs of consecutive keys, in order, and a key outside a part's run plays the sample of the
/// run's nearest key. A part plays a key as its own when the key's XI sample has the name of a
/// bank sample of a zone sounding on the key, and more surely when its pitch is the one that
/// zone calls for on the key; the runs are the split of 0..95 into consecutive runs, one a part,
/// that plays the most keys as their own (pitch matches counting twice as much as names alone).
/// Where two splits play as many, the keys go to the lower part: the program fills a part before
/// it starts the next.
std::vector<int> KeyOwners(const Sf2Reader& bank, const Sf2Preset& preset,
                           const std::vector<PartFile>& parts);

}  // namespace brumlet::measure
