// A SoundFont 2 bank as the file lays it out: the sample data's place in the file and the nine
// tables of the "hydra" that describe presets, instruments and samples.
//
// The file is a RIFF form of type "sfbk" holding three lists, each "LIST", size, type:
//
//   INFO  small chunks of text; ifil holds the format version (major, minor: two u16)
//   sdta  smpl: every sample's 16-bit frames, one after another; sm24 (24-bit low bytes,
//         ignored: the top 16 bits are the sample)
//   pdta  phdr pbag pmod pgen inst ibag imod igen shdr: tables of fixed-size records
//
// A preset is a run of zones (pbag records); each zone is a run of generators (pgen) and
// modulators (pmod) ending where the next zone's run starts, so every table ends in a terminal
// record that only marks the end of the last run. Instruments have the same shape one level
// down (inst, ibag, imod, igen), and their zones name samples (shdr). The sample data is not
// read here: a bank of 141 MB is described by its tables alone, and samples are streamed from
// `sample_data_offset` when an instrument is written.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "display_text.h"
#include "platform/platform.h"

namespace brumlet::sf2 {

/// phdr: one preset, "BBB:PPP name" to the user. Its zones are bags first_bag up to the next
/// record's first_bag.
struct PresetHeader {
  std::string name;
  std::uint16_t program = 0;
  std::uint16_t bank = 0;
  std::uint16_t first_bag = 0;
};

/// pbag and ibag: where a zone's generators start (its modulators are not applied).
struct Bag {
  std::uint16_t first_generator = 0;
};

/// pgen and igen: a generator number and its 16-bit amount, whose meaning depends on the
/// generator: signed for most, unsigned for indices, two bytes (low, high) for ranges.
struct Generator {
  std::uint16_t oper = 0;
  std::uint16_t amount = 0;

  std::int16_t Signed() const { return static_cast<std::int16_t>(amount); }
  std::uint8_t Low() const { return static_cast<std::uint8_t>(amount & 0xFF); }
  std::uint8_t High() const { return static_cast<std::uint8_t>(amount >> 8); }
};

/// inst: an instrument; its zones are bags first_bag up to the next record's.
struct InstrumentHeader {
  std::string name;
  std::uint16_t first_bag = 0;
};

namespace sample_type {
inline constexpr std::uint16_t kRight = 2;
inline constexpr std::uint16_t kLeft = 4;
inline constexpr std::uint16_t kCompressed = 0x10;  ///< SF3: Ogg Vorbis, not 16-bit frames
inline constexpr std::uint16_t kRom = 0x8000;       ///< data in a synthesizer's ROM
}  // namespace sample_type

/// shdr: a sample. Positions are frame indices into the smpl chunk; `end` is one past the last.
struct SampleHeader {
  std::string name;
  std::uint32_t start = 0;
  std::uint32_t end = 0;
  std::uint32_t loop_start = 0;
  std::uint32_t loop_end = 0;  ///< the first frame after the loop
  std::uint32_t rate = 0;
  std::uint8_t original_pitch = 60;  ///< MIDI key; 255 means unpitched
  std::int8_t pitch_correction = 0;  ///< cents
  std::uint16_t link = 0;            ///< the other sample of a stereo pair
  std::uint16_t type = 0;            ///< sample_type bits
};

/// Every table keeps its terminal record, so that the last entry's run has an end.
struct Bank {
  std::string name;                 ///< INAM, empty when absent
  std::int64_t file_size = 0;       ///< of the whole bank file
  std::uint16_t version_major = 0;  ///< ifil; 0 when absent
  std::uint16_t version_minor = 0;
  std::int64_t sample_data_offset = 0;  ///< file offset of the smpl chunk's first frame
  std::uint32_t sample_frames = 0;      ///< whole 16-bit frames in smpl

  std::vector<PresetHeader> presets;
  std::vector<Bag> preset_bags;
  std::vector<Generator> preset_generators;
  std::vector<InstrumentHeader> instruments;
  std::vector<Bag> instrument_bags;
  std::vector<Generator> instrument_generators;
  std::vector<SampleHeader> samples;

  /// Presets without the terminal record.
  std::size_t PresetCount() const { return presets.empty() ? 0 : presets.size() - 1; }
};

/// Reads the bank's tables from `file` (not its sample data), reading only what the tables take.
/// Throws Rejection (exit 245, naming `display_name` and the fault) for a file that is not a
/// readable bank: not RIFF sfbk, an SF3 bank, no sdta or pdta list, no smpl chunk or a missing
/// table, a table that is not whole records or lacks its terminal record, a chunk that runs past
/// the end of its list or of the file. Throws RunFailure when reading itself fails.
Bank ReadBank(File& file, const DisplayText& display_name);

}  // namespace brumlet::sf2
