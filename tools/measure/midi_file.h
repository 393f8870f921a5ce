// Standard MIDI files of single notes, for fluidsynth to play a bank's preset.
#pragma once

#include <string>
#include <vector>

namespace brumlet::measure {

/// MIDI ticks a second in these files (480 a quarter note at 120 beats a minute): times are
/// rounded to them.
inline constexpr double kMidiTicksPerSecond = 960;

/// A type-0 MIDI file that selects `bank` and `program` (bank 128 is the percussion channel),
/// plays `key` at `velocity` for `on_seconds` and ends at `total_seconds`.
std::string MidiNote(int bank, int program, int key, int velocity, double on_seconds,
                     double total_seconds);

/// A type-0 MIDI file that selects `bank` and `program` as MidiNote does and plays `keys` one
/// after the other, each in a slot of its own: key i starts at i x `slot_seconds`, is held for
/// `on_seconds`, and at `cut_seconds` into its slot every sound stops (All Sound Off), so that
/// no release reaches the next slot. The file ends with the last slot.
std::string MidiNotes(int bank, int program, const std::vector<int>& keys, int velocity,
                      double on_seconds, double cut_seconds, double slot_seconds);

}  // namespace brumlet::measure
