#include "sf2/generators.h"

namespace brumlet::sf2 {
namespace {

constexpr std::array<std::string_view, gen::kCount> kNames = {
    "startAddrsOffset",       "endAddrsOffset",
    "startloopAddrsOffset",   "endloopAddrsOffset",
    "startAddrsCoarseOffset", "modLfoToPitch",
    "vibLfoToPitch",          "modEnvToPitch",
    "initialFilterFc",        "initialFilterQ",
    "modLfoToFilterFc",       "modEnvToFilterFc",
    "endAddrsCoarseOffset",   "modLfoToVolume",
    "unused1",                "chorusEffectsSend",
    "reverbEffectsSend",      "pan",
    "unused2",                "unused3",
    "unused4",                "delayModLFO",
    "freqModLFO",             "delayVibLFO",
    "freqVibLFO",             "delayModEnv",
    "attackModEnv",           "holdModEnv",
    "decayModEnv",            "sustainModEnv",
    "releaseModEnv",          "keynumToModEnvHold",
    "keynumToModEnvDecay",    "delayVolEnv",
    "attackVolEnv",           "holdVolEnv",
    "decayVolEnv",            "sustainVolEnv",
    "releaseVolEnv",          "keynumToVolEnvHold",
    "keynumToVolEnvDecay",    "instrument",
    "reserved1",              "keyRange",
    "velRange",               "startloopAddrsCoarseOffset",
    "keynum",                 "velocity",
    "initialAttenuation",     "reserved2",
    "endloopAddrsCoarseOffset", "coarseTune",
    "fineTune",               "sampleID",
    "sampleModes",            "reserved3",
    "scaleTuning",            "exclusiveClass",
    "overridingRootKey",      "unused5",
};

}  // namespace

GeneratorValues DefaultGenerators() {
  GeneratorValues values{};
  // Times in timecents: -12000 is about a millisecond, the format's "instant".
  for (int oper : {gen::kDelayModLfo, gen::kDelayVibLfo, gen::kDelayModEnv, 26, 27, 28, 30,
                   gen::kDelayVolEnv, gen::kAttackVolEnv, gen::kHoldVolEnv, gen::kDecayVolEnv,
                   gen::kReleaseVolEnv}) {
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

GeneratorUse UseOf(int oper) {
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
    case gen::kStartAddrsOffset:
    case gen::kEndAddrsOffset:
    case gen::kStartloopAddrsOffset:
    case gen::kEndloopAddrsOffset:
    case gen::kStartAddrsCoarseOffset:
    case gen::kEndAddrsCoarseOffset:
    case gen::kStartloopAddrsCoarseOffset:
    case gen::kEndloopAddrsCoarseOffset:
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
  switch (oper) {
    case gen::kStartAddrsOffset:
    case gen::kEndAddrsOffset:
    case gen::kStartloopAddrsOffset:
    case gen::kEndloopAddrsOffset:
    case gen::kStartAddrsCoarseOffset:
    case gen::kEndAddrsCoarseOffset:
    case gen::kStartloopAddrsCoarseOffset:
    case gen::kEndloopAddrsCoarseOffset:
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
