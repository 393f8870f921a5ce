// Instruments made of many sources (--kit, --multi) and stereo mixed into one sample (--mono):
// the key rules, then whole runs over the in-memory platform.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "brumlet.h"
#include "expected_text.h"
#include "fake_platform.h"
#include "riff_builder.h"
#include "naming/note_name.h"
#include "xi/keys.h"
#include "xi_expect.h"
#include "xi_reader.h"

namespace brumlet {
namespace {

using namespace brumlet::testing;
using namespace brumlet::measure;

TEST(RootKeyInName, TheLastNoteNameWithNoLetterOrDigitAroundIt) {
  const std::pair<std::string, std::optional<int>> cases[] = {
      {"Piano_C#4.wav", 61},
      {"strings-Db3.wav", 49},
      {"Bass E1 loop.wav", 28},
      {"Bb0.wav", 22},
      {"Cello.wav", std::nullopt},
      {"A440.wav", std::nullopt},
      {"c4.WAV", 60},
      {"Harp a#2 (soft).wav", 46},
      {"x_A0_B1.wav", 35},         // the last of two
      {"piano C4.take2.wav", 60},  // only the extension is left out
      {"C4x.wav", std::nullopt},
      {"1C4.wav", std::nullopt},
      {"C44.wav", std::nullopt},
      {"H4.wav", std::nullopt},
      {"Cb0.wav", 11},
      {"G9.wav", 127},  // a key, though above the keyboard
      {"C4", 60},
  };
  for (const auto& [name, key] : cases) EXPECT_EQ(RootKeyInName(name), key) << name;
}

TEST(KeyMaps, TrackerNamesKitsAndNearestRoots) {
  EXPECT_EQ(TrackerNoteName(0), "C-0");
  EXPECT_EQ(TrackerNoteName(60), "C-5");
  EXPECT_EQ(TrackerNoteName(61), "C#5");
  EXPECT_EQ(TrackerNoteName(95), "B-7");

  // A kit: sample i on key 60 + i; the keys below on the first, those above on the last.
  const KeyMap kit = KitKeyMap(3);
  for (int key : {0, 59, 60}) EXPECT_EQ(kit[key], 0) << key;
  EXPECT_EQ(kit[61], 1);
  for (int key : {62, 95}) EXPECT_EQ(kit[key], 2) << key;
  EXPECT_EQ(KitKeyMap(1)[95], 0);
  EXPECT_EQ(KitKeyMap(16)[75], 15);

  // Roots in slot order 60, 48, 72: the nearest, the lower one where two are as near.
  const int roots[] = {60, 48, 72};
  const KeyMap multi = MultiKeyMap(roots);
  const std::pair<int, int> keys[] = {{0, 1},  {48, 1}, {54, 1}, {55, 0}, {60, 0},
                                      {66, 0}, {67, 2}, {72, 2}, {95, 2}};
  for (const auto& [key, slot] : keys) EXPECT_EQ(multi[key], slot) << key;
}

Bytes Mono8(std::uint32_t rate, const Bytes& data) {
  return Wav(FmtData(1, rate, 8), {Chunk("data", data)});
}

class Instruments : public ::testing::Test {
 protected:
  int Run(std::vector<std::string> args) { return RunBrumlet(args, "brumlet", platform_); }
  const std::string& Output() { return platform_.fake_console().output; }
  XiFile Xi(const std::string& name) {
    const Bytes& b = platform_.Contents(name);
    return ParseXi(std::string(b.begin(), b.end()));
  }

