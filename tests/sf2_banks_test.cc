// Every preset of Debian's General MIDI banks converted by the real program, and each file it
// writes checked against an independent reading of the bank (sf2_reader.h): the key map and
// sample headers of every file, and for a few presets the sample data frame by frame.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <tuple>

#include "program_test.h"
#include "sf2_reader.h"
#include "xi_reader.h"

namespace brumlet {
namespace {

using namespace brumlet::testing;
using namespace brumlet::measure;

// The zones sounding on each key at velocity 100.
std::vector<std::vector<const Sf2Zone*>> ZonesOnKeys(const Sf2Preset& preset) {
  std::vector<std::vector<const Sf2Zone*>> on(96);
  for (int k = 0; k < 96; ++k) {
    for (const Sf2Zone& z : preset.zones) {
      if (z.vel_low <= 100 && 100 <= z.vel_high && z.key_low <= k && k <= z.key_high) {
        on[k].push_back(&z);
      }
    }
  }
  return on;
}

// What a key plays: the layer kept among the zones sounding on it (below) and the other side of
// its stereo pair, if any; `header` is the XI sample header that must give it (as text, pitch
// apart), `pitch` its relative note x 128 + finetune, which the players' grid leaves within 4.
struct Sound {
  const Sf2Zone* zone = nullptr;
  const Sf2Zone* partner = nullptr;  ///< mixed in
  std::string header;
  double pitch = 0;
  bool scaled =
      false;       ///< a scale tuning over several keys: its keys get slots while there is room
  std::string id;  ///< tells apart the sounds the XI file must hold as samples of their own
};

// A zone's frames [start, end) with its address offsets, and its loop.
std::array<std::int64_t, 4> Span(const Sf2Reader& bank, const Sf2Zone& z) {
  const Sf2Sample& s = bank.samples[z.sample];
  const auto& g = z.gen;
  return {s.start + g[0] + 32768 * g[4], s.end + g[1] + 32768 * g[12],
          s.loop_start + g[2] + 32768 * g[45], s.loop_end + g[3] + 32768 * g[50]};
}

std::string HeaderText(const std::string& name, std::int64_t length, int type,
                       std::int64_t loop_start, std::int64_t loop_length, long volume,
                       long panning) {
  std::ostringstream text;
  text << '"' << name << "\" length " << length << " type " << type << " loop " << loop_start << '+'
       << loop_length << " volume " << volume << " panning " << panning;
  return text.str();
}

int Root(const Sf2Reader& bank, const Sf2Zone& z) {
  const int pitch = bank.samples[z.sample].original_pitch;
  return z.gen[58] >= 0 && z.gen[58] <= 127 ? z.gen[58] : pitch <= 127 ? pitch : 60;
}

// The pitch the modulation envelope holds once it has decayed to its sustain.
double HeldCents(const Sf2Zone& z) {
  return z.gen[7] * (1 - std::clamp(z.gen[29], 0, 1000) / 1000.0);
}

int Pan(const Sf2Zone& z) { return std::clamp(z.gen[17], -500, 500); }
int Scale(const Sf2Zone& z) { return std::clamp(z.gen[56], 0, 1200); }

// The cents a zone sounds above its rate on its root key; a single key's scale tuning included.
double Cents(const Sf2Reader& bank, const Sf2Zone& z) {
  double cents = std::clamp(z.gen[51], -120, 120) * 100 + std::clamp(z.gen[52], -99, 99) +
                 bank.samples[z.sample].correction + HeldCents(z);
  if (z.key_low == z.key_high) cents += (z.key_low - Root(bank, z)) * (Scale(z) - 100);
  return cents;
}

// `partner`: mixed in (a stereo pair, two mono recordings); `twin`: the same sample in another
// zone panned the other way, whose tuning and pan are averaged in; with `twin_pair`, the two are
// a stereo pair played twice, and the four tunings and pans are averaged.
Sound SoundOf(const Sf2Reader& bank, const Sf2Zone* z, const Sf2Zone* partner, const Sf2Zone* twin,
              const Sf2Zone* twin_pair = nullptr) {
  const Sf2Sample& s = bank.samples[z->sample];
  const auto& g = z->gen;
  const auto [start, end, loop_start, loop_end] = Span(bank, *z);
  const bool loops = (g[54] & 1) && start <= loop_start && loop_start < loop_end && loop_end <= end;
  double cents = Cents(bank, *z);
  double pan = Pan(*z);
  const Sf2Zone* other = partner ? partner : twin;
  if (other) pan = (pan + Pan(*other)) / 2;
  if (twin_pair) {
    pan = (pan + (Pan(*twin) + Pan(*twin_pair)) / 2.0) / 2;
    cents = (cents + Cents(bank, *partner) + Cents(bank, *twin) + Cents(bank, *twin_pair)) / 4;
  } else if (twin) {
    cents = (cents + Cents(bank, *twin)) / 2;
  }
  const long volume = std::lround(64 * std::pow(10, -0.4 * std::clamp(g[48], 0, 1440) / 200));
  Sound sound{
      z,
      partner,
      HeaderText(s.name, 2 * (end - start), loops ? 17 : 16, loops ? 2 * (loop_start - start) : 0,
                 loops ? 2 * (loop_end - loop_start) : 0, volume,
                 std::min(255L, std::lround(128 + pan * 128 / 500))),
      1536 * std::log2(s.rate / 16726.0) + (60 - Root(bank, *z)) * 128 + cents * 1.28,
      z->key_low != z->key_high && Scale(*z) != 100,
      ""};
  sound.id = sound.header + " pitch " + std::to_string(std::lround(sound.pitch * 100));
  if (partner) sound.id += " with " + std::to_string(Span(bank, *partner)[0]);
  return sound;
}

bool Plays(const XiSample& s, const Sound& sound) {
  return HeaderText(s.name, s.length, s.type, s.loop_start, s.loop_length, s.volume, s.panning) ==
             sound.header &&
         (sound.scaled || std::abs(s.relative_note * 128 + s.finetune - sound.pitch) <= 4.5);
}

// The sound a key keeps of the zones `on` it at velocity 100. Zones that are one sound pair up
// first, the louder leading: the two sides of a stereo sample (the side its link names, else the
// loudest other side); one mono sample in two zones panned apart; two mono samples alike in
// length, root and rate panned apart. Of the layers within 150 cB of the loudest, the key keeps
// one tuned within 50 cents on it, then one that loops or lasts 0.5 s, then the loudest, then the
// first.
Sound KeySound(const Sf2Reader& bank, const std::vector<const Sf2Zone*>& on, int key) {
  const auto side = [&](const Sf2Zone* z) { return bank.samples[z->sample].type & 6; };
  const auto att = [](const Sf2Zone* z) { return std::clamp(z->gen[48], 0, 1440); };
  std::vector<const Sf2Zone*> by_loudness = on;
  std::stable_sort(by_loudness.begin(), by_loudness.end(),
                   [&](const Sf2Zone* a, const Sf2Zone* b) { return att(a) < att(b); });
  struct Layer {
    const Sf2Zone *main, *partner = nullptr, *twin = nullptr, *twin_pair = nullptr;
    bool mono = false;  ///< two mono recordings
  };
  // Of two sides as loud, the left leads.
  const auto left = [&](const Sf2Zone* z) { return side(z) == 4 || (side(z) == 0 && Pan(*z) < 0); };
  const auto lead = [&](const Sf2Zone* z, const Sf2Zone* y) {
    return att(z) == att(y) && left(y) && !left(z) ? std::pair(y, z) : std::pair(z, y);
  };
  std::vector<Layer> layers;
  std::set<const Sf2Zone*> taken;
  const auto first_free = [&](auto fits) -> const Sf2Zone* {
    for (const Sf2Zone* y : by_loudness) {
      if (!taken.count(y) && fits(y)) return y;
    }
    return nullptr;
  };
  const auto alike = [&](const Sf2Zone* c, const Sf2Zone* z) {
    return c->key_low == z->key_low && c->key_high == z->key_high &&
           Root(bank, *c) == Root(bank, *z) &&
           bank.samples[c->sample].rate == bank.samples[z->sample].rate;
  };
  for (int pass = 0; pass < 3; ++pass) {  // the linked side, one alike, any
    for (const Sf2Zone* z : by_loudness) {
      if (taken.count(z) || (side(z) != 2 && side(z) != 4)) continue;
      const Sf2Zone* y = first_free([&](const Sf2Zone* c) {
        return side(c) == 6 - side(z) &&
               (pass == 2 || (pass == 1 ? alike(c, z) : c->sample == bank.samples[z->sample].link));
      });
      if (y)
        taken.insert(z), taken.insert(y), layers.push_back({lead(z, y).first, lead(z, y).second});
    }
  }
  for (const Sf2Zone* z : by_loudness) {
    if (taken.count(z) || side(z) == 2 || side(z) == 4) continue;
    const auto apart = [&](const Sf2Zone* c) {
      return c != z && side(c) != 2 && side(c) != 4 && Pan(*c) * Pan(*z) < 0;
    };
    if (const Sf2Zone* y =
            first_free([&](const Sf2Zone* c) { return apart(c) && c->sample == z->sample; })) {
      taken.insert(z), taken.insert(y);
      layers.push_back({lead(z, y).first, nullptr, lead(z, y).second});
      continue;
    }
    if (const Sf2Zone* y = first_free([&](const Sf2Zone* c) {
          return apart(c) && c->sample != z->sample && c->key_low == z->key_low &&
                 c->key_high == z->key_high && Root(bank, *c) == Root(bank, *z) &&
                 att(c) == att(z) && bank.samples[c->sample].rate == bank.samples[z->sample].rate;
        })) {
      taken.insert(z), taken.insert(y);
      layers.push_back({lead(z, y).first, lead(z, y).second, nullptr, nullptr, true});
    }
  }
  for (const Sf2Zone* z : on) {
    if (!taken.count(z)) layers.push_back({z});
  }
  // A pair played twice from the same root, panned and tuned apart: one pair at the means.
  std::stable_sort(layers.begin(), layers.end(),
                   [](const Layer& a, const Layer& b) { return a.main < b.main; });
  for (std::size_t i = 0; i < layers.size(); ++i) {
    if (!layers[i].partner) continue;
    for (std::size_t j = i + 1; j < layers.size() && !layers[i].twin_pair; ++j) {
      const auto samples = [](const Layer& l) {
        return std::minmax(l.main->sample, l.partner->sample);
      };
      if (layers[j].partner && layers[j].mono == layers[i].mono && !layers[j].twin_pair &&
          samples(layers[i]) == samples(layers[j]) &&
          Root(bank, *layers[i].main) == Root(bank, *layers[j].main)) {
        layers[i].twin_pair = layers[j].main, layers[i].twin = layers[j].partner;
        layers.erase(layers.begin() + static_cast<std::ptrdiff_t>(j));
      }
    }
  }
  const auto offset = [&](const Sf2Zone* z) {
    return std::clamp(z->gen[51], -120, 120) * 100 + std::clamp(z->gen[52], -99, 99) +
           HeldCents(*z) + (key - Root(bank, *z)) * (Scale(*z) - 100.0);
  };
  const auto rank = [&](const Layer& l) {
    const double cents = l.twin ? (offset(l.main) + offset(l.twin)) / 2 : offset(l.main);
    const auto span = Span(bank, *l.main);
    const bool loops = (l.main->gen[54] & 1) != 0;
    const bool short_one_shot =
        !loops && (span[1] - span[0]) < 0.5 * bank.samples[l.main->sample].rate;
    return std::tuple(std::abs(cents) > 50, short_one_shot, att(l.main), l.main);
  };
  int least = 1440;
  for (const Layer& l : layers) least = std::min(least, att(l.main));
  const Layer* best = nullptr;
  for (const Layer& l : layers) {
    if (att(l.main) <= least + 150 && (!best || rank(l) < rank(*best))) best = &l;
  }
  return SoundOf(bank, best->main, best->partner, best->twin, best->twin_pair);
}

// What keys 0..95 play at velocity 100 (KeySound); a key nothing sounds on plays the nearest key's
// sound, the lower on a tie. Empty where no key has a zone.
std::vector<Sound> KeySounds(const Sf2Reader& bank, const Sf2Preset& preset) {
  std::vector<std::optional<Sound>> keys(96);
  const auto on = ZonesOnKeys(preset);
  for (int k = 0; k < 96; ++k) {
    if (!on[k].empty()) keys[k] = KeySound(bank, on[k], k);
  }
  std::vector<Sound> filled;
  for (int k = 0; k < 96; ++k) {
    for (int d = 0; d < 96 && filled.size() == static_cast<std::size_t>(k); ++d) {
      if (k - d >= 0 && keys[k - d])
        filled.push_back(*keys[k - d]);
      else if (k + d < 96 && keys[k + d])
        filled.push_back(*keys[k + d]);
    }
  }
  return filled;
}

// The frames a sound's XI sample holds, as the file stores them: (L + R) >> 1 for a pair, the
// partner's missing frames silent, inverted.
std::vector<int> ExpectedData(Sf2Reader& bank, const Sound& sound) {
  const auto span = Span(bank, *sound.zone);
  std::vector<int> data = bank.Frames(span[0], span[1] - span[0]);
  if (sound.partner) {
    const auto other = Span(bank, *sound.partner);
    const std::vector<int> right =
        bank.Frames(other[0], std::min(other[1] - other[0], span[1] - span[0]));
    for (std::size_t i = 0; i < data.size(); ++i) {
      data[i] = (data[i] + (i < right.size() ? right[i] : 0)) >> 1;
    }
  }
  for (int& v : data) v = -1 - v;
  return data;
}

// What the checks found over a bank's presets.
struct Facts {
  int presets = 0, files = 0, reduced = 0, split = 0, stereo = 0, velocity_layers = 0, layers = 0;
  int kits = 0;
  bool operator==(const Facts&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Facts& f) {
  return out << f.presets << " presets, " << f.files << " files, " << f.reduced << " reduced, "
             << f.split << " split, " << f.stereo << " with stereo pairs, with left out "
             << f.velocity_layers << " velocity layers and " << f.layers << " layers, " << f.kits
             << " kits";
}

// A preset is laid out as a drum kit in bank 128, or when at least 8 zones sound at velocity 100
// (a right side counted with the left side on the same keys) and three quarters of them sit on
// one key each.
bool IsKit(const Sf2Reader& bank, const Sf2Preset& preset) {
  if (preset.bank == 128) return true;
  std::set<std::pair<int, int>> lefts;
  for (const Sf2Zone& z : preset.zones) {
    if ((bank.samples[z.sample].type & 6) == 4) lefts.insert({z.key_low, z.key_high});
  }
  int count = 0, single = 0;
  for (const Sf2Zone& z : preset.zones) {
    if (z.vel_low > 100 || z.vel_high < 100 || z.key_low > 95) continue;
    if ((bank.samples[z.sample].type & 6) == 2 && lefts.count({z.key_low, z.key_high})) continue;
    ++count;
    single += z.key_low == z.key_high;
  }
  return count >= 8 && 4 * single >= 3 * count;
}

// A drum kit: each key with a zone at velocity 100 has a sample of its own, rendered from every
// zone sounding there at a rate (relative note, finetune 0) that plays it as it is on that key
// and holds the fastest zone's rate; runs of 16 such keys make a part, named for its keys when
// the kit is split. The renders themselves are the render tests' to hear.
void CheckKit(ProgramTest& t, const Sf2Reader& bank, const Sf2Preset& preset,
              const std::vector<std::string>& lines, Facts& facts) {
  const auto on = ZonesOnKeys(preset);
  std::vector<int> drums;
  for (int k = 0; k < 96; ++k) {
    if (!on[k].empty()) drums.push_back(k);
  }
  const std::size_t parts = (drums.size() + 15) / 16;
  ASSERT_EQ(lines.size(), parts);
  ++facts.kits;
  facts.files += static_cast<int>(parts);
  facts.split += parts > 1;
  for (std::size_t part = 0; part < parts; ++part) {
    const std::string& line = lines[part];
    const std::size_t arrow = line.find("  ->  ") + 6;
    const XiFile xi = ParseXi(t.Read(line.substr(arrow, line.find(".xi  (", arrow) + 3 - arrow)));
    ASSERT_TRUE(xi.complete) << line;
    const std::vector<int> own(
        drums.begin() + static_cast<std::ptrdiff_t>(16 * part),
        drums.begin() + static_cast<std::ptrdiff_t>(std::min(drums.size(), 16 * part + 16)));
    EXPECT_EQ(xi.sample_count, static_cast<int>(own.size())) << line;
    if (parts > 1) {
      const std::string keys = std::to_string(own.front()) + "-" + std::to_string(own.back());
      EXPECT_NE(line.find("keys " + keys), std::string::npos) << line;
      EXPECT_NE(xi.instrument_name.find(" " + keys), std::string::npos) << xi.instrument_name;
    }
    std::set<int> slots;
    for (int k : own) {
      SCOPED_TRACE(line + " key " + std::to_string(k));
      ASSERT_TRUE(slots.insert(xi.key_map[k]).second) << "a key of its own";
      const XiSample& s = xi.samples.at(xi.key_map[k]);
      const Sf2Zone* loudest = on[k].front();
      std::uint32_t fastest = 0;
      for (const Sf2Zone* z : on[k]) {
        if (std::clamp(z->gen[48], 0, 1440) < std::clamp(loudest->gen[48], 0, 1440)) loudest = z;
        fastest = std::max(fastest, bank.samples[z->sample].rate);
      }
      EXPECT_EQ(s.name, bank.samples[loudest->sample].name);
      EXPECT_EQ(s.volume, 64);
      EXPECT_EQ(s.finetune % 8, 0);
      EXPECT_EQ(s.type & 16, 16);
      EXPECT_GT(s.length, 0);
      // The rate the key plays the sample at, a sixteenth of a semitone above or below.
      const auto rate = [&](int sixteenths) {
        return 8363 * std::exp2((k - 48 + s.relative_note + s.finetune / 128.0) / 12.0 +
                                sixteenths / 192.0);
      };
      EXPECT_TRUE(rate(0) >= fastest * 0.9999 || rate(1) > 96000);
      EXPECT_TRUE(rate(-1) < fastest || s.relative_note == -k);
    }
  }
}

// Checks the files whose report lines are `lines` against what `preset` must give; `data`
// compares the sample data too.
void CheckPreset(ProgramTest& t, Sf2Reader& bank, const Sf2Preset& preset,
                 const std::vector<std::string>& lines, bool data, Facts& facts) {
  SCOPED_TRACE(std::to_string(preset.bank) + ":" + std::to_string(preset.program) + " " +
               preset.name);
  if (IsKit(bank, preset)) {
    CheckKit(t, bank, preset, lines, facts);
    return;
  }
  const std::vector<Sound> keys = KeySounds(bank, preset);
  ASSERT_FALSE(keys.empty()) << "plays nothing on keys 0 to 95";
  std::set<std::string> distinct;
  std::map<std::string, int> headers;  // distinct sounds per header
  for (const Sound& s : keys) headers[s.header] += distinct.insert(s.id).second;
  const std::vector<std::pair<int, int>> runs = {{0, 95}};
  const bool reduced = distinct.size() > 16;
  ASSERT_EQ(lines.size(), runs.size());
  facts.files += static_cast<int>(runs.size());
  facts.reduced += reduced;
  facts.split += runs.size() > 1;
  facts.stereo += std::any_of(keys.begin(), keys.end(), [](const Sound& s) { return s.partner; });
  facts.velocity_layers += std::regex_search(lines[0], std::regex("[0-9]+ velocity layers?[, ]"));
  facts.layers += std::regex_search(lines[0], std::regex("[;,] [0-9]+ layers?[, ]"));
  for (std::size_t part = 0; part < runs.size(); ++part) {
    const std::string& line = lines[part];
    const std::size_t arrow = line.find("  ->  ") + 6;
    const std::string file = line.substr(arrow, line.find(".xi  (", arrow) + 3 - arrow);
    char numbers[16];
    std::snprintf(numbers, sizeof numbers, "%03d-%03d", preset.bank, preset.program);
    EXPECT_EQ(file.substr(0, 7), numbers);
    const XiFile xi = ParseXi(t.Read(file));
    ASSERT_TRUE(xi.complete) << file;
    EXPECT_EQ(xi.instrument_name.substr(0, preset.name.size()), preset.name);
    EXPECT_LE(xi.sample_count, 16);
    EXPECT_NE(line.find(std::string("(").append(std::to_string(xi.sample_count)).append(" sample")),
              std::string::npos);
    if (reduced) {
      EXPECT_NE(line.find(std::to_string(distinct.size() - 16) + " sample"), std::string::npos)
          << line;
    }
    std::set<int> compared;
    const auto [low, high] = runs[part];
    for (int k = 0; k < 96; ++k) {
      const Sound& sound = keys[std::clamp(k, low, high)];
      const XiSample& s = xi.samples.at(xi.key_map[k]);
      if (reduced && (headers[sound.header] > 1 ||
                      std::none_of(xi.samples.begin(), xi.samples.end(),
                                   [&](const XiSample& x) { return Plays(x, sound); }))) {
        // Merged away, or not told apart from a sound that was: another of the preset's sounds.
        EXPECT_TRUE(std::any_of(keys.begin(), keys.end(),
                                [&](const Sound& other) { return Plays(s, other); }));
        continue;
      }
      EXPECT_TRUE(Plays(s, sound))
          << file << " key " << k << " plays "
          << HeaderText(s.name, s.length, s.type, s.loop_start, s.loop_length, s.volume, s.panning)
          << " pitch " << s.relative_note * 128 + s.finetune << "\ninstead of " << sound.header
          << " pitch " << sound.pitch;
      if (data && compared.insert(xi.key_map[k]).second) {
        const std::vector<int> expected = ExpectedData(bank, sound);
        ASSERT_EQ(s.data.size(), expected.size()) << file << " key " << k;
        const auto [a, b] = std::mismatch(s.data.begin(), s.data.end(), expected.begin());
        EXPECT_EQ(a, s.data.end()) << file << " key " << k << ": frame " << (a - s.data.begin());
      }
    }
  }
}

struct BankCase {
  std::string bank, package;
  Facts facts;
  std::set<std::pair<int, int>> data;  // presets whose sample data is compared
};

void PrintTo(const BankCase& c, std::ostream* out) { *out << c.bank; }

class RealBanks : public ProgramTest, public ::testing::WithParamInterface<BankCase> {};

TEST_P(RealBanks, EveryPresetPlaysAsTheBankSays) {
  const BankCase& c = GetParam();
  const std::string path = "/usr/share/sounds/sf2/" + c.bank;
  if (!fs::exists(path))
    GTEST_SKIP() << c.bank << " is missing (Debian package " << c.package << ")";
  const Result r = Run({"--sf2", path});
  ASSERT_EQ(r.code, 0) << r.out;
  std::map<std::pair<int, int>, std::vector<std::string>> lines;
  std::istringstream report(r.out);
  for (std::string line; std::getline(report, line);) {
    if (line.find("  ->  ") == std::string::npos) continue;
    lines[{std::stoi(line.substr(0, 3)), std::stoi(line.substr(4, 3))}].push_back(line);
  }
  Sf2Reader bank(path);
  Facts facts;
  for (const Sf2Preset& preset : bank.presets) {
    ++facts.presets;
    CheckPreset(*this, bank, preset, lines[{preset.bank, preset.program}],
                c.data.count({preset.bank, preset.program}) > 0, facts);
  }
  // Nothing else written: the files and the test's stdin and stdout.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), {}), facts.files + 2);
  EXPECT_EQ(facts, c.facts);
}

// TimGM6mb: Church Organ's first zone is a quiet octave layer. FluidR3: the grand piano's stereo
// pairs, whose links are wrong, are mixed, and it has more than 16 samples. In both, the kits
// are exactly the presets of bank 128: no melodic preset looks like one.
INSTANTIATE_TEST_SUITE_P(
    Debian, RealBanks,
    ::testing::Values(
        BankCase{"TimGM6mb.sf2", "timgm6mb-soundfont", {136, 160, 0, 8, 2, 0, 40, 8}, {{0, 19}}},
        BankCase{
            "FluidR3_GM.sf2", "fluid-soundfont-gm", {189, 282, 15, 31, 78, 65, 35, 31}, {{0, 0}}}),
    [](const auto& info) { return info.param.bank.substr(0, info.param.bank.find('.')); });

}  // namespace
}  // namespace brumlet
