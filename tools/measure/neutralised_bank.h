// A copy of a SoundFont bank with some of what shapes its sound switched off, so that a
// synthesizer plays it as close to what an XI instrument can hold as the comparison asks.
#pragma once

#include <string>

namespace brumlet::measure {

/// What NeutralisedCopy switches off. Every modulator is switched off in any case: the XI has
/// none, and the synthesizer's own default modulators stay.
namespace neutralise {
/// The filter opened: initialFilterFc 13500 cents in instruments (no filter below 20 kHz), no
/// offset in presets; initialFilterQ, modLfoToFilterFc and modEnvToFilterFc 0.
inline constexpr unsigned kFilter = 1;
/// The modulation LFO: modLfoToPitch, modLfoToFilterFc and modLfoToVolume 0.
inline constexpr unsigned kModLfo = 2;
/// The vibrato LFO: vibLfoToPitch 0.
inline constexpr unsigned kVibLfo = 4;
/// The modulation envelope's pitch: modEnvToPitch 0.
inline constexpr unsigned kModEnvPitch = 8;
}  // namespace neutralise

/// Copies `bank` to `copy` and, in its preset and instrument generators, sets what `what` (a set
/// of neutralise:: flags) names; every modulator gets an amount of 0. False when the bank cannot
/// be read or the copy written.
bool NeutralisedCopy(const std::string& bank, const std::string& copy, unsigned what);

}  // namespace brumlet::measure