  FakePlatform platform_;
};

TEST_F(Instruments, AKitPlaysEachSampleAtItsOwnRateOnItsOwnKey) {
  // Three formats: 8-bit mono with a title and a loop, 16-bit stereo (mixed, with a ping-pong
  // loop and an incomplete last frame), 24-bit mono (made 16-bit).
  platform_.AddFile(
      "kit/a.wav",
      Wav(FmtData(1, 8363, 8), {Chunk("smpl", SmplData(1, {{0, 1, 2}})),
                                Chunk("LIST", Concat({Bytes{'I', 'N', 'F', 'O'},
                                                      Chunk("INAM", {'K', 'i', 'c', 'k', 0})})),
                                Chunk("data", {0x80, 0x90, 0x70, 0xFF})}));
  platform_.AddFile("kit/b.wav",
                    Wav(FmtData(2, 44100, 16), {Chunk("smpl", SmplData(1, {{1, 1, 1}})),
                                                Chunk("data", Samples16({100, -101, -3, 0, 7}))}));
  platform_.AddFile("kit/c.wav", Wav(FmtData(1, 48000, 24), {Chunk("data", {0, 0x34, 0x12})}));
  ASSERT_EQ(Run({"--kit", "out/drums.xi", "kit/*.wav"}), 0) << Output();
  EXPECT_EQ(Output(), kBanner +
                          "Processing \"kit/*.wav\" into kit \"out/drums.xi\"\n\n"
                          "a.wav  ->  slot 0, keys C-0..C-5, root C-5  (8 bit, mono, 8363 Hz, "
                          "--> loop)\n"
                          "b.wav  ->  slot 1, key C#5, root C#5  (16 bit, stereo, 44100 Hz, "
                          "<--> loop)\n"
                          "c.wav  ->  slot 2, keys D-5..B-7, root D-5  (24 bit, mono, 48000 Hz, "
                          "no loop)\n");

  // The header: named after the output, three samples, each moved down by its key's distance
  // from 60 (8363 Hz gives -12, 44100 Hz 17 and finetune -28, 48000 Hz 18 and 32).
  Bytes expected = ExpectedInstrumentHeader(false, "drums", 3);
  for (int key = 0; key < 96; ++key) expected[66 + key] = key <= 60 ? 0 : key == 61 ? 1 : 2;
  for (const Bytes& slot : {Named(ExpectedSampleHeader(4, 1, 2, 0, 1, 128, -12), "Kick"),
                            // Mixed: the loop measured in 16-bit samples of one channel.
                            Named(ExpectedSampleHeader(4, 2, 2, -28, 18, 128, 16), "b.wav"),
                            Named(ExpectedSampleHeader(2, 0, 0, 32, 16, 128, 16), "c.wav")}) {
    expected.insert(expected.end(), slot.begin(), slot.end());
  }
  const Bytes& out = platform_.Contents("out/drums.xi");
  ASSERT_EQ(out.size(), expected.size() + 4 + 4 + 2);
  EXPECT_EQ(Bytes(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(expected.size())),
            expected);
  // Each sample's data, decoded: its source inverted; the stereo one mixed, (L + R) >> 1.
  const XiFile xi = Xi("out/drums.xi");
  ASSERT_TRUE(xi.complete);
  EXPECT_EQ(xi.samples[0].data, (std::vector<int>{-1, -17, 15, -128}));
  EXPECT_EQ(xi.samples[1].data, (std::vector<int>{0, 1}));
  EXPECT_EQ(xi.samples[2].data, (std::vector<int>{-1 - 0x1234}));
}

TEST_F(Instruments, AMultisamplePlaysEachKeyFromTheNearestRoot) {
  const Bytes data = {0x80, 0x81};
  platform_.AddFile("Piano G#3 soft.wav", Mono8(22050, data));
  platform_.AddFile("Piano_C4.wav", Mono8(22050, data));
  // No note in its name: the smpl chunk's unity note, 72, is its root.
  Bytes smpl = SmplData(0, {});
  smpl[12] = 72;
  platform_.AddFile("keys.wav",
                    Wav(FmtData(2, 22050, 8), {Chunk("smpl", smpl), Chunk("data", {1, 3, 5, 7})}));
  platform_.AddFile("piano-e4.wav", Mono8(22050, data));
  ASSERT_EQ(Run({"--multi", "Grand.XI", "*.wav"}), 0) << Output();
  EXPECT_EQ(Output(), kBanner +
                          "Processing \"*.wav\" into multisample \"Grand.XI\"\n\n"
                          "Piano G#3 soft.wav  ->  slot 0, keys C-0..A#4, root G#4  "
                          "(8 bit, mono, 22050 Hz, no loop)\n"
                          "Piano_C4.wav  ->  slot 1, keys B-4..D-5, root C-5  "
                          "(8 bit, mono, 22050 Hz, no loop)\n"
                          "keys.wav  ->  slot 2, keys A-5..B-7, root C-6  "
                          "(8 bit, stereo, 22050 Hz, no loop)\n"
                          "piano-e4.wav  ->  slot 3, keys D#5..G#5, root E-5  "
                          "(8 bit, mono, 22050 Hz, no loop)\n");
  const XiFile xi = Xi("Grand.XI");
  ASSERT_TRUE(xi.complete);
  EXPECT_EQ(xi.instrument_name, "Grand                 ");
  EXPECT_EQ(xi.sample_count, 4);
  // 22050 Hz plays at its own rate on key 60 with relative note 5.
  const int notes[] = {5 + 60 - 56, 5, 5 + 60 - 72, 5 + 60 - 64};
  for (int slot = 0; slot < 4; ++slot) EXPECT_EQ(xi.samples[slot].relative_note, notes[slot]);
  EXPECT_EQ(xi.samples[2].data, (std::vector<int>{-1 - (2 - 128), -1 - (6 - 128)}));
}

TEST_F(Instruments, RefusedBeforeAnythingIsWritten) {
  struct Case {
    std::vector<std::string> sources;
    std::string message;
  };
  const Case cases[] = {
      {{}, "error: *.wav matches 17 files; an instrument holds at most 16 samples\n"},
      {{"a_C4.wav", "b.wav"},
       "error: no root key for b.wav: no note name such as C4 or F#3 in its file name, and no "
       "smpl chunk to give one\n"},
      {{"x_C4.wav", "y-c4.wav"}, "error: x_C4.wav and y-c4.wav have the same root key C-5\n"},
      {{"hi-C9.wav"},
       "error: the root key of hi-C9.wav, MIDI note 120, is above the highest key, 95 (B-7)\n"},
  };
  for (const Case& c : cases) {
    FakePlatform p;
    std::vector<std::string> sources = c.sources;
    for (int i = 0; sources.empty() && i < 17; ++i) p.AddFile(std::to_string(100 + i) + ".wav", {});
    for (const std::string& name : sources) p.AddFile(name, Mono8(8363, {0x80}));
    p.AddTextFile("out.xi", "kept");
    EXPECT_EQ(RunBrumlet({"--multi", "out.xi", "*.wav"}, "brumlet", p), 247) << c.message;
    const std::string& out = p.fake_console().output;
    EXPECT_EQ(out.substr(out.rfind("error")), c.message);
    EXPECT_EQ(p.Contents("out.xi"), Bytes({'k', 'e', 'p', 't'}));
  }

  // A source that fails its own checks ends the run as it always does, with no output.
  platform_.AddFile("a.wav", Mono8(8363, {0x80}));
  platform_.AddFile("b.wav", Bytes(40, 'x'));
  EXPECT_EQ(Run({"--kit", "kit.xi", "*.wav"}), 253);
  EXPECT_TRUE(Output().ends_with("\nb.wav: not a standard WAV!\n\n"));
  EXPECT_FALSE(platform_.Has("kit.xi"));
  // Nor may the output be one of its sources.
  EXPECT_EQ(Run({"--kit", "a.wav", "a.wav"}), 247);
  EXPECT_EQ(platform_.Contents("a.wav"), Mono8(8363, {0x80}));
}

TEST_F(Instruments, OtherUsesOfTheModesShowTheUsage) {
  const std::string many = "hint: too many arguments for ";
  const std::string quote = "; quote a wildcard pattern so that brumlet expands it: brumlet ";
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"--kit", "out.xi"}, ""},
      // No file called out.xi: the shell did not put it there, so it is the output.
      {{"--multi", "out.xi", "a", "b"},
       "hint: the first argument of --multi is the instrument to write: brumlet --multi piano.xi "
       "'*.wav'\n"},
      {{"--mono"}, ""},
      {{"--mono", "a", "b", "c"}, many + "--mono" + quote + "--mono '*.wav'\n"},
      {{"", "--kit", "", "x.xi", ""}, ""}};
  for (const auto& [args, hint] : cases) {
    FakePlatform p;
    EXPECT_EQ(RunBrumlet(args, "brumlet", p), 246);
    EXPECT_EQ(p.fake_console().output, kBanner + kUsage + hint);
  }
}

