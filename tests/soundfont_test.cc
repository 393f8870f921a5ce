// --sf2 over banks built in memory: which presets a run writes, under which names, what it
// prints, and the exit code of each way a run can end.
#include "soundfont.h"

#include <gtest/gtest.h>

#include "brumlet.h"
#include "expected_text.h"
#include "fake_platform.h"
#include "hostile_banks.h"
#include "sf2_builder.h"
#include "xi_reader.h"

namespace brumlet {
namespace {

using namespace brumlet::testing;
using namespace brumlet::measure;

// Three presets over one looped sample; the third names an instrument the bank does not have.
Bytes Bank() {
  return Sf2({{{"Piano", 0, 0, {{Set(41, 0)}}},
               {"Bad/Name. ", 0, 5, {{Set(41, 0)}}},
               {"Broken", 0, 7, {{Set(41, 3)}}}},
              {{"I", {{Set(54, 1), Set(53, 0)}}}},
              {{"S", 10, 20, 12, 18, 22050, 60}},
              30});
}

TEST(Soundfont, ChoosesPresetsNamesTheirFilesAndReportsEach) {
  const std::string piano = "000:000 Piano  ->  000-000 Piano.xi  (1 sample)\n";
  const std::string bad = "000:005 Bad/Name.   ->  000-005 Bad_Name.xi  (1 sample)\n";
  const std::string broken = "000:007 Broken  skipped: ";
  struct Case {
    std::vector<std::string> args;
    int code;
    std::string out;  // after the banner
    std::vector<std::string> files;
  };
  const std::string processing = "Processing bank \"b.sf2\"\n\n";
  const Case cases[] = {
      {{"--sf2", "b.sf2"},
       245,
       processing + piano + bad + broken,
       {"000-000 Piano.xi", "000-005 Bad_Name.xi"}},
      {{"--sf2", "b.sf2", "0:5"}, 0, processing + bad, {"000-005 Bad_Name.xi"}},
      {{"--sf2", "b.sf2", "*PIAN*"}, 0, processing + piano, {"000-000 Piano.xi"}},
      {{"--sf2", "b.sf2", "0:*"},
       245,
       processing + piano + bad + broken,
       {"000-000 Piano.xi", "000-005 Bad_Name.xi"}},
      {{"--sf2", "b.sf2", "--list"},
       0,
       "000:000 Piano  (1 zone, 1 sample, 0.0 MB)\n000:005 Bad/Name.   (1 zone, 1 sample, 0.0 "
       "MB)\n" +
           broken,
       {}},
      {{"--sf2", "b.sf2", "9:9"}, 254, "couldn't find presets 9:9 in b.sf2\n", {}},
      {{"--sf2", "none.sf2"}, 254, "couldn't find none.sf2\n", {}},
      {{"--sf2", "notes.txt"},
       245,
       "error: notes.txt: not a SoundFont 2 bank (no RIFF sfbk header)\n",
       {}},
      {{"--sf2"}, 246, kUsage, {}},
      {{"--sf2", "b.sf2", "Pia", "no"},
       246,
       kUsage + "hint: too many arguments for --sf2; quote a wildcard pattern so that brumlet "
                "expands it: brumlet --sf2 bank.sf2 '*Piano*'\n",
       {}},
  };
  for (const Case& c : cases) {
    FakePlatform p;
    p.AddFile("b.sf2", Bank());
    p.AddTextFile("notes.txt", "not a bank, but long enough to be read as one");
    EXPECT_EQ(RunBrumlet(c.args, "brumlet", p), c.code) << c.args.back();
    const std::string& out = p.fake_console().output;
    EXPECT_EQ(out.substr(0, kBanner.size() + c.out.size()), kBanner + c.out) << c.args.back();
    EXPECT_EQ(p.files.size(), 2 + c.files.size()) << c.args.back();
    for (const std::string& file : c.files) EXPECT_TRUE(p.Has(file)) << file;
  }

  // The instrument: the bank's frames 10..19, inverted, looped at 12..17; key 60 plays it at
  // its own rate (22050 Hz: relative note 5).
  FakePlatform p;
  p.AddFile("b.sf2", Bank());
  p.AddTextFile("000-005 Bad_Name.xi", "my notes");  // not replaced: the run stops there
  ASSERT_EQ(RunBrumlet({"--sf2", "b.sf2"}, "brumlet", p), 247);
  EXPECT_EQ(p.Contents("000-005 Bad_Name.xi"), Bytes({'m', 'y', ' ', 'n', 'o', 't', 'e', 's'}));
  const Bytes& b = p.Contents("000-000 Piano.xi");
  const XiFile xi = ParseXi(std::string(b.begin(), b.end()));
  ASSERT_TRUE(xi.complete);
  ASSERT_EQ(xi.sample_count, 1);
  EXPECT_EQ(xi.samples[0].relative_note, 5);
  EXPECT_EQ(xi.samples[0].loop_start, 4);
  EXPECT_EQ(xi.samples[0].loop_length, 12);
  const Bytes bank = Bank();
  const std::size_t smpl = std::string(bank.begin(), bank.end()).find("smpl") + 8;
  for (int i = 0; i < 10; ++i) {
    const int frame =
        static_cast<std::int16_t>(bank[smpl + 20 + 2 * i] | bank[smpl + 21 + 2 * i] << 8);
    EXPECT_EQ(xi.samples[0].data[static_cast<std::size_t>(i)], -1 - frame) << i;
  }
}

TEST(Soundfont, OfPresetsWithTheSameNumbersTheFirstIsWrittenAndTheOthersSkipped) {
  // Named alike, the later would write over the earlier's file.
  const Bytes bank = Sf2({{{"Kit", 0, 0, {{Set(41, 0)}}},
                           {"Kit", 0, 0, {{Set(41, 1)}}},
                           {"Odd", 0, 0, {{Set(41, 1)}}}},
                          {{"I", {{Set(53, 0)}}}, {"J", {{Set(53, 0)}, {Set(53, 1)}}}},
                          {{"S", 10, 20}, {"T", 20, 30}},
                          30});
  const std::string skips =
      "000:000 Kit  skipped: preset \"Kit\" has the same numbers and comes first, so players use "
      "it\n000:000 Odd  skipped: preset \"Kit\" has the same numbers and comes first, so players "
      "use it\n";
  for (const auto& [choice, code, lines] :
       {std::tuple{"*", 245, "000:000 Kit  ->  000-000 Kit.xi  (1 sample)\n" + skips},
        std::tuple{"--list", 0,
                   "000:000 Kit  (1 zone, 1 sample, 0.0 MB)\n" + skips +
                       "total: 1 preset, 1 file, 0.0 MB\n"}}) {
    FakePlatform p;
    p.AddFile("b.sf2", bank);
    EXPECT_EQ(RunBrumlet({"--sf2", "b.sf2", choice}, "brumlet", p), code);
    EXPECT_NE(p.fake_console().output.find(lines), std::string::npos) << p.fake_console().output;
    EXPECT_EQ(p.files.size(), code == 0 ? 1u : 2u);
  }
}

// Banks crafted to keep the program busy or to fill the disk: a preset too costly to plan is
// skipped alone; a bank too costly as a whole, or that would write far more than it holds, is
// refused before anything is written.
TEST(Soundfont, HostileBanksAreBoundedInWorkAndOutput) {
  const std::string error =
      "error: b.sf2: planning it would take more work than any real bank "
      "needs; nothing was written\n";
  const std::string processing = "Processing bank \"b.sf2\"\n\n";
  const struct {
    const char* what;
    BankDef bank;
    std::string choice;
    int code;
    std::string out;  // after the banner
    std::size_t files;
  } cases[] = {
      {"A", DisjointZonesBank(), "*", 245,
       processing +
           "000:000 Pairs  skipped: planning it would take more work than any real bank needs\n"
           "000:001 Fine  ->  000-001 Fine.xi  (1 sample)\n",
       1},
      {"B", ManyPresetsBank(), "*", 245, processing + error, 0},
      {"C", SilentLayersBank(), "--list", 245, error, 0},
      {"amplifying", AmplifyingBank(), "*", 245,
       processing + "error: b.sf2: the chosen presets would write 1281 MB, more than 16 times the "
                    "bank; choose fewer presets\n",
       0},
      {"a kit that renders too long", LongRendersBank(1, 2), "*", 245,
       processing +
           "128:000 K  skipped: planning it would take more work than any real bank needs\n",
       0},
      {"kits that render too long together", LongRendersBank(3, 1), "*", 245, processing + error,
       0},
      {"amplifying, listed", AmplifyingBank(), "--list", 0,
       "000:000 P  (16 zones, 16 samples, 3.2 MB)\n000:001 P  (16 zones, 16 samples, 3.2 MB)\n", 0},
  };
  for (const auto& c : cases) {
    FakePlatform p;
    p.AddFile("b.sf2", Sf2(c.bank));
    EXPECT_EQ(RunBrumlet({"--sf2", "b.sf2", c.choice}, "brumlet", p), c.code) << c.what;
    const std::string& out = p.fake_console().output;
    EXPECT_EQ(out.substr(0, kBanner.size() + c.out.size()), kBanner + c.out) << c.what;
    if (c.code == 0) {
      EXPECT_TRUE(out.ends_with("total: 400 presets, 400 files, 1280.4 MB\n"));
    }
    EXPECT_EQ(p.files.size(), 1 + c.files) << c.what;
  }
}

TEST(Soundfont, FileNamesKeepWhatWindowsAllows) {
  EXPECT_EQ(PresetFileName(0, 25, "Acoustic Guitar", 1, 1), "000-025 Acoustic Guitar.xi");
  EXPECT_EQ(PresetFileName(128, 0, "Std: \"Kit\"*\t. ", 2, 3), "128-000 Std_ _Kit___ (2 of 3).xi");
  EXPECT_EQ(PresetFileName(1, 2, " ..", 1, 1), "001-002.xi");
}

// What the report lines say of melodic presets, each in a few words: two zones that are one sound
// as a stereo pair mixed; a scale tuning kept on the keys the free slots allow; keys no player
// sounds; a preset whose every key would be silent moved by octaves; a preset that plays nothing
// at velocity 100 skipped, with no file left behind for it.
TEST(Soundfont, ReportLinesSayWhatBecameOfThePreset) {
  FakePlatform p;
  std::vector<PresetDef> presets;
  std::vector<InstrumentDef> instruments;
  const auto add = [&](std::string name, std::vector<ZoneGens> zones) {
    const int n = static_cast<int>(presets.size());
    presets.push_back({name, 0, n, {{Set(41, n)}}});
    instruments.push_back({name, std::move(zones)});
  };
  add("Wide", {{Set(17, -500), Set(53, 0)}, {Set(17, 500), Set(53, 0)}});
  add("Effects", {{KeyRange(40, 79), Set(56, 0), Set(53, 0)}});
  add("Deep", {{Set(53, 1)}});
  add("Gone", {{KeyRange(0, 5), Set(58, 0), Set(51, -120), Set(53, 1)}});
  add("Soft", {{VelRange(0, 50), Set(53, 0)}});
  add("Muffled", {{Set(8, 8000), Set(16, 200), Set(53, 0)}});
  p.AddFile("b.sf2", Sf2({presets,
                          instruments,
                          {{"S", 10, 20, 0, 0, 22050, 60}, {"T", 10, 20, 0, 0, 8363, 60}},
                          30}));
  EXPECT_EQ(RunBrumlet({"--sf2", "b.sf2"}, "brumlet", p), 245);
  EXPECT_EQ(p.fake_console().output,
            kBanner +
                "Processing bank \"b.sf2\"\n\n"
                "000:000 Wide  ->  000-000 Wide.xi  (1 sample; 1 stereo pair mixed)\n"
                "000:001 Effects  ->  000-001 Effects.xi  (16 samples; scale tuning kept on 16 "
                "of 40 keys)\n"
                "000:002 Deep  ->  000-002 Deep.xi  (1 sample; silent on keys 0-11)\n"
                "000:003 Gone  ->  000-003 Gone.xi  (1 sample; moved 6 octaves up)\n"
                "000:004 Soft  skipped: it plays no sample on keys 0 to 95\n"
                "000:005 Muffled  ->  000-005 Muffled.xi  (1 sample; not in an XI: filter, "
                "effects sends)\n");
  EXPECT_FALSE(p.Has("000-004 Soft.xi"));
  // --list -v names the generators behind the words.
  p.fake_console().output.clear();
  EXPECT_EQ(RunBrumlet({"--sf2", "b.sf2", "--list", "-v"}, "brumlet", p), 0);
  EXPECT_NE(p.fake_console().output.find("000:005 Muffled  (1 zone, 1 sample, 0.0 MB; not in an "
                                         "XI: initialFilterFc reverbEffectsSend)\n"),
            std::string::npos)
      << p.fake_console().output;
}

}  // namespace
}  // namespace brumlet
