// Which regions sound when a player receives one lone note at velocity 100, with no key or pedal
// held before it and every controller at its starting value: the choice an XI instrument, which
// holds one sample a key, is made from. Velocity is left to the planner, which keeps the layer
// that sounds at velocity 100 for SoundFont zones and SFZ regions alike.
//
// The rules, per region (Region::left_out names the first that leaves it out):
//  - no sample, end=-1, or a generated waveform other than *sine and *silence: nothing to play;
//  - no key in 0..127 (hikey=-1 marks regions that only a controller starts);
//  - trigger=release and release_key sound when a note ends, legato only over a held note, and
//    on_loccN/on_hiccN regions when a controller moves: none on a lone note; first does;
//  - of a round robin (seq_length, seq_position) the first turn;
//  - of random layers (lorand, hirand) the one whose range covers 0;
//  - of key switches, the sw_default of the first region that sets it, else the lowest sw_last
//    of any region; sw_down and sw_previous need a key held or played before, so never sound;
//  - loccN/hiccN hold when controller N's starting value (set_ccN, else 0) lies in the range.
// lochan/hichan are ignored: kits exported for MIDI channel 10 carry them.
#pragma once

#include <array>
#include <vector>

#include "sfz/region.h"

namespace brumlet::sfz {

/// Sets Region::left_out of every region; `controllers` are the starting values (set_ccN).
void ChooseForLoneNote(std::vector<Region>& regions,
                       const std::array<double, kControllers>& controllers);

}  // namespace brumlet::sfz