// An unquoted pattern whose first match became the output, a mistyped option, an option after
// the pattern: refused or answered with what was most likely meant, and no file is touched.
TEST_F(Instruments, MistakesNeverReplaceARecordingAndSayWhatWasMeant) {
  const Bytes wav = Mono8(8363, {0x80});
  const std::string kit_hint =
      "hint: quote a wildcard pattern so that brumlet expands it: brumlet --kit drums.xi '*.wav'\n";
  const std::string options =
      "hint: the options are --mono, --kit, --multi, --sf2, --sfz, --help and --version; they "
      "come first\n";
  struct Case {
    std::vector<std::string> args;
    int code;
    std::string tail;  // the end of the output
    bool shell_expands_wildcards = true;
  };
  const Case cases[] = {
      {{"--kit", "kick.wav", "pluck.wav"}, 247,
       "error: the output kick.wav does not end in .xi\n" + kit_hint},
      {{"--multi", "Piano_C2.wav", "Piano_C3.wav"}, 247,
       "error: the output Piano_C2.wav does not end in .xi\nhint: quote a wildcard pattern so "
       "that brumlet expands it: brumlet --multi piano.xi '*.wav'\n"},
      {{"--kit", "new.wav", "*.wav"}, 247,
       "error: the output new.wav does not end in .xi\nhint: the first argument of --kit is the "
       "instrument to write: brumlet --kit drums.xi *.wav\n", false},
      {{"--kit", "notes.xi", "*.wav"}, 247,
       "error: notes.xi exists and is not an XI instrument; brumlet does not replace it\n"},
      {{"--Kit", "out.xi", "*.wav"}, 246, kUsage + options},
      {{"--Kit"}, 254, "couldn't find --Kit\n" + options},
      {{"*.wav", "--mono"}, 255, "couldn't find namefile --mono\nhint: options come first: "
                                 "brumlet --mono '*.wav'\n"},
      {{"*.wav", "--kit"}, 255, "hint: options come first: brumlet --kit drums.xi *.wav\n", false},
  };
  for (const Case& c : cases) {
    FakePlatform p;
    p.shell_expands_wildcards = c.shell_expands_wildcards;
    for (const char* name : {"kick.wav", "pluck.wav", "Piano_C2.wav", "Piano_C3.wav"}) {
      p.AddFile(name, wav);
    }
    p.AddTextFile("notes.xi", "my notes");
    EXPECT_EQ(RunBrumlet(c.args, "brumlet", p), c.code) << c.args[0] << c.args.size();
    EXPECT_TRUE(p.fake_console().output.ends_with(c.tail)) << p.fake_console().output;
    EXPECT_EQ(p.files.size(), 5u);
    for (const char* name : {"kick.wav", "pluck.wav", "Piano_C2.wav"}) {
      EXPECT_EQ(p.Contents(name), wav);
    }
  }
  // An earlier instrument is replaced, whatever the case of its suffix.
  platform_.AddFile("a.wav", wav);
  platform_.AddFile("drums.XI", ExpectedInstrumentHeader(false, "old", 1));
  EXPECT_EQ(Run({"--kit", "drums.XI", "a.wav"}), 0);
  EXPECT_EQ(Xi("drums.XI").instrument_name.substr(0, 5), "drums");
}

