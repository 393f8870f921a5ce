// What Polyphone's SFZ export (Debian's polyphone 2.2, `polyphone -3`) makes of a SoundFont
// preset, as far as an XI instrument hears it, and so what `brumlet --sfz` must make of the
// export: found by exporting TimGM6mb and FluidR3_GM and reading every region beside the zone it
// came from (2063 and 16912 regions, one for each zone).
//
// The export writes a file per preset (`-c 110`: BANK/BBB/PPP_NAME.sfz, the preset's numbers in
// the path) with a region for each zone, flattened (the preset level added to the instrument's)
// and clamped to the generators' ranges; <group>s hold what their regions share, and bank 128's
// carry lochan=10 hichan=10. Each sample is a mono 16-bit WAV of exactly its frames, named after
// it (a second sample of the same name gets "-1"; a stereo pair's sides are two files, "(L)" and
// "(R)" in FluidR3_GM). Written exactly, in
// the units --sfz reads back: keys and velocities, pitch_keycenter (overridingRootKey, else the
// sample's pitch), transpose (coarseTune) and tune (fineTune plus the sample's correction),
// pitch_keytrack, pan (/ 5), offset, end and the loop (ends inclusive), loop_mode, every time of
// the envelopes and LFOs (seconds to six digits: the timecents come back whole), the
// modulation envelope's depths and sustain, the resonance.
//
// What the export changes, which ExportedZone applies to a zone's generators:
//  - initialAttenuation A becomes volume = -0.01588 x A dB (A = 135 cB: volume=-2.1438), which
//    --sfz takes back as 0.397 x A cB: the export gives SoundFont players' 0.4 factor twice.
//  - sustainVolEnv S becomes ampeg_sustain = 100 x 10^(-S / 200) %, which --sfz reads on the
//    96 dB scale of a SoundFont envelope as S / 0.96 cB (at most 1440): silence (1000 cB)
//    comes back as 1042.
//  - Its shortest time is 0.001 s: the volume envelope's attack, which every <group> sets, is at
//    least that (-11959 timecents; by default -12000).
//  - A zone without a vibrato (vibLfoToPitch 0) whose modulation LFO moves the pitch has that
//    LFO written as the pitch LFO (pitchlfo_depth, _freq, _delay): SFZ has one.
//
// What it loses or breaks is left to show in the comparison:
//  - a stereo pair is two mono regions panned -100 and 100, nothing linking them;
//  - keynumToVolEnvHold and keynumToVolEnvDecay are set into each region's hold and decay at key
//    0 of a straight line (in seconds) through the region's lowest and highest keys, whose slope
//    goes to ampeg_holdcc133 and ampeg_decaycc133 (controller 133: the note number);
//  - a zone with a tremolo (modLfoToVolume) gets a volume of its own making: the tremolo's depth
//    in place of the attenuation (FluidR3_GM's Flute: 110 cB and 8 cB of tremolo give
//    volume=-0.8), or the attenuation lowered by 2.5 x the depth (Clarinet);
//  - cutoff is written in whole hertz.
#pragma once

#include <cstddef>

#include "sampler/plan.h"
#include "sf2/bank.h"
#include "sf2/generators.h"
#include "sf2/zones.h"

namespace brumlet::sfz_compare {

/// `values`, a flattened zone's generators, as the export writes them and --sfz reads them back.
void ExportedZone(sf2::GeneratorValues& values);

/// The plan of preset `preset` (an index below Bank::PresetCount()): as --sf2 plans it, or with
/// every zone as ExportedZone makes it when `exported`. A preset the program skips has no
/// instruments.
sampler::Plan PlanPreset(const sf2::Bank& bank, sf2::Flattener& flattener, std::size_t preset,
                         bool exported);

}  // namespace brumlet::sfz_compare
