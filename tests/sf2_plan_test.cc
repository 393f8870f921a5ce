// Presets of banks built in memory, flattened into zones and planned as XI instruments.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "fake_platform.h"
#include "sampler/envelope_mapping.h"
#include "sampler/xi_units.h"
#include "sf2/preset_plan.h"
#include "sf2_builder.h"

namespace brumlet {
namespace {

using namespace brumlet::testing;
using sf2::gen::kCoarseTune, sf2::gen::kFineTune, sf2::gen::kInitialAttenuation, sf2::gen::kPan;

sf2::Bank Read(const Bytes& bytes) {
  FakePlatform platform;
  platform.AddFile("b.sf2", bytes);
  return sf2::ReadBank(*platform.OpenRead("b.sf2", Site::kSourceOpen), DisplayText("b.sf2"));
}

// One preset over one instrument of `zones`.
sf2::PresetPlan Plan(std::vector<ZoneGens> zones, std::vector<SampleDef> samples, int bank = 0,
                     std::string name = "P") {
  return sf2::PlanPreset(Read(Sf2({{{std::move(name), bank, 0, {{Set(41, 0)}}}},
                                   {{"I", std::move(zones)}},
                                   std::move(samples)})),
                         0);
}
ZoneGens Z(std::initializer_list<Gen> gens, int sample) {
  ZoneGens z(gens);
  z.push_back(Set(53, sample));
  return z;
}
SampleDef Mono(std::string name, int pitch = 60) { return {name, 0, 100, 0, 0, 44100, pitch}; }

TEST(Sf2Zones, CombineGlobalZonesAndBothLevelsAsTheFormatSays) {
  const BankDef def{
      {{"P",
        0,
        0,
        {{KeyRange(50, 127), Set(kInitialAttenuation, 20), Set(0, 30)},  // global; 0 only counts
         {Set(kCoarseTune, 1), Set(41, 0)},                              // in instruments
         {KeyRange(0, 10), Set(41, 0)},
         {Set(kCoarseTune, 5)}}}},  // names no instrument: ignored
      {{"I",
        {{Set(kInitialAttenuation, 100), Set(0, 5)},
         {KeyRange(40, 80), Set(kCoarseTune, 2), Set(53, 0)},
         {Set(kPan, 200), KeyRange(0, 10), Set(53, 0), Set(kFineTune, 9)},  // range not first
         {Set(kInitialAttenuation, 7)}}}},
      {Mono("S")}};
  const sf2::Bank bank = Read(Sf2(def));
  sampler::WorkBudget budget;
  sf2::Flattener flattener(bank);
  const sf2::FlatPreset& flat = flattener.Flatten(0, budget);
  ASSERT_FALSE(flat.skip);
  ASSERT_EQ(flat.zones.size(), 3u);  // the third preset zone misses the instrument's first
  // keys, attenuation, coarse, pan, fine tune, first frame
  using Values = std::tuple<int, int, int, int, int, int, std::int64_t>;
  const Values expected[] = {
      {50, 80, 120, 3, 0, 0, 5}, {50, 127, 120, 1, 200, 0, 5}, {0, 10, 120, 0, 200, 0, 5}};
  for (std::size_t i = 0; i < 3; ++i) {
    const sf2::Zone& z = flat.zones[i];
    EXPECT_EQ(Values(z.keys.low, z.keys.high, z.values[kInitialAttenuation], z.values[kCoarseTune],
                     z.values[kPan], z.values[kFineTune], z.start),
              expected[i])
        << i;
  }
}

TEST(Sf2Zones, SkipsPresetsThatPointOutsideTheBank) {
  struct Case {
    std::function<void(BankDef&)> def;
    std::function<void(Sf2Parts&)> tables;
    const char* why;
  };
  const auto none = [](auto&) {};
  const Case cases[] = {
      {none, [](Sf2Parts& p) { p.hydra[0].second[38 + 24] = 9; },
       "its pbag records 0..9 lie outside the table of 2"},
      {none, [](Sf2Parts& p) { p.hydra[1].second[4] = 9; },
       "its pgen records 0..9 lie outside the table of 2"},
      {[](BankDef& b) { b.presets[0].zones[0][0] = Set(41, 7); }, none,
       "it names instrument 7 of 1"},
      {[](BankDef& b) { b.instruments[0].zones[0][0] = Set(53, 2); }, none,
       "it names sample 2 of 1"},
      {[](BankDef& b) { b.samples[0].end = 1001; }, none,
       "sample \"S\" (frames 0..1001) lies outside the sample data of 1000 frames"},
      {[](BankDef& b) { b.instruments[0].zones[0] = Z({Set(0, 100)}, 0); }, none,
       "sample \"S\" (frames 100..100) lies outside the sample data of 1000 frames"},
      // Sums that wrap in 32 bits would land inside the data.
      {[](BankDef& b) {
         b.samples[0] = {"S", 0xFFFFFF00u, 0xFFFFFF00u + 250};
         b.instruments[0].zones[0] = Z({Set(0, 256), Set(1, 256)}, 0);
       },
       none,
       "sample \"S\" (frames 4294967296..4294967546) lies outside the sample data of 1000 frames"},
      {[](BankDef& b) {
         b.samples[0] = {"S", 10, 100};
         b.instruments[0].zones[0] = Z({Set(0, -20)}, 0);
       },
       none, "sample \"S\" (frames -10..100) lies outside the sample data of 1000 frames"},
      {[](BankDef& b) { b.samples[0].type = 0x8001; }, none,
       "sample \"S\" is not 16-bit data in the bank (ROM or compressed)"},
      {[](BankDef& b) { b.samples[0].rate = 0; }, none, "sample \"S\" has a sample rate of 0 Hz"},
  };
  for (const Case& c : cases) {
    BankDef def{{{"P", 0, 0, {{Set(41, 0)}}}}, {{"I", {{Set(53, 0)}}}}, {Mono("S")}};
    c.def(def);
    Sf2Parts parts = Parts(def);
    c.tables(parts);
    const sf2::PresetPlan plan = sf2::PlanPreset(Read(Assemble(parts)), 0);
    ASSERT_TRUE(plan.skip) << c.why;
    EXPECT_EQ(plan.skip->why.str(), c.why);
    EXPECT_TRUE(plan.plan.instruments.empty());
  }
}

TEST(Sf2Plan, EachKeyPlaysTheLoudestZoneAndHolesTheNearestKey) {
  const sf2::PresetPlan plan =
      Plan({Z({KeyRange(40, 50), Set(kInitialAttenuation, 100)}, 0),  // a quiet layer first
            Z({KeyRange(40, 45)}, 1), Z({KeyRange(46, 50), Set(kInitialAttenuation, 100)}, 2),
            Z({KeyRange(60, 61)}, 3), Z({VelRange(0, 99)}, 1), Z({KeyRange(100, 127)}, 2),
            Z({KeyRange(40, 50), Set(kInitialAttenuation, 300)}, 3)},
           {Mono("S0"), Mono("S1"), Mono("S2"), Mono("S3")});
  ASSERT_EQ(plan.plan.instruments.size(), 1u);
  const sampler::InstrumentPlan& xi = plan.plan.instruments[0];
  ASSERT_EQ(xi.samples.size(), 3u);
  EXPECT_EQ(xi.samples[0].name, "S1");
  EXPECT_EQ(xi.samples[1].name, "S0");  // equal to S2's zone, and first
  EXPECT_EQ(xi.samples[2].name, "S3");
  for (int k = 0; k < sampler::kKeyCount; ++k) {
    EXPECT_EQ(xi.key_map[k], k <= 45 ? 0 : k <= 55 ? 1 : 2) << k;  // 55: 50 and 60 as near
  }
  EXPECT_EQ(xi.samples[2].key_count, 40);
  EXPECT_EQ(plan.plan.zones, 7u);
  EXPECT_EQ(plan.plan.layers_left_out, 2);
  EXPECT_EQ(plan.plan.velocity_layers_left_out, 1);
  EXPECT_EQ(plan.plan.zones_above_keyboard, 1);
}

TEST(Sf2Plan, StereoPairsAreMixedByLinkOrElseByTheLoudestOtherSide) {
  const sf2::PresetPlan plan =
      Plan({Z({KeyRange(0, 47), Set(kPan, -500)}, 0), Z({KeyRange(0, 47), Set(kPan, 500)}, 1),
            Z({KeyRange(48, 95), Set(kPan, -500)}, 2),
            Z({KeyRange(48, 95), Set(kPan, 500), Set(kInitialAttenuation, 50)}, 3),
            Z({KeyRange(48, 95), Set(kPan, 300), Set(kInitialAttenuation, 10)}, 4)},
           {{"L", 0, 100, 0, 0, 44100, 60, 0, 1, 4},
            {"R", 200, 260, 0, 0, 44100, 60, 0, 0, 2},
            {"L2", 0, 100, 0, 0, 44100, 60, 0, 0, 4},
            {"R2", 0, 100, 0, 0, 44100, 60, 0, 0, 2},
            {"R3", 300, 400, 0, 0, 44100, 60, 0, 0, 2}});
  const sampler::InstrumentPlan& xi = plan.plan.instruments[0];
  ASSERT_EQ(xi.samples.size(), 2u);
  EXPECT_EQ(xi.samples[0].source.partner, (sampler::FrameRange{1, 200, 60}));
  EXPECT_EQ(xi.samples[0].source.range, (sampler::FrameRange{0, 0, 100}));
  EXPECT_EQ(xi.samples[0].panning, 128);
  EXPECT_EQ(xi.samples[1].source.partner->sample, 4u);  // the link names a left sample
  EXPECT_EQ(xi.samples[1].panning, 102);                // pan -100
  EXPECT_EQ(xi.pairs_mixed, 2);
  EXPECT_EQ(plan.plan.layers_left_out, 1);
}

TEST(Sf2Plan, PitchVolumeAndPanning) {
  // The finetune on the players' grid: t, the rest above the nearest relative note in 1/128
  // semitone, becomes the larger of t rounded and its nearest multiple of 8 (ties up), so that a
  // player taking the finetune in steps of 8 rounded down (openmpt123) and one taking it whole
  // (xmp) both play within 4 steps, 3.125 cents. 8363 Hz on root 60 is relative note -12 exactly.
  struct PitchCase {
    std::uint32_t rate;
    int root;
    double t;  // the rest wanted, in 1/128 semitone
    int note, finetune;
  };
  for (const PitchCase& c : {PitchCase{8363, 60, 0, -12, 0},
                             {8363, 60, 2, -12, 2},    // the grid plays 0: 1.6 cents flat
                             {8363, 60, 5.3, -12, 8},  // the grid's 8 is nearer than 0
                             {8363, 60, -3, -12, 0},
                             {8363, 60, -28, -12, -24},  // a tie goes up
                             {8363, 60, 59.6, -12, 60},  // the grid plays 56
                             {8363, 60, 62, -11, -64},   // 64 is the next note's -64
                             {8363, 60, -64, -12, -64},
                             {44100, 72, 0, 5, -24},        // 44100 Hz: 28 steps below note 17
                             {8363, 0, 15360, 127, 63}}) {  // held at the top
    const Pitch p = sampler::SamplePitch(c.rate, c.root, c.t * 100 / 128);
    EXPECT_EQ(p.relative_note, c.note) << c.t;
    EXPECT_EQ(p.finetune, c.finetune) << c.t;
  }
  for (auto [cb, volume] : {std::pair{0, 64}, {200, 25}, {500, 6}, {1440, 0}, {-5, 64}}) {
    EXPECT_EQ(sampler::XiVolume(cb), volume) << cb;
  }
  for (auto [pan, panning] : {std::pair{-500, 0}, {-100, 102}, {0, 128}, {250, 192}, {500, 255}}) {
    EXPECT_EQ(sampler::XiPanning(pan), panning) << pan;
  }
  // Coarse, fine and the sample's correction add; one key's scale tuning moves that key; a
  // zone of several keys with a scale tuning cannot be held.
  const sf2::PresetPlan plan =
      Plan({Z({KeyRange(64, 64), Set(kCoarseTune, 1), Set(kFineTune, -20), Set(56, 50)}, 0),
            Z({KeyRange(70, 80), Set(56, 0), Set(58, 72)}, 1)},
           {{"A", 0, 100, 0, 0, 44100, 60, 5}, {"B", 0, 100, 0, 0, 44100, 255}});
  const sampler::InstrumentPlan& xi = plan.plan.instruments[0];
  EXPECT_EQ(xi.samples[0].root_key, 60);
  EXPECT_EQ(xi.samples[0].tuning_cents, 100 - 20 + 5 - 4 * 50);
  EXPECT_EQ(xi.samples[1].root_key, 72);
  EXPECT_EQ(xi.samples[1].pitch.relative_note, 5);
  // Its keys get slots of their own while the 16 have room: each plays the pitch of key 72.
  EXPECT_EQ(xi.scale_tuning_kept, 11);
  EXPECT_EQ(xi.scale_tuning_keys, 11);
  EXPECT_EQ(xi.samples[xi.key_map[75]].pitch.relative_note, 5 - 3);
  // Root key and tuning count only through the pitch they give: key 43 tuned as root 42 plus 95
  // cents is the sample of key 41 (root 41, -5 cents), not a copy of it.
  const sf2::PresetPlan kit =
      Plan({Z({KeyRange(41, 41), Set(kFineTune, -5)}, 0),
            Z({KeyRange(43, 43), Set(58, 42), Set(kCoarseTune, 1), Set(kFineTune, -5)}, 0)},
           {Mono("S", 41)});
  EXPECT_EQ(kit.plan.instruments[0].samples.size(), 1u);
}

TEST(Sf2Plan, LoopsWithTheirOffsetsOrDroppedWhenOutsideTheSample) {
  const SampleDef s{"S", 100, 300, 150, 250};
  const sf2::PresetPlan plan =
      Plan({Z({KeyRange(0, 9), Set(54, 1), Set(0, 10), Set(2, -20), Set(3, 5)}, 0),
            Z({KeyRange(10, 19), Set(54, 3)}, 0), Z({KeyRange(20, 29), Set(54, 2)}, 0),
            Z({KeyRange(30, 39), Set(54, 1), Set(3, 51)}, 0)},
           {s});
  const sampler::InstrumentPlan& xi = plan.plan.instruments[0];
  ASSERT_EQ(xi.samples.size(), 3u);  // a dropped loop plays as no loop
  EXPECT_EQ(xi.samples[0].loop, (sampler::PlannedLoop{20, 125}));
  EXPECT_EQ(xi.samples[0].source.range, (sampler::FrameRange{0, 110, 190}));
  EXPECT_EQ(xi.samples[1].loop, (sampler::PlannedLoop{50, 100}));
  EXPECT_FALSE(xi.samples[2].loop);  // mode 2 does not loop
  EXPECT_TRUE(xi.samples[2].loop_dropped);
  EXPECT_EQ(xi.loops_dropped, 1);
}

// Single-key zones on keys first.., sample i with root key first + i.
std::pair<std::vector<ZoneGens>, std::vector<SampleDef>> Keys(int first, int count) {
  std::pair<std::vector<ZoneGens>, std::vector<SampleDef>> out;
  for (int i = 0; i < count; ++i) {
    out.first.push_back(Z({KeyRange(first + i, first + i)}, i));
    out.second.push_back(Mono(std::string("S").append(std::to_string(i)), first + i));
  }
  return out;
}

TEST(Sf2Plan, MoreThan16SamplesMergeTheFewestKeysIntoTheNearestRoot) {
  std::vector<ZoneGens> zones;  // S0..S17 on two keys each from 20, roots 20, 22, ...
  std::vector<SampleDef> samples;
  for (int i = 0; i < 18; ++i) {
    zones.push_back(Z({KeyRange(20 + 2 * i, 21 + 2 * i)}, i));
    samples.push_back(Mono(std::string("S").append(std::to_string(i)), 20 + 2 * i));
  }
  zones.push_back(Z({KeyRange(60, 95)}, 18));
  samples.push_back(Mono("S18", 70));
  const sf2::PresetPlan plan = Plan(zones, samples);
  const sampler::InstrumentPlan& xi = plan.plan.instruments[0];
  EXPECT_EQ(plan.plan.samples, 19u);
  ASSERT_EQ(xi.samples.size(), 16u);
  EXPECT_EQ(xi.samples_merged, 3);
  // S1 (root 22) goes to S0 (20 and 24 as near: the lower), S2 to S3, then S4 to S3 (lower).
  const char* owners[] = {"S0", "S0", "S3", "S3", "S3", "S5"};
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(xi.samples[xi.key_map[20 + 2 * i]].name, owners[i]) << 20 + 2 * i;
  }
  EXPECT_EQ(xi.samples[xi.key_map[22]].key_count, 24);
}

TEST(Sf2Plan, ADrumKitOfMoreThan16SamplesIsSplitIntoRunsOfKeys) {
  auto [zones, samples] = Keys(30, 40);
  const sf2::PresetPlan plan = Plan(zones, samples, 128);
  ASSERT_EQ(plan.plan.instruments.size(), 3u);
  const sampler::KeyRange runs[] = {{0, 45}, {46, 61}, {62, 95}};
  const std::size_t counts[] = {16, 16, 8};
  for (int i = 0; i < 3; ++i) {
    const sampler::InstrumentPlan& part = plan.plan.instruments[i];
    EXPECT_EQ(part.part, i + 1);
    EXPECT_EQ(part.part_count, 3);
    EXPECT_EQ(part.keys, runs[i]);
    EXPECT_EQ(part.samples.size(), counts[i]);
    EXPECT_EQ(part.samples_merged, 0);
  }
  const sampler::InstrumentPlan& middle = plan.plan.instruments[1];
  EXPECT_EQ(middle.samples[middle.key_map[0]].name, "S16");  // below the run: its first key
  EXPECT_EQ(middle.samples[middle.key_map[61]].name, "S31");
  EXPECT_EQ(middle.samples[middle.key_map[95]].name, "S31");
}

// The zone whose sample key 60 plays gives the envelope and vibrato (60 is a hole here: the lower
// of two as near keys), as it plays that key; each part of a split kit takes its run's key nearest
// 60, whose hold keynumToVolEnvHold (100 timecents a key) makes 2^((60 - k) / 12) s long.
TEST(Sf2Plan, EnvelopeAndVibratoComeFromTheZoneThatPlaysKey60) {
  const sf2::PresetPlan melodic =
      Plan({Z({KeyRange(0, 59), Set(38, 0), Set(6, 20), Set(34, 3600)}, 0),
            Z({KeyRange(61, 95), Set(38, 1200)}, 1)},
           {Mono("A"), Mono("B")});
  const sampler::InstrumentPlan& xi = melodic.plan.instruments[0];
  EXPECT_EQ(xi.envelope.fade_out, 2031);  // a release of 1 s
  EXPECT_EQ(xi.vibrato, (xi::AutoVibrato{0, 0, 13, 42}));
  EXPECT_TRUE(xi.envelope_held);  // an attack of 8 s

  // A kit's keys hold their envelopes in their renders: each part's envelope is flat, with the
  // fade-out of its key nearest 60 (keys 45, 60 and 62 here), whose releases differ.
  auto [zones, samples] = Keys(30, 40);
  for (std::size_t z = 0; z < zones.size(); ++z) {
    zones[z].insert(zones[z].end() - 1, Set(38, 100 * static_cast<int>(z)));
  }
  const sf2::PresetPlan kit = Plan(zones, samples, 128);
  ASSERT_EQ(kit.plan.instruments.size(), 3u);
  const int keys[] = {45, 60, 62};
  for (int i = 0; i < 3; ++i) {
    const sampler::InstrumentPlan& part = kit.plan.instruments[i];
    EXPECT_EQ(part.envelope.count, 1);
    EXPECT_EQ(part.envelope.points[0], (xi::EnvelopePoint{0, 64}));
    EXPECT_EQ(part.envelope.fade_out,
              MapEnvelope({.release_vol_env = 100 * (keys[i] - 30)}).volume.fade_out)
        << i;
    EXPECT_EQ(part.vibrato, xi::AutoVibrato{});
  }
}

// Which layer a melodic key keeps, among the sounds within 150 cB of the loudest: one in tune on
// the key (its held pitch and scale tuning counted), then one that loops over a short one-shot,
// then the loudest, then the first; zones that are one sound are a pair first.
TEST(Sf2Plan, EachKeyKeepsTheLayerThatCarriesTheTune) {
  const SampleDef long_tone{"Tone", 0, 900, 100, 800, 1000, 60};  // 0.9 s at 1000 Hz, looped
  const SampleDef chiff{"Chiff", 0, 120, 0, 0, 1000, 60};         // 0.12 s, no loop
  const SampleDef left{"L", 0, 900, 0, 0, 1000, 60}, right{"R", 0, 900, 0, 0, 1000, 60};
  const struct {
    const char* what;
    std::vector<ZoneGens> zones;
    const char* kept;
    double tuning;
    int panning;
  } cases[] = {
      {"a fifth layer first (+666 cents), the melody second",
       {Z({Set(kCoarseTune, 6), Set(kFineTune, 66)}, 0), Z({}, 1)},
       "Chiff",
       0,
       128},
      {"an octave layer louder than the tone",
       {Z({Set(kCoarseTune, 12), Set(kInitialAttenuation, 50)}, 0),
        Z({Set(kInitialAttenuation, 100)}, 1)},
       "Chiff",
       0,
       128},
      {"a chiff 1 cB louder than the looped tone",
       {Z({Set(kInitialAttenuation, 129)}, 1), Z({Set(54, 1), Set(kInitialAttenuation, 130)}, 0)},
       "Tone",
       0,
       128},
      {"a louder layer out of tune beyond the window",
       {Z({Set(kCoarseTune, 12)}, 0), Z({Set(kInitialAttenuation, 200)}, 1)},
       "Tone",
       1200,
       128},
      {"an octave down, lifted by the modulation envelope's held pitch",
       {Z({Set(kCoarseTune, -12), Set(7, 1200), Set(29, 0)}, 0)},
       "Tone",
       0,
       128},
      {"one sample panned both ways, tuned apart",
       {Z({Set(kPan, -500), Set(kFineTune, -10)}, 0), Z({Set(kPan, 400), Set(kFineTune, 20)}, 0)},
       "Tone",
       5,
       115},
      {"a left and a right recording as two mono samples",
       {Z({Set(kPan, -500)}, 2), Z({Set(kPan, 500)}, 3)},
       "L",
       0,
       128},
      {"a stereo pair played twice, panned and tuned apart",
       {Z({Set(kFineTune, 9)}, 4), Z({Set(kPan, 500), Set(kFineTune, 3)}, 5),
        Z({Set(kPan, -500), Set(kFineTune, -3)}, 4), Z({Set(kFineTune, -9)}, 5)},
       "SL",
       0,
       128},
      {"a lone left side first, then a stereo pair of another recording",
       {Z({}, 6), Z({Set(kPan, -500)}, 4), Z({Set(kPan, 500)}, 5)},
       "Lone",
       0,
       128},
  };
  // Stereo sides whose links are wrong, as in many banks, and a left side without its right.
  const SampleDef stereo_left{"SL", 0, 900, 0, 0, 1000, 60, 0, 0, 4},
      stereo_right{"SR", 0, 900, 0, 0, 1000, 60, 0, 0, 2},
      lone{"Lone", 0, 900, 0, 0, 1000, 61, 0, 0, 4};
  for (const auto& c : cases) {
    const sf2::PresetPlan plan =
        Plan(c.zones, {long_tone, chiff, left, right, stereo_left, stereo_right, lone});
    ASSERT_EQ(plan.plan.instruments.size(), 1u) << c.what;
    const sampler::PlannedSample& s = plan.plan.instruments[0].samples[0];
    EXPECT_EQ(s.name, c.kept) << c.what;
    EXPECT_DOUBLE_EQ(s.tuning_cents, c.tuning) << c.what;
    EXPECT_EQ(s.panning, c.panning) << c.what;
  }
  // The left and right recordings are mixed, as a stereo pair is.
  const sf2::PresetPlan pair =
      Plan({Z({Set(kPan, -500)}, 0), Z({Set(kPan, 500)}, 1)}, {left, right});
  EXPECT_EQ(pair.plan.instruments[0].samples[0].source.partner, (sampler::FrameRange{1, 0, 900}));
  EXPECT_EQ(pair.plan.instruments[0].pairs_mixed, 1);
}

// The envelope is the one of the zone that plays key 60, also where another zone plays the same
// sample on lower keys (a timpani of two ranges with two releases).
TEST(Sf2Plan, TheEnvelopeComesFromTheZoneThatPlaysKey60) {
  const sf2::PresetPlan plan =
      Plan({Z({KeyRange(46, 56), Set(38, 0)}, 0), Z({KeyRange(57, 70), Set(38, 1200)}, 0)},
           {Mono("Timpani")});
  ASSERT_EQ(plan.plan.instruments[0].samples.size(), 1u);
  EXPECT_EQ(plan.plan.instruments[0].envelope.fade_out, 1015);  // a release of 2 s
}

// Kits outside bank 128 are told by their zones: at least 8 sound at velocity 100, a stereo pair
// counted once, and three quarters of them sit on one key each.
TEST(Sf2Kit, ZonesOnSingleKeysMakeAKitWhereverItIs) {
  const auto single = [](int count, int wide) {
    std::vector<ZoneGens> zones;
    for (int i = 0; i < count; ++i) zones.push_back(Z({KeyRange(40 + i, 40 + i)}, 0));
    for (int i = 0; i < wide; ++i) zones.push_back(Z({KeyRange(60 + 2 * i, 61 + 2 * i)}, 0));
    return zones;
  };
  std::vector<ZoneGens> pairs;  // 8 keys, each a left and a right side
  for (int i = 0; i < 8; ++i) {
    pairs.push_back(Z({KeyRange(40 + i, 40 + i)}, 1));
    pairs.push_back(Z({KeyRange(40 + i, 40 + i)}, 2));
  }
  const std::vector<SampleDef> samples = {
      Mono("M"), {"L", 0, 100, 0, 0, 44100, 60, 0, 2, 4}, {"R", 0, 100, 0, 0, 44100, 60, 0, 1, 2}};
  const struct {
    const char* what;
    std::vector<ZoneGens> zones;
    bool kit;
  } cases[] = {
      {"eight drums", single(8, 0), true},
      {"seven drums", single(7, 0), false},
      {"six drums and two wider zones", single(6, 2), true},
      {"five drums and three wider zones", single(5, 3), false},
      {"eight drums in stereo (sixteen zones, each pair counted once)", pairs, true},
      {"one sound effect on one key", single(1, 0), false},
  };
  for (const auto& c : cases) {
    const sf2::PresetPlan plan = Plan(c.zones, samples);
    ASSERT_FALSE(plan.skip) << c.what;
    EXPECT_EQ(plan.plan.instruments[0].samples[0].render.has_value(), c.kit) << c.what;
  }
}

// A kit key is every zone sounding on it, rendered: a stereo pair at half the level of each side
// ((L + R) / 2, as every pair is mixed; mixed before the render where both sides are played
// alike), a layer of another sound added; at full volume, panned at the pans' mean weighted by
// level, named after its loudest zone's sample, tuned to play at its own rate on its key. A split
// kit's parts carry their drums' keys in their names.
TEST(Sf2Kit, EachKeyRendersAllItsLayers) {
  const std::vector<SampleDef> samples = {{"Left", 0, 100, 0, 0, 22050, 60, 0, 1, 4},
                                          {"Right", 0, 100, 0, 0, 22050, 60, 0, 0, 2},
                                          {"Bell", 0, 100, 0, 0, 48000, 72}};
  std::vector<ZoneGens> zones = {
      Z({KeyRange(34, 35), Set(kPan, -500)}, 0), Z({KeyRange(34, 34), Set(kPan, 500)}, 1),
      Z({KeyRange(35, 35), Set(kPan, 500), Set(kFineTune, 5)}, 1),  // not played alike
      Z({KeyRange(34, 34), Set(kInitialAttenuation, 100), Set(kPan, 200)}, 2)};
  for (int k = 36; k < 55; ++k) zones.push_back(Z({KeyRange(k, k)}, 2));
  const sf2::PresetPlan plan = Plan(zones, samples, 128, "Schlagzeug \u2013 \u00dcbungen");
  ASSERT_EQ(plan.plan.instruments.size(), 2u);
  const sampler::InstrumentPlan& first = plan.plan.instruments[0];
  const sampler::PlannedSample& key = first.samples[first.key_map[34]];
  ASSERT_TRUE(key.render);
  ASSERT_EQ(key.render->voices.size(), 2u);
  const double bell = std::pow(10.0, -0.4 * 100 / 200);
  EXPECT_EQ(key.render->voices[0].mixed_with, (sampler::FrameRange{1, 0, 100}));
  EXPECT_DOUBLE_EQ(key.render->voices[0].voice.gain, 1);
  EXPECT_DOUBLE_EQ(key.render->voices[1].voice.gain, bell);
  const sampler::KeyRender& unlike = *first.samples[first.key_map[35]].render;
  ASSERT_EQ(unlike.voices.size(), 2u);
  EXPECT_DOUBLE_EQ(unlike.voices[0].voice.gain, 0.5);
  EXPECT_DOUBLE_EQ(unlike.voices[1].voice.gain, 0.5);
  EXPECT_EQ(key.name, "Left");
  EXPECT_EQ(key.volume, 64);
  // 48000 Hz is the fastest voice: 8363 x 2^((34 - 48 + 44 + 40 / 128) / 12) = 48,170 Hz is the
  // first rate above it on the grid every player plays exactly (finetunes in steps of 8).
  EXPECT_EQ(key.pitch.relative_note, 44);
  EXPECT_EQ(key.pitch.finetune, 40);
  EXPECT_EQ(key.panning, sampler::XiPanning(500 * 0.4 * bell / (1 + bell)));
  EXPECT_EQ(first.name, "Schlagzeug \u2013  34-49");  // 21 bytes: the U-umlaut is not cut in two
  EXPECT_EQ(first.drum_keys, (sampler::KeyRange{34, 49}));
  EXPECT_EQ(plan.plan.instruments[1].name, "Schlagzeug \u2013  50-54");
}

}  // namespace
}  // namespace brumlet