// 16-bit samples of a kit keep whole 16-bit words: an odd byte count is cut, so the next
// sample's data starts on its own first value.
TEST_F(Instruments, SixteenBitSlotsHoldWholeSamples) {
  platform_.AddFile("a.wav", Wav(FmtData(1, 8363, 16), {Chunk("data", {1, 0, 2, 0, 9})}));
  platform_.AddFile("b.wav", Wav(FmtData(1, 8363, 16), {Chunk("data", Samples16({5}))}));
  ASSERT_EQ(Run({"--kit", "k.xi", "*.wav"}), 0);
  const XiFile xi = Xi("k.xi");
  ASSERT_TRUE(xi.complete);
  EXPECT_EQ(xi.samples[0].data, (std::vector<int>{-2, -3}));
  EXPECT_EQ(xi.samples[1].data, (std::vector<int>{-6}));
}

TEST_F(Instruments, MonoMixesAStereoSourceIntoOneSampleOnEveryKey) {
  platform_.AddFile("s.wav", Wav(FmtData(2, 8363, 8), {Chunk("data", {0xFF, 0x00, 0x80, 0x80})}));
  platform_.AddTextFile("names", "INSTR: %XI\nSMP00: both\n");
  ASSERT_EQ(Run({"--mono", "s.wav", "names"}), 0);
  EXPECT_EQ(Output(), kBanner +
                          "Processing \"s.wav\", using namefile \"names\"\n\n"
                          "s.wav  ->  s.xi  (8 bit, stereo, 8363 Hz, no loop)\n");
  // Counted as mono: one sample with sound, centred, on every key.
  Bytes expected = ExpectedInstrumentHeader(false, "s.xi", 1);
  const Bytes slot = Named(ExpectedSampleHeader(2, 0, 0, 0, 0, 128, -12), "both");
  expected.insert(expected.end(), slot.begin(), slot.end());
  // Mixed: (255 + 0) >> 1 = 127, then 128; stored as deltas from 127.
  for (std::uint8_t delta : {0x00, 0xFF}) expected.push_back(delta);
  EXPECT_EQ(platform_.Contents("s.xi"), expected);
}

}  // namespace
}  // namespace brumlet
