#include "sf2/lost_generators.h"

#include <array>
#include <initializer_list>

#include "sf2/generators.h"

namespace brumlet::sf2 {
namespace {

using sampler::Lost;

constexpr unsigned Bit(Lost what) { return 1u << static_cast<unsigned>(what); }

// The kinds of loss each generator takes part in. The modulation LFO and envelope act only
// through what they modulate, so their timings belong to each kind they can move.
constexpr std::array<unsigned, gen::kCount> KindsOfGenerators() {
  std::array<unsigned, gen::kCount> kinds{};
  const unsigned lfo = Bit(Lost::kFilter) | Bit(Lost::kPitchLfo) | Bit(Lost::kTremolo);
  const unsigned envelope = Bit(Lost::kFilter) | Bit(Lost::kPitchEnvelope);
  for (int g : {gen::kInitialFilterFc, gen::kInitialFilterQ, gen::kModLfoToFilterFc,
                gen::kModEnvToFilterFc}) {
    kinds[g] |= Bit(Lost::kFilter);
  }
  kinds[gen::kModEnvToPitch] |= Bit(Lost::kPitchEnvelope);
  kinds[gen::kModLfoToPitch] |= Bit(Lost::kPitchLfo);
  kinds[gen::kModLfoToVolume] |= Bit(Lost::kTremolo);
  kinds[gen::kDelayModLfo] |= lfo;
  kinds[gen::kFreqModLfo] |= lfo;
  for (int g = gen::kDelayModEnv; g <= gen::kKeynumToModEnvDecay; ++g) kinds[g] |= envelope;
  kinds[gen::kChorusEffectsSend] |= Bit(Lost::kEffectsSends);
  kinds[gen::kReverbEffectsSend] |= Bit(Lost::kEffectsSends);
  kinds[gen::kExclusiveClass] |= Bit(Lost::kChokeGroups);
  kinds[gen::kKeynum] |= Bit(Lost::kFixedKeyOrVelocity);
  kinds[gen::kVelocity] |= Bit(Lost::kFixedKeyOrVelocity);
  kinds[gen::kKeynumToVolEnvHold] |= Bit(Lost::kKeyEnvelopes);
  kinds[gen::kKeynumToVolEnvDecay] |= Bit(Lost::kKeyEnvelopes);
  return kinds;
}

constexpr std::array<unsigned, gen::kCount> kKinds = KindsOfGenerators();
constexpr int kVelocity = 100, kHighestTrackerKey = 95;

}  // namespace

std::string LostGenerators(const FlatPreset& flat, sampler::LostSet lost) {
  const unsigned wanted = static_cast<unsigned>(lost.to_ulong());
  const GeneratorValues defaults = DefaultGenerators();
  std::array<bool, gen::kCount> set{};
  for (const Zone& zone : flat.zones) {
    if (!zone.velocities.Contains(kVelocity) || zone.keys.low > kHighestTrackerKey) continue;
    for (int g = 0; g < gen::kCount; ++g) {
      set[g] = set[g] || ((kKinds[g] & wanted) != 0 && zone.values[g] != defaults[g]);
    }
  }
  std::string names;
  for (int g = 0; g < gen::kCount; ++g) {
    if (!set[g]) continue;
    if (!names.empty()) names += ' ';
    names += GeneratorName(g);
  }
  return names;
}

}  // namespace brumlet::sf2
