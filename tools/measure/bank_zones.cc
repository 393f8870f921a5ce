#include "bank_zones.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <set>
#include <utility>

namespace brumlet::measure {
namespace {

// Generator operators.
constexpr int kCoarseTune = 51, kFineTune = 52, kScaleTuning = 56, kOverridingRootKey = 58;
// Sample types: the side of a stereo pair (the ROM flag 0x8000 aside).
constexpr int kRightSample = 2, kLeftSample = 4;
constexpr int kDefaultRootKey = 60;
// The kit rule: at least this many zones, this share of them over a single key.
constexpr std::size_t kKitMinimumZones = 8;
constexpr double kKitSingleKeyShare = 0.75;
// The XI pitch: a sample plays at its own rate on C-5 at 16726 Hz (relative note and finetune 0),
// 128 finetune steps a semitone.
constexpr double kXiC5Hz = 16726, kStepsPerSemitone = 128, kStepsPerOctave = 1536;

bool SoundsAtVelocity(const Sf2Zone& zone) {
  return zone.vel_low <= kVelocity && kVelocity <= zone.vel_high;
}

// The zone's sample header; null when the zone names a sample the bank does not have.
const Sf2Sample* SampleOf(const Sf2Reader& bank, const Sf2Zone& zone) {
  const auto index = static_cast<std::size_t>(zone.sample);
  return index < bank.samples.size() ? &bank.samples[index] : nullptr;
}

int Side(const Sf2Reader& bank, const Sf2Zone& zone) {
  const Sf2Sample* sample = SampleOf(bank, zone);
  return sample ? sample->type & (kRightSample | kLeftSample) : 0;
}

}  // namespace

std::vector<const Sf2Zone*> ZonesOnKey(const Sf2Preset& preset, int key) {
  std::vector<const Sf2Zone*> zones;
  for (const Sf2Zone& zone : preset.zones) {
    if (SoundsAtVelocity(zone) && zone.key_low <= key && key <= zone.key_high) {
      zones.push_back(&zone);
    }
  }
  return zones;
}

std::vector<int> MappedKeys(const Sf2Preset& preset) {
  std::vector<int> keys;
  for (int key = 0; key < kKeyCount; ++key) {
    if (!ZonesOnKey(preset, key).empty()) keys.push_back(key);
  }
  return keys;
}

bool IsKit(const Sf2Reader& bank, const Sf2Preset& preset) {
  if (preset.bank == kPercussionBank) return true;
  // A right side over the same keys as a left side still unpaired is the pair's second zone.
  std::multiset<std::pair<int, int>> lefts;
  for (const Sf2Zone& zone : preset.zones) {
    if (SoundsAtVelocity(zone) && Side(bank, zone) == kLeftSample) {
      lefts.insert({zone.key_low, zone.key_high});
    }
  }
  std::size_t counted = 0, single = 0;
  for (const Sf2Zone& zone : preset.zones) {
    if (!SoundsAtVelocity(zone)) continue;
    if (Side(bank, zone) == kRightSample) {
      const auto left = lefts.find({zone.key_low, zone.key_high});
      if (left != lefts.end()) {
        lefts.erase(left);
        continue;
      }
    }
    ++counted;
    single += zone.key_low == zone.key_high;
  }
  return counted >= kKitMinimumZones &&
         static_cast<double>(single) >= kKitSingleKeyShare * static_cast<double>(counted);
}

std::vector<std::size_t> DistinctPresets(const Sf2Reader& bank) {
  std::set<std::pair<int, int>> seen;
  std::vector<std::size_t> presets;
  for (std::size_t p = 0; p < bank.presets.size(); ++p) {
    if (seen.insert({bank.presets[p].bank, bank.presets[p].program}).second) presets.push_back(p);
  }
  std::sort(presets.begin(), presets.end(), [&bank](std::size_t a, std::size_t b) {
    return std::pair(bank.presets[a].bank, bank.presets[a].program) <
           std::pair(bank.presets[b].bank, bank.presets[b].program);
  });
  return presets;
}

std::string PresetLabel(const Sf2Preset& preset) {
  char numbers[16];
  std::snprintf(numbers, sizeof numbers, "%03d:%03d", preset.bank & 0xFFFF,
                preset.program & 0xFFFF);
  std::string label = numbers;
  label += ' ';
  for (char c : preset.name) {
    const auto u = static_cast<unsigned char>(c);
    label += u < 0x20 || u >= 0x7F ? '?' : c;
  }
  return label;
}

int TuningOffsetCents(const Sf2Zone& zone) {
  return zone.gen[kCoarseTune] * 100 + zone.gen[kFineTune];
}

double XiPitchOf(const Sf2Reader& bank, const Sf2Zone& zone, int key) {
  const Sf2Sample* found = SampleOf(bank, zone);
  if (!found || found->rate == 0) return NAN;
  const Sf2Sample& sample = *found;
  const int override_root = zone.gen[kOverridingRootKey];
  const int root = override_root >= 0 && override_root <= 127 ? override_root
                   : sample.original_pitch <= 127             ? sample.original_pitch
                                                              : kDefaultRootKey;
  double cents = TuningOffsetCents(zone) + sample.correction;
  if (zone.key_low == zone.key_high) cents += (key - root) * (zone.gen[kScaleTuning] - 100);
  return kStepsPerOctave * std::log2(sample.rate / kXiC5Hz) +
         (kDefaultRootKey - root) * kStepsPerSemitone + cents * kStepsPerSemitone / 100;
}

const Sf2Zone* ZoneOfSample(const Sf2Reader& bank, const std::vector<const Sf2Zone*>& zones,
                            const std::string& name, int key, double xi_pitch) {
  const Sf2Zone* best = nullptr;
  double distance = 0;
  for (const Sf2Zone* zone : zones) {
    const Sf2Sample* sample = SampleOf(bank, *zone);
    if (!sample || sample->name != name) continue;
    const double d = std::abs(XiPitchOf(bank, *zone, key) - xi_pitch);
    if (!best || d < distance) best = zone, distance = d;
  }
  return best;
}

}  // namespace brumlet::measure
