// The driver over an in-memory platform: the run's order, its clean-up and every failure path,
// including those a real disk cannot produce on demand (a failing close, a refused create).
#include <gtest/gtest.h>

#include "brumlet.h"
#include "expected_text.h"
#include "fake_platform.h"
#include "riff_builder.h"

namespace brumlet {
namespace {

using namespace brumlet::testing;

Bytes SmallWav() { return Wav(FmtData(1, 8363, 8), {Chunk("data", {0x80, 0x81})}); }

class Driver : public ::testing::Test {
 protected:
  int Run(std::vector<std::string> args) { return RunBrumlet(args, "brumlet", platform_); }
  const std::string& Output() { return platform_.fake_console().output; }

  FakePlatform platform_;
};

TEST_F(Driver, UsageHelpAndVersionEmptyArgumentsNotCounted) {
  struct Case {
    std::vector<std::string> args;
    std::string out;
    bool shell_expands_wildcards = true;
    int code = 0;
  };
  const Case cases[] = {
      {{}, kBanner + kUsage},
      {{""}, kBanner + kUsage},
      {{"", "", ""}, kBanner + kUsage},
      // Most likely an unquoted pattern that the shell expanded; no hint where shells do not.
      // Either way a wrong use, which a script must not take for success.
      {{"a", "b", "c"}, kBanner + kUsage + kManyArgumentsHint, true, 246},
      {{"a", "b", "c"}, kBanner + kUsage, false, 246},
      {{"--help"}, kBanner + kUsage + kManualPointer},
      {{"", "-h", ""}, kBanner + kUsage + kManualPointer},
      {{"--version"}, kBanner},
      // Only alone are they options: otherwise a pattern like any other.
      {{"--help", "-h"}, kBanner + "couldn't find namefile -h\n", true, 255},
      {{"-h", "--version", "x"}, kBanner + kUsage + kManyArgumentsHint, true, 246},
  };
  for (const Case& c : cases) {
    FakePlatform fresh;
    fresh.shell_expands_wildcards = c.shell_expands_wildcards;
    EXPECT_EQ(RunBrumlet(c.args, "brumlet", fresh), c.code) << c.args.size();
    EXPECT_EQ(fresh.fake_console().output, c.out) << c.args.size();
    EXPECT_TRUE(fresh.files.empty());
  }
  platform_.AddFile("a.wav", SmallWav());
  EXPECT_EQ(Run({"", "a.wav", ""}), 0);
  EXPECT_EQ(Output(),
            kBanner + "Processing \"a.wav\"\n\na.wav  ->  a.xi  (8 bit, mono, 8363 Hz, no loop)\n");
}

TEST_F(Driver, MissingNameFileComesBeforeAMissingPattern) {
  platform_.directories.insert("names");
  EXPECT_EQ(Run({"*.wav", "names"}), 255);
  EXPECT_EQ(Output(), kBanner + "couldn't find namefile names\n");
}

TEST_F(Driver, SourcesAreOpenedWhereTheSearchFoundThemAndOutputsGoHere) {
  platform_.AddFile("sounds/kick.wav", SmallWav());
  platform_.AddFile("kick.wav", Bytes{'n', 'o', 't', ' ', 'a', ' ', 'w', 'a', 'v'});
  EXPECT_EQ(Run({"sounds/*.wav"}), 0);
  EXPECT_EQ(Output(), kBanner +
                          "Processing \"sounds/*.wav\"\n\n"
                          "kick.wav  ->  kick.xi  (8 bit, mono, 8363 Hz, no loop)\n");
  EXPECT_EQ(platform_.Contents("kick.xi").size(), 298u + 3 * 40 + 2);
}

TEST_F(Driver, ARejectedSourceEndsTheRunAndDeletesOnlyItsOwnOutput) {
  platform_.AddFile("a.wav", SmallWav());
  platform_.AddFile("b.wav", Bytes(40, 'x'));
  platform_.AddFile("c.wav", SmallWav());
  EXPECT_EQ(Run({"*.wav"}), 253);
  EXPECT_TRUE(platform_.Has("a.xi"));
  EXPECT_FALSE(platform_.Has("b.xi"));
  EXPECT_FALSE(platform_.Has("c.xi"));
  EXPECT_EQ(Output(), kBanner +
                          "Processing \"*.wav\"\n\n"
                          "a.wav  ->  a.xi  (8 bit, mono, 8363 Hz, no loop)\n"
                          "\nb.wav: not a standard WAV!\n\n");
}

TEST_F(Driver, NeverReplacesAnInputOfTheRun) {
  // "a.xi" matched by "*" would be its own output; so would a name file beside its source.
  platform_.AddFile("a.xi", SmallWav());
  EXPECT_EQ(Run({"*"}), 1);
  EXPECT_EQ(platform_.Contents("a.xi"), SmallWav());
  EXPECT_EQ(Output(),
            kBanner + "Processing \"*\"\n\n" + IoReport("00000401", "File access denied."));

  FakePlatform other;
  other.AddFile("drum.wav", SmallWav());
  other.AddTextFile("drum.xi", "INSTR: x\n");
  EXPECT_EQ(RunBrumlet({"drum.wav", "drum.xi"}, "brumlet", other), 1);
  EXPECT_EQ(other.Contents("drum.xi"), Bytes({'I', 'N', 'S', 'T', 'R', ':', ' ', 'x', '\n'}));

  // The name file as opened again after the first source is the one that counts: here it has
  // become a second name of the next source's output while the program waited for an answer.
  FakePlatform third;
  third.AddFile("a.wav", SmallWav());
  third.AddFile("b.wav", SmallWav());
  third.AddTextFile("names", "INSTR: %ASK\n");
  third.AddTextFile("b.xi", "INSTR: kept\n");
  third.fake_console().before_first_read = [&third] { third.AddLink("names", "b.xi"); };
  EXPECT_EQ(RunBrumlet({"*.wav", "names"}, "brumlet", third), 1);
  EXPECT_TRUE(third.fake_console().output.ends_with(IoReport("00000401", "File access denied.")));
  EXPECT_EQ(third.Contents("b.xi"),
            Bytes({'I', 'N', 'S', 'T', 'R', ':', ' ', 'k', 'e', 'p', 't', '\n'}));
}

TEST_F(Driver, FailedFileOperationsReportTheirCauseAndLeaveThePartialOutput) {
  struct Case {
    Site site;
    int error;
    std::string text;
  };
  for (const Case& c :
       {Case{Site::kOutputCreate, EACCES, "File access denied."},
        Case{Site::kSourceOpen, ENOENT, "File not found."},
        Case{Site::kHeaderWrite, ENOSPC, "Disk full."},
        Case{Site::kOutputClose, EIO, "I/O error 5."},
        Case{Site::kSourceOpen, EMFILE, "Too many open files."},
        // On Linux these are 100 and 101, the numbers of the program's own
        // short read and short write; they must read as what they are.
        Case{Site::kSampleRead, ENETDOWN, "I/O error " + std::to_string(ENETDOWN) + "."},
        Case{Site::kSampleWrite, ENETUNREACH, "I/O error " + std::to_string(ENETUNREACH) + "."}}) {
    FakePlatform p;
    p.AddFile("a.wav", SmallWav());
    p.faults[c.site] = c.error;
    EXPECT_EQ(RunBrumlet({"a.wav"}, "brumlet", p), 1);
    char site[9];
    std::snprintf(site, sizeof site, "%08X", static_cast<unsigned>(c.site));
    const std::string& out = p.fake_console().output;
    EXPECT_EQ(out.substr(out.find("Exception")), IoReport(site, c.text));
    EXPECT_EQ(p.Has("a.xi"), c.site != Site::kOutputCreate && c.site != Site::kSourceOpen);
  }
}

TEST_F(Driver, AFailingCloseDuringCleanUpStopsTheCleanUp) {
  platform_.AddFile("a.wav", Bytes(40, 'x'));
  platform_.faults[Site::kSourceClose] = EIO;
  EXPECT_EQ(Run({"a.wav"}), 1);
  EXPECT_TRUE(platform_.Has("a.xi"));  // the delete never ran
  EXPECT_EQ(Output(), kBanner + "Processing \"a.wav\"\n\n\na.wav: not a standard WAV!\n\n" +
                          IoReport("00000302", "I/O error 5."));
}

TEST_F(Driver, AConsoleThatCannotBeWrittenEndsTheRunWithCodeOne) {
  platform_.AddFile("a.wav", SmallWav());
  platform_.fake_console().faults[Site::kConsoleWrite] = EPIPE;
  EXPECT_EQ(Run({"a.wav"}), 1);
  EXPECT_FALSE(platform_.Has("a.xi"));
}

TEST_F(Driver, NameFileErrorsCloseEverythingAndKeepEarlierOutputs) {
  platform_.AddFile("a.wav", SmallWav());
  platform_.AddFile("b.wav", SmallWav());
  platform_.AddTextFile("names", "INSTR: %ASK\nSMP00: %ASK\nSMP01: ok\n");
  platform_.fake_console().input = "first\nA\nsecond\n";
  EXPECT_EQ(Run({"*.wav", "names"}), 0);
  EXPECT_EQ(Output(), kBanner +
                          "Processing \"*.wav\", using namefile \"names\"\n\n"
                          "a.wav  ->  a.xi  (8 bit, mono, 8363 Hz, no loop)\n"
                          "enter instrument name: enter sample 0 name: "
                          "b.wav  ->  b.xi  (8 bit, mono, 8363 Hz, no loop)\n"
                          "enter instrument name: enter sample 0 name: ");
  EXPECT_EQ(platform_.Contents("a.xi")[21], 'f');
  EXPECT_EQ(platform_.Contents("b.xi")[21], 's');
  EXPECT_EQ(platform_.Contents("b.xi")[298 + 18], 0);  // the answer ran out: an empty name

  FakePlatform p;
  p.AddFile("a.wav", SmallWav());
  p.AddFile("b.wav", Wav(FmtData(1, 8363, 8), {Chunk("data", {0x80})}));
  p.AddTextFile("names", "INSTR: %XI\nSMP00: %SIZE\nSMP0f: x\n");
  EXPECT_EQ(RunBrumlet({"*.wav", "names"}, "brumlet", p), 249);
  EXPECT_FALSE(p.Has("a.xi"));
}

TEST_F(Driver, EverySampleWithSoundKeepsItsHeaderWhateverTheNameFileSays) {
  // No sample line sets no count; the count left by an earlier source does not apply either.
  platform_.AddFile("a.wav", Wav(FmtData(2, 8363, 8), {Chunk("data", {0x80, 0x80})}));
  platform_.AddFile("b.wav", SmallWav());
  platform_.AddFile("c.wav", Wav(FmtData(2, 8363, 8), {Chunk("data", {0x80, 0x80})}));
  platform_.AddTextFile("names", "INSTR: only the instrument\n");
  EXPECT_EQ(Run({"*.wav", "names"}), 0);
  auto count = [this](const std::string& name) {
    const Bytes& xi = platform_.Contents(name);
    return xi[296] | xi[297] << 8;
  };
  EXPECT_EQ(count("a.xi"), 2);
  EXPECT_EQ(count("b.xi"), 1);
  EXPECT_EQ(platform_.Contents("b.xi").size(), 298u + 40 + 2);
  EXPECT_EQ(count("c.xi"), 2);

  // A stereo source whose last sample line names slot 0 keeps its right channel's header.
  FakePlatform p;
  p.AddFile("s.wav", Wav(FmtData(2, 8363, 8), {Chunk("data", {0x80, 0x80})}));
  p.AddTextFile("names", "INSTR: x\nSMP05: five\nSMP00: zero\n");
  EXPECT_EQ(RunBrumlet({"s.wav", "names"}, "brumlet", p), 0);
  EXPECT_EQ(p.Contents("s.xi").size(), 298u + 2 * 40 + 2);
}

}  // namespace
}  // namespace brumlet
