// A reading of a SoundFont 2 bank for checking what the program makes of real banks: the sample
// headers, each preset's zones flattened as the format combines them, and the sample frames.
// Written apart from the program's reader, so that a fault there shows up as a difference here.
// It trusts the bank's structure: the refusals of broken banks are tested over banks built in
// code. A field beyond the end of what it read throws std::out_of_range, and no read asks for
// more than the file holds.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace brumlet::measure {

struct Sf2Sample {
  std::string name;
  std::int64_t start = 0, end = 0, loop_start = 0, loop_end = 0;
  std::uint32_t rate = 0;
  int original_pitch = 0, correction = 0, link = 0, type = 0;
};

/// A preset zone over an instrument zone: ranges intersected, and every generator the instrument
/// zone's (or its global zone's, or the default) plus the preset zone's where the format adds it.
struct Sf2Zone {
  int key_low = 0, key_high = 127, vel_low = 0, vel_high = 127;
  int sample = 0;
  std::array<int, 61> gen{};
};

struct Sf2Preset {
  std::string name;
  int bank = 0, program = 0;
  std::vector<Sf2Zone> zones;
};

class Sf2Reader {
 public:
  explicit Sf2Reader(const std::string& path) : file_(path, std::ios::binary) {
    std::map<std::string, std::string> pdta;
    for (std::int64_t at = 12;;) {  // the RIFF sfbk form's LIST chunks
      const std::string list = ReadAt(at, 12);
      if (list.size() < 12) break;
      const std::int64_t end = at + 8 + U(list, 4, 4);
      for (std::int64_t sub = at + 12; sub + 8 <= end;) {
        const std::string head = ReadAt(sub, 8);
        const std::uint32_t size = U(head, 4, 4);
        if (head.compare(0, 4, "smpl") == 0) smpl_ = sub + 8;
        if (list.compare(8, 4, "pdta") == 0) pdta[head.substr(0, 4)] = ReadAt(sub + 8, size);
        sub += 8 + size + (size & 1);
      }
      at = end + ((end - at) & 1);
    }
    const std::string& shdr = pdta["shdr"];
    for (std::size_t at = 0; at + 2 * 46 <= shdr.size(); at += 46) {
      samples.push_back(
          {Name(shdr, at), U(shdr, at + 20, 4), U(shdr, at + 24, 4), U(shdr, at + 28, 4),
           U(shdr, at + 32, 4), U(shdr, at + 36, 4), static_cast<int>(U(shdr, at + 40, 1)),
           static_cast<std::int8_t>(U(shdr, at + 41, 1)), static_cast<int>(U(shdr, at + 42, 2)),
           static_cast<int>(U(shdr, at + 44, 2))});
    }
    const std::string& phdr = pdta["phdr"];
    const std::string& inst = pdta["inst"];
    for (std::size_t at = 0; at + 2 * 38 <= phdr.size(); at += 38) {
      Sf2Preset preset{Name(phdr, at),
                       static_cast<int>(U(phdr, at + 22, 2)),
                       static_cast<int>(U(phdr, at + 20, 2)),
                       {}};
      for (const Level& p :
           Levels(pdta["pbag"], pdta["pgen"], U(phdr, at + 24, 2), U(phdr, at + 62, 2), 41)) {
        const std::size_t i = 22 * static_cast<std::size_t>(p.target);
        for (const Level& z :
             Levels(pdta["ibag"], pdta["igen"], U(inst, i + 20, 2), U(inst, i + 42, 2), 53)) {
          Sf2Zone zone;
          zone.sample = z.target;
          Intersect(p, z, 43, zone.key_low, zone.key_high);
          Intersect(p, z, 44, zone.vel_low, zone.vel_high);
          if (zone.key_low > zone.key_high || zone.vel_low > zone.vel_high) continue;
          for (int oper = 0; oper < 61; ++oper) {
            zone.gen[oper] = z.gens.count(oper) ? Signed(z.gens.at(oper)) : Default(oper);
            if (p.gens.count(oper) && !InstrumentOnly(oper))
              zone.gen[oper] += Signed(p.gens.at(oper));
          }
          preset.zones.push_back(zone);
        }
      }
      presets.push_back(std::move(preset));
    }
  }

