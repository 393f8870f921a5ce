// Builds SoundFont 2 banks in memory for the tests: presets, instruments and samples described as
// plain lists, laid out as the format lays them out, terminal records included. The parts stay
// apart until Assemble, so that a test can break any one of them.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "riff_builder.h"

namespace brumlet::testing {

struct Gen {
  std::uint16_t oper;
  std::uint16_t amount;
};
inline Gen KeyRange(int low, int high) { return {43, static_cast<std::uint16_t>(low | high << 8)}; }
inline Gen VelRange(int low, int high) { return {44, static_cast<std::uint16_t>(low | high << 8)}; }
inline Gen Set(int oper, int value) {
  return {static_cast<std::uint16_t>(oper), static_cast<std::uint16_t>(value)};
}
using ZoneGens = std::vector<Gen>;  // with its instrument or sampleID generator, where it has one

struct PresetDef {
  std::string name;
  int bank = 0;
  int program = 0;
  std::vector<ZoneGens> zones;
};
struct InstrumentDef {
  std::string name;
  std::vector<ZoneGens> zones;
};
struct SampleDef {
  std::string name;
  std::uint32_t start, end, loop_start = 0, loop_end = 0, rate = 44100;
  int pitch = 60, correction = 0, link = 0, type = 1;
};
struct BankDef {
  std::vector<PresetDef> presets;
  std::vector<InstrumentDef> instruments;
  std::vector<SampleDef> samples;
  std::uint32_t frames = 1000;
};

/// The bank's lists before assembly: INFO's and sdta's chunks, and the nine tables in order.
struct Sf2Parts {
  Bytes info;
  Bytes sdta;
  std::vector<std::pair<std::string, Bytes>> hydra;
};

inline void PutName(Bytes& b, const std::string& name) {
  for (std::size_t i = 0; i < 20; ++i) b.push_back(i < name.size() ? name[i] : 0);
}

inline Sf2Parts Parts(const BankDef& bank) {
  Bytes phdr, pbag, pgen, inst, ibag, igen, shdr, mods(10, 0);
  std::uint32_t bags = 0, gens = 0;
  auto zones = [&](const std::vector<ZoneGens>& list, Bytes& bag, Bytes& gen) {
    for (const ZoneGens& zone : list) {
      Put16(bag, gens);
      Put16(bag, 0);
      for (const Gen& g : zone) Put16(gen, g.oper), Put16(gen, g.amount), ++gens;
      ++bags;
    }
  };
  for (const PresetDef& p : bank.presets) {
    PutName(phdr, p.name);
    Put16(phdr, p.program), Put16(phdr, p.bank), Put16(phdr, bags);
    Put32(phdr, 0), Put32(phdr, 0), Put32(phdr, 0);
    zones(p.zones, pbag, pgen);
  }
  PutName(phdr, "EOP");
  Put16(phdr, 0), Put16(phdr, 0), Put16(phdr, bags), Put32(phdr, 0), Put32(phdr, 0), Put32(phdr, 0);
  Put16(pbag, gens), Put16(pbag, 0), Put32(pgen, 0);
  bags = gens = 0;
  for (const InstrumentDef& i : bank.instruments) {
    PutName(inst, i.name);
    Put16(inst, bags);
    zones(i.zones, ibag, igen);
  }
  PutName(inst, "EOI"), Put16(inst, bags);
  Put16(ibag, gens), Put16(ibag, 0), Put32(igen, 0);
  std::vector<SampleDef> samples = bank.samples;
  samples.push_back({"EOS", 0, 0, 0, 0, 0, 0, 0, 0, 0});
  for (const SampleDef& s : samples) {
    PutName(shdr, s.name);
    for (std::uint32_t v : {s.start, s.end, s.loop_start, s.loop_end, s.rate}) Put32(shdr, v);
    shdr.push_back(static_cast<std::uint8_t>(s.pitch));
    shdr.push_back(static_cast<std::uint8_t>(s.correction));
    Put16(shdr, s.link), Put16(shdr, s.type);
  }
  Bytes smpl(2 * bank.frames);
  for (std::size_t i = 0; i < smpl.size(); ++i) smpl[i] = static_cast<std::uint8_t>(i * 7);
  return {Concat({Chunk("ifil", {2, 0, 4, 0}), Chunk("INAM", {'B', 'a', 'n', 'k', 0, 0})}),
          Chunk("smpl", smpl),
          // clang-format off
          {{"phdr", phdr}, {"pbag", pbag}, {"pmod", mods}, {"pgen", pgen}, {"inst", inst},
           {"ibag", ibag}, {"imod", mods}, {"igen", igen}, {"shdr", shdr}}};
  // clang-format on
}

inline Bytes List(std::string_view type, const Bytes& data) {
  return Chunk("LIST", Concat({Bytes(type.begin(), type.end()), data}));
}

inline Bytes Assemble(const Sf2Parts& parts) {
  Bytes pdta;
  for (const auto& [id, data] : parts.hydra) pdta = Concat({pdta, Chunk(id, data)});
  return Chunk("RIFF", Concat({Bytes{'s', 'f', 'b', 'k'}, List("INFO", parts.info),
                               List("sdta", parts.sdta), List("pdta", pdta)}));
}

inline Bytes Sf2(const BankDef& bank) { return Assemble(Parts(bank)); }

}  // namespace brumlet::testing
