// SoundFont banks of about a megabyte crafted to make a converter work without bound or write
// without bound, built in code for the tests and the benchmark (no such file is checked in).
#pragma once

#include "sf2_builder.h"

namespace brumlet::testing {

/// A list of one global zone (a key range) followed by `count` zones that name only `target`
/// (an instrument at the preset level, a sample at the instrument level): one generator a zone,
/// so that tens of thousands of zones fit the 16-bit indices of the tables.
inline std::vector<ZoneGens> OneKeyZones(int key, int count, Gen target) {
  std::vector<ZoneGens> zones{{KeyRange(key, key)}};
  zones.insert(zones.end(), static_cast<std::size_t>(count), ZoneGens{target});
  return zones;
}

/// A: one preset of 65,532 zones on key 0 over one instrument of 65,532 zones on key 1: no pair
/// of zones meets, and there are four billion pairs. A second preset is an ordinary one.
inline BankDef DisjointZonesBank() {
  return {{{"Pairs", 0, 0, OneKeyZones(0, 65532, Set(41, 0))}, {"Fine", 0, 1, {{Set(41, 1)}}}},
          {{"Wide", OneKeyZones(1, 65532, Set(53, 0))}, {"One", {{Set(53, 0)}}}},
          {{"S", 0, 100}},
          1000};
}

/// B: `presets` one-zone presets on key 0, each over the same instrument of `zones` zones on
/// key 1, which never meet them.
inline BankDef ManyPresetsBank(int presets = 10000, int zones = 62500) {
  BankDef bank{{}, {{"Wide", OneKeyZones(1, zones, Set(53, 0))}}, {{"S", 0, 100}}, 1000};
  for (int p = 0; p < presets; ++p) {
    bank.presets.push_back({"P", p / 128, p % 128, {{KeyRange(0, 0), Set(41, 0)}}});
  }
  return bank;
}

/// C: `presets` one-zone presets over an instrument of `zones` zones that never sound at
/// velocity 100.
inline BankDef SilentLayersBank(int presets = 20000, int zones = 16383) {
  std::vector<ZoneGens> layers{{VelRange(0, 10)}};
  layers.insert(layers.end(), static_cast<std::size_t>(zones), ZoneGens{Set(53, 0)});
  BankDef bank{{}, {{"Soft", layers}}, {{"S", 0, 100}}, 1000};
  for (int p = 0; p < presets; ++p) {
    bank.presets.push_back({"P", p / 128, p % 128, {{Set(41, 0)}}});
  }
  return bank;
}

/// Like B, but every pair meets and sounds at velocity 100 on the tracker's keys: each pair
/// visited becomes a zone and is planned.
inline BankDef ManyPresetsMeetingBank(int presets = 10000, int zones = 16383) {
  BankDef bank{{}, {{"Wide", OneKeyZones(60, zones, Set(53, 0))}}, {{"S", 0, 100}}, 1000};
  for (int p = 0; p < presets; ++p) {
    bank.presets.push_back({"P", p / 128, p % 128, {{Set(41, 0)}}});
  }
  return bank;
}

/// A bank of 219 KB that would write 1.28 GB: one sample of 100,000 frames played by 16 zones of
/// different coarse tunings (16 XI samples of it in every file), named by 400 presets.
inline BankDef AmplifyingBank() {
  std::vector<ZoneGens> zones;
  for (int z = 0; z < 16; ++z) {
    zones.push_back({KeyRange(6 * z, 6 * z + 5), Set(51, z), Set(53, 0)});
  }
  BankDef bank{{}, {{"Tunings", zones}}, {{"S", 0, 100000}}, 100000};
  for (int p = 0; p < 400; ++p) {
    bank.presets.push_back({"P", p / 128, p % 128, {{Set(41, 0)}}});
  }
  return bank;
}

/// Drum kits of 96 keys whose every zone renders for the longest a key may last (10 s at
/// 96,000 Hz: a looped sample decaying over 100 s, rooted on its key): `layers` zones a key,
/// named by `presets` presets of bank 128. A bank of 200 KB, each layer 92 million units of
/// rendering.
inline BankDef LongRendersBank(int presets, int layers) {
  std::vector<ZoneGens> zones;
  for (int key = 0; key < 96; ++key) {
    for (int layer = 0; layer < layers; ++layer) {
      zones.push_back(
          {KeyRange(key, key), Set(36, 7973), Set(37, 1000), Set(54, 1), Set(58, key), Set(53, 0)});
    }
  }
  BankDef bank{{}, {{"Long", zones}}, {{"S", 0, 100000, 0, 100000, 96000}}, 100000};
  for (int p = 0; p < presets; ++p) bank.presets.push_back({"K", 128, p, {{Set(41, 0)}}});
  return bank;
}

}  // namespace brumlet::testing
