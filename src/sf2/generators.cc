#include "sf2/generators.h"

namespace brumlet::sf2 {
namespace {

// clang-format off
constexpr std::array<std::string_view, gen::kCount> kNames = {
    /*  0 */ "startAddrsOffset", "endAddrsOffset", "startloopAddrsOffset", "endloopAddrsOffset",
    /*  4 */ "startAddrsCoarseOffset", "modLfoToPitch", "vibLfoToPitch", "modEnvToPitch",
    /*  8 */ "initialFilterFc", "initialFilterQ", "modLfoToFilterFc", "modEnvToFilterFc",
    /* 12 */ "endAddrsCoarseOffset", "modLfoToVolume", "unused1", "chorusEffectsSend",
    /* 16 */ "reverbEffectsSend", "pan", "unused2", "unused3",
    /* 20 */ "unused4", "delayModLFO", "freqModLFO", "delayVibLFO",
    /* 24 */ "freqVibLFO", "delayModEnv", "attackModEnv", "holdModEnv",
    /* 28 */ "decayModEnv", "sustainModEnv", "releaseModEnv", "keynumToModEnvHold",
    /* 32 */ "keynumToModEnvDecay", "delayVolEnv", "attackVolEnv", "holdVolEnv",
    /* 36 */ "decayVolEnv", "sustainVolEnv", "releaseVolEnv", "keynumToVolEnvHold",
    /* 40 */ "keynumToVolEnvDecay", "instrument", "reserved1", "keyRange",
    /* 44 */ "velRange", "startloopAddrsCoarseOffset", "keynum", "velocity",
    /* 48 */ "initialAttenuation", "reserved2", "endloopAddrsCoarseOffset", "coarseTune",
    /* 52 */ "fineTune", "sampleID", "sampleModes", "reserved3",
    /* 56 */ "scaleTuning", "exclusiveClass", "overridingRootKey", "unused5",
};
// clang-format on

}  // namespace

GeneratorValues DefaultGenerators() {
  GeneratorValues values{};
  // Times in timecents: -12000 is about a millisecond, the format's "instant".
  for (int oper : {gen::kDelayModLfo, gen::kDelayVibLfo, gen::kDelayModEnv, gen::kAttackModEnv,
                   gen::kHoldModEnv, gen::kDecayModEnv, gen::kReleaseModEnv, gen::kDelayVolEnv,
                   gen::kAttackVolEnv, gen::kHoldVolEnv, gen::kDecayVolEnv, gen::kReleaseVolEnv}) {
    values[oper] = -12000;
  }
  values[gen::kInitialFilterFc] = 13500;
  values[gen::kKeyRange] = 127 << 8;  // low byte 0, high byte 127
  values[gen::kVelRange] = 127 << 8;
  values[gen::kKeynum] = -1;
  values[gen::kVelocity] = -1;
  values[gen::kScaleTuning] = 100;
  values[gen::kOverridingRootKey] = -1;
  return values;
}

namespace {

// The eight offsets of a sample's start, end and loop points: an instrument's alone, and the XI
// keeps them in the frames it copies.
bool IsAddressOffset(int oper) {
  switch (oper) {
    case gen::kStartAddrsOffset:
    case gen::kEndAddrsOffset:
    case gen::kStartloopAddrsOffset:
    case gen::kEndloopAddrsOffset:
    case gen::kStartAddrsCoarseOffset:
    case gen::kEndAddrsCoarseOffset:
    case gen::kStartloopAddrsCoarseOffset:
    case gen::kEndloopAddrsCoarseOffset:
      return true;
    default:
      return false;
  }
}

}  // namespace

GeneratorUse UseOf(int oper) {
  if (IsAddressOffset(oper)) return GeneratorUse::kInstrumentOnly;
  switch (oper) {
    case 14:
    case 18:
    case 19:
    case 20:
    case 42:
    case 49:
    case 55:
    case 59:
      return GeneratorUse::kUnused;
    case gen::kInstrument:
    case gen::kKeyRange:
    case gen::kVelRange:
    case gen::kSampleId:
      return GeneratorUse::kStructural;
    case gen::kKeynum:
    case gen::kVelocity:
    case gen::kSampleModes:
    case gen::kExclusiveClass:
    case gen::kOverridingRootKey:
      return GeneratorUse::kInstrumentOnly;
    default:
      return oper >= 0 && oper < gen::kCount ? GeneratorUse::kAdditive : GeneratorUse::kUnused;
  }
}

bool HasXiCounterpart(int oper) {
  if (IsAddressOffset(oper)) return true;
  switch (oper) {
    case gen::kVibLfoToPitch:
    case gen::kDelayVibLfo:
    case gen::kFreqVibLfo:
    case gen::kPan:
    case gen::kDelayVolEnv:
    case gen::kAttackVolEnv:
    case gen::kHoldVolEnv:
    case gen::kDecayVolEnv:
    case gen::kSustainVolEnv:
    case gen::kReleaseVolEnv:
    case gen::kInstrument:
    case gen::kKeyRange:
    case gen::kVelRange:
    case gen::kInitialAttenuation:
    case gen::kCoarseTune:
    case gen::kFineTune:
    case gen::kSampleId:
    case gen::kSampleModes:
    case gen::kScaleTuning:
    case gen::kOverridingRootKey:
      return true;
    default:
      return false;
  }
}

std::string_view GeneratorName(int oper) {
  return oper >= 0 && oper < gen::kCount ? kNames[oper] : "unknown generator";
}

}  // namespace brumlet::sf2
