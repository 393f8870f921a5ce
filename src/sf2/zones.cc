#include "sf2/zones.h"

#include <algorithm>
#include <array>
#include <bitset>

#include "messages.h"
#include "sampler/xi_units.h"

namespace brumlet::sf2 {
namespace {

// The frame offsets of the sample address generators: fine offsets count frames, coarse ones
// 32768 frames.
constexpr std::int64_t kCoarseFrames = 32768;

// One zone of one level as its generators give it: the amounts as stored, 16 bits each, so that
// the zones of a large list stay small.
struct LevelZone {
  std::array<std::int16_t, gen::kCount> values{};
  std::bitset<gen::kCount> set;
  std::optional<Range> keys;
  std::optional<Range> velocities;
  std::optional<std::uint16_t> target;  ///< the instrument (preset level) or sample it names
};

// The zones of one level's list (a preset's or an instrument's): its global zone, if any, and
// its other zones, each already over the global zone.
struct LevelList {
  std::vector<LevelZone> zones;
  /// Each zone's key and velocity range again, low and high, one byte each: every preset zone
  /// scans these for the zones it meets, and a scan of four bytes a zone stays cheap for
  /// instruments of tens of thousands of zones.
  std::vector<std::array<std::uint8_t, 4>> ranges;
  std::optional<PresetSkip> skip;
};

Range RangeOf(const Generator& g) { return Range{g.Low(), std::min<int>(g.High(), 127)}; }

Range Intersect(const std::optional<Range>& a, const std::optional<Range>& b) {
  const Range x = a.value_or(Range{}), y = b.value_or(Range{});
  return Range{std::max(x.low, y.low), std::min(x.high, y.high)};
}

// Reads one zone's generators. `terminal` is the generator that names what the zone plays
// (instrument or sampleID): it ends the list, and whatever follows it is ignored. The key range
// counts only as the first generator and the velocity range only as the first or after the key
// range, as the format orders them.
LevelZone ReadZone(const std::vector<Generator>& generators, std::uint32_t begin, std::uint32_t end,
                   bool preset_level) {
  const int terminal = preset_level ? gen::kInstrument : gen::kSampleId;
  LevelZone zone;
  for (std::uint32_t i = begin; i < end; ++i) {
    const Generator& g = generators[i];
    const std::uint32_t position = i - begin;
    if (g.oper == terminal) {
      zone.target = g.amount;
      break;
    }
    if (g.oper == gen::kKeyRange) {
      if (position == 0) zone.keys = RangeOf(g);
      continue;
    }
    if (g.oper == gen::kVelRange) {
      if (position == 0 || (position == 1 && zone.keys)) zone.velocities = RangeOf(g);
      continue;
    }
    const GeneratorUse use = UseOf(g.oper);
    if (use == GeneratorUse::kAdditive || (use == GeneratorUse::kInstrumentOnly && !preset_level)) {
      zone.values[g.oper] = g.Signed();  // a generator given twice: the later one counts
      zone.set.set(g.oper);
    }
  }
  return zone;
}

// Reads the zones [first_bag, end_bag) of one list. The first zone is the global zone when it
// names nothing; it is laid under every other zone. Other zones that name nothing are ignored.
LevelList ReadList(const std::vector<Bag>& bags, const std::vector<Generator>& generators,
                   std::uint32_t first_bag, std::uint32_t end_bag, bool preset_level) {
  const std::string_view bag_table = preset_level ? "pbag" : "ibag";
  const std::string_view generator_table = preset_level ? "pgen" : "igen";
  LevelList list;
  // A zone's generators end where the next bag's begin, so the last zone needs bag end_bag.
  if (first_bag > end_bag || end_bag >= bags.size()) {
    list.skip = PresetSkip{PresetRecordsOutside(bag_table, first_bag, end_bag, bags.size())};
    return list;
  }
  std::optional<LevelZone> global;
  std::vector<int> global_opers;  // the generators the global zone sets
  list.zones.reserve(end_bag - first_bag);
  list.ranges.reserve(end_bag - first_bag);
  for (std::uint32_t b = first_bag; b < end_bag; ++b) {
    const std::uint32_t begin = bags[b].first_generator, end = bags[b + 1].first_generator;
    if (begin > end || end > generators.size()) {
      list.skip = PresetSkip{PresetRecordsOutside(generator_table, begin, end, generators.size())};
      list.zones.clear();
      list.ranges.clear();
      return list;
    }
    LevelZone zone = ReadZone(generators, begin, end, preset_level);
    if (!zone.target) {
      if (b == first_bag) {
        global = std::move(zone);
        for (int oper = 0; oper < gen::kCount; ++oper) {
          if (global->set[oper]) global_opers.push_back(oper);
        }
      }
      continue;
    }
    if (global) {
      for (int oper : global_opers) {
        if (!zone.set[oper]) zone.values[oper] = global->values[oper];
      }
      zone.set |= global->set;
      if (!zone.keys) zone.keys = global->keys;
      if (!zone.velocities) zone.velocities = global->velocities;
    }
    const Range keys = zone.keys.value_or(Range{}), velocities = zone.velocities.value_or(Range{});
    list.ranges.push_back(
        {static_cast<std::uint8_t>(keys.low), static_cast<std::uint8_t>(keys.high),
         static_cast<std::uint8_t>(velocities.low), static_cast<std::uint8_t>(velocities.high)});
    list.zones.push_back(std::move(zone));
  }
  return list;
}

// Checks the sample a zone plays and places its frames, offsets applied. The sums are taken in
// 64 bits: a sample's 32-bit positions and the signed offsets (coarse ones in steps of 32768
// frames) reach beyond what 32 bits hold, and a sum that wrapped could land inside the data.
std::optional<PresetSkip> PlaceSample(const Bank& bank, Zone& zone) {
  const SampleHeader& s = bank.samples[zone.sample];
  if (s.type & (sample_type::kRom | sample_type::kCompressed)) {
    return PresetSkip{PresetSampleNotInBank(DisplayText(s.name))};
  }
  // Rates outside these cannot give an XI pitch.
  if (s.rate < sampler::kMinRate || s.rate > sampler::kMaxRate) {
    return PresetSkip{PresetSampleRate(DisplayText(s.name), s.rate)};
  }
  const GeneratorValues& v = zone.values;
  const auto at = [&v](std::uint32_t point, int fine, int coarse) {
    return std::int64_t{point} + std::int64_t{v[fine]} + kCoarseFrames * std::int64_t{v[coarse]};
  };
  zone.start = at(s.start, gen::kStartAddrsOffset, gen::kStartAddrsCoarseOffset);
  zone.end = at(s.end, gen::kEndAddrsOffset, gen::kEndAddrsCoarseOffset);
  zone.loop_start = at(s.loop_start, gen::kStartloopAddrsOffset, gen::kStartloopAddrsCoarseOffset);
  zone.loop_end = at(s.loop_end, gen::kEndloopAddrsOffset, gen::kEndloopAddrsCoarseOffset);
  if (zone.start < 0 || zone.start >= zone.end || zone.end > bank.sample_frames) {
    return PresetSkip{
        PresetSampleOutside(DisplayText(s.name), zone.start, zone.end, bank.sample_frames)};
  }
  return std::nullopt;
}

}  // namespace

// Each instrument's list, read the first time a preset names it.
struct Flattener::Lists {
  std::vector<std::optional<LevelList>> instruments;
};

Flattener::Flattener(const Bank& bank) : bank_(bank), lists_(std::make_unique<Lists>()) {
  lists_->instruments.resize(bank.instruments.size() - 1);  // less the terminal record
}

Flattener::~Flattener() = default;

const FlatPreset& Flattener::Skip(PresetSkip skip) {
  flat_.zones.clear();
  flat_.skip = std::move(skip);
  return flat_;
}

const FlatPreset& Flattener::Flatten(std::size_t preset, sampler::WorkBudget& budget) {
  const Bank& bank = bank_;
  flat_.zones.clear();
  flat_.skip.reset();
  const LevelList presets =
      ReadList(bank.preset_bags, bank.preset_generators, bank.presets[preset].first_bag,
               bank.presets[preset + 1].first_bag, true);
  if (presets.skip) return Skip(*presets.skip);

  const std::size_t instrument_count = lists_->instruments.size();
  const std::size_t sample_count = bank.samples.size() - 1;
  std::vector<Zone>& zones = flat_.zones;
  for (const LevelZone& p : presets.zones) {
    const std::uint16_t i = *p.target;
    if (i >= instrument_count) {
      return Skip({PresetIndexOutside("instrument", i, instrument_count)});
    }
    std::optional<LevelList>& list = lists_->instruments[i];
    if (!list) {
      list = ReadList(bank.instrument_bags, bank.instrument_generators,
                      bank.instruments[i].first_bag, bank.instruments[i + 1].first_bag, false);
    }
    if (list->skip) return Skip(*list->skip);
    // Every pair is work, also one whose ranges do not meet: a preset of a few bytes can name an
    // instrument of tens of thousands of zones, none of which it keeps.
    if (!budget.Spend(list->zones.size())) return Skip({PresetTooMuchWork()});
    const Range preset_keys = Intersect(p.keys, std::nullopt);
    const Range preset_velocities = Intersect(p.velocities, std::nullopt);
    for (std::size_t n = 0; n < list->zones.size(); ++n) {
      const std::array<std::uint8_t, 4>& r = list->ranges[n];
      if (std::max<int>(preset_keys.low, r[0]) > std::min<int>(preset_keys.high, r[1]) ||
          std::max<int>(preset_velocities.low, r[2]) >
              std::min<int>(preset_velocities.high, r[3])) {
        continue;
      }
      const LevelZone& z = list->zones[n];
      const Range keys = Intersect(preset_keys, z.keys);
      const Range velocities = Intersect(preset_velocities, z.velocities);
      Zone zone;
      zone.instrument = i;
      zone.sample = *z.target;
      zone.keys = keys;
      zone.velocities = velocities;
      if (zone.sample >= sample_count) {
        return Skip({PresetIndexOutside("sample", zone.sample, sample_count)});
      }
      if (zones.size() == kMaxZones) return Skip({PresetTooManyZones(kMaxZones)});
      zone.values = DefaultGenerators();
      for (int oper = 0; oper < gen::kCount; ++oper) {
        if (z.set[oper]) zone.values[oper] = z.values[oper];
        if (p.set[oper]) zone.values[oper] += p.values[oper];
      }
      if (auto skip = PlaceSample(bank, zone)) return Skip(*skip);
      zones.push_back(zone);
    }
  }
  return flat_;
}

}  // namespace brumlet::sf2
