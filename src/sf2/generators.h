// The SoundFont generators: their numbers, default values, and how each combines across the two
// levels of a zone (an instrument's value, to which a preset's value adds).
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace brumlet::sf2 {

/// Generator numbers as the format defines them; 60 and above are not generators.
namespace gen {
inline constexpr int kStartAddrsOffset = 0;
inline constexpr int kEndAddrsOffset = 1;
inline constexpr int kStartloopAddrsOffset = 2;
inline constexpr int kEndloopAddrsOffset = 3;
inline constexpr int kStartAddrsCoarseOffset = 4;
inline constexpr int kModLfoToPitch = 5;
inline constexpr int kVibLfoToPitch = 6;
inline constexpr int kModEnvToPitch = 7;
inline constexpr int kInitialFilterFc = 8;
inline constexpr int kInitialFilterQ = 9;
inline constexpr int kModLfoToFilterFc = 10;
inline constexpr int kModEnvToFilterFc = 11;
inline constexpr int kEndAddrsCoarseOffset = 12;
inline constexpr int kModLfoToVolume = 13;
inline constexpr int kChorusEffectsSend = 15;
inline constexpr int kReverbEffectsSend = 16;
inline constexpr int kPan = 17;
inline constexpr int kDelayModLfo = 21;
inline constexpr int kFreqModLfo = 22;
inline constexpr int kDelayVibLfo = 23;
inline constexpr int kFreqVibLfo = 24;
inline constexpr int kDelayModEnv = 25;
inline constexpr int kAttackModEnv = 26;
inline constexpr int kHoldModEnv = 27;
inline constexpr int kDecayModEnv = 28;
inline constexpr int kSustainModEnv = 29;
inline constexpr int kReleaseModEnv = 30;
inline constexpr int kKeynumToModEnvHold = 31;
inline constexpr int kKeynumToModEnvDecay = 32;
inline constexpr int kDelayVolEnv = 33;
inline constexpr int kAttackVolEnv = 34;
inline constexpr int kHoldVolEnv = 35;
inline constexpr int kDecayVolEnv = 36;
inline constexpr int kSustainVolEnv = 37;
inline constexpr int kReleaseVolEnv = 38;
inline constexpr int kKeynumToVolEnvHold = 39;
inline constexpr int kKeynumToVolEnvDecay = 40;
inline constexpr int kInstrument = 41;
inline constexpr int kKeyRange = 43;
inline constexpr int kVelRange = 44;
inline constexpr int kStartloopAddrsCoarseOffset = 45;
inline constexpr int kKeynum = 46;
inline constexpr int kVelocity = 47;
inline constexpr int kInitialAttenuation = 48;
inline constexpr int kEndloopAddrsCoarseOffset = 50;
inline constexpr int kCoarseTune = 51;
inline constexpr int kFineTune = 52;
inline constexpr int kSampleId = 53;
inline constexpr int kSampleModes = 54;
inline constexpr int kScaleTuning = 56;
inline constexpr int kExclusiveClass = 57;
inline constexpr int kOverridingRootKey = 58;
inline constexpr int kCount = 60;
}  // namespace gen

/// A zone's generator values, one per number, each its default until a zone sets it.
using GeneratorValues = std::array<std::int32_t, gen::kCount>;

/// The values of a zone that sets nothing.
GeneratorValues DefaultGenerators();

/// How a generator is used at each level.
enum class GeneratorUse {
  kUnused,          ///< unused or reserved numbers: ignored wherever they appear
  kAdditive,        ///< instrument value absolute, a preset's value added to it
  kInstrumentOnly,  ///< meaningful in instrument zones only; ignored in preset zones
  kStructural,      ///< ranges, instrument, sampleID: the zone's shape, not a value
};

GeneratorUse UseOf(int oper);

/// True for generators the XI format can hold: the sample range, loop, tuning, root key,
/// volume and pan, and what the volume envelope and auto-vibrato take (delay, attack, hold,
/// decay, sustain and release of the volume envelope; the vibrato LFO).
bool HasXiCounterpart(int oper);

/// The generator's name as the format spells it ("initialFilterFc").
std::string_view GeneratorName(int oper);

}  // namespace brumlet::sf2