  /// `count` frames of the sample data from frame `first`.
  std::vector<int> Frames(std::int64_t first, std::int64_t count) {
    const std::string bytes = ReadAt(smpl_ + 2 * first, 2 * count);
    std::vector<int> frames;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
      frames.push_back(static_cast<std::int16_t>(U(bytes, i, 2)));
    }
    return frames;
  }

  std::vector<Sf2Sample> samples;  ///< without the terminal record
  std::vector<Sf2Preset> presets;  ///< in the bank's order, without the terminal record

 private:
  // One zone of one level: its generators over the list's global zone, and what it names.
  struct Level {
    std::map<int, std::uint16_t> gens;
    int target = -1;
  };

  static std::uint32_t U(const std::string& b, std::size_t at, int bytes) {
    std::uint32_t v = 0;
    for (int i = 0; i < bytes; ++i)
      v |= static_cast<std::uint32_t>(static_cast<std::uint8_t>(b.at(at + i))) << 8 * i;
    return v;
  }
  static std::string Name(const std::string& b, std::size_t at) {
    const std::string name = b.substr(at, 20);
    return name.substr(0, name.find('\0'));
  }
  static int Signed(std::uint16_t amount) { return static_cast<std::int16_t>(amount); }
  // Address offsets, sampleModes, exclusiveClass, overridingRootKey and the like.
  static bool InstrumentOnly(int oper) {
    for (int o : {0, 1, 2, 3, 4, 12, 45, 46, 47, 50, 54, 57, 58}) {
      if (o == oper) return true;
    }
    return false;
  }
  // The defaults this reader's users read: scaleTuning 100, overridingRootKey none; 0 otherwise.
  static int Default(int oper) { return oper == 56 ? 100 : oper == 58 ? -1 : 0; }
  static void Intersect(const Level& p, const Level& z, int oper, int& low, int& high) {
    for (const Level* l : {&p, &z}) {
      if (!l->gens.count(oper)) continue;
      low = std::max<int>(low, l->gens.at(oper) & 0xFF);
      high = std::min<int>(high, l->gens.at(oper) >> 8);
    }
  }

  // The zones of bags [first, end) whose generators end with `terminal`, each over the global
  // zone (the first, when it names nothing).
  static std::vector<Level> Levels(const std::string& bags, const std::string& gens,
                                   std::uint32_t first, std::uint32_t end, int terminal) {
    std::vector<Level> zones;
    Level global;
    for (std::uint32_t b = first; b < end; ++b) {
      Level zone = global;
      zone.target = -1;
      for (std::uint32_t g = U(bags, 4 * b, 2); g < U(bags, 4 * b + 4, 2); ++g) {
        const int oper = static_cast<int>(U(gens, 4 * g, 2));
        const auto amount = static_cast<std::uint16_t>(U(gens, 4 * g + 2, 2));
        if (oper == terminal) zone.target = amount;
        if (oper == terminal) break;
        zone.gens[oper] = amount;
      }
      if (zone.target >= 0) zones.push_back(zone);
      if (zone.target < 0 && b == first) global = zone;
    }
    return zones;
  }

  std::string ReadAt(std::int64_t at, std::int64_t count) {
    file_.clear();
    file_.seekg(0, std::ios::end);
    count = std::clamp<std::int64_t>(count, 0, std::max<std::int64_t>(0, file_.tellg() - at));
    std::string bytes(static_cast<std::size_t>(count), '\0');
    file_.seekg(at);
    file_.read(bytes.data(), count);
    bytes.resize(static_cast<std::size_t>(file_.gcount()));
    return bytes;
  }

  std::ifstream file_;
  std::int64_t smpl_ = 0;
};

}  // namespace brumlet::measure
