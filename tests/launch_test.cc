// Explorer mode and the launch guard over the in-memory platform: which runs dropped files make,
// where they write, which exit code the launch ends with, and that the window waits for Enter.
#include "launch.h"

#include <gtest/gtest.h>

#include "expected_text.h"
#include "explorer.h"
#include "fake_platform.h"

namespace brumlet {
namespace {

using namespace brumlet::testing;

const std::string kPressEnter = "\nPress Enter to close this window.";

TEST(PlanDroppedFiles, OneRunPerFileBesideItAndNoneUnlessEveryArgumentIsAFile) {
  FakePlatform platform;
  for (const char* name : {"/m/--help", "/m/Bank.SF2", "b.wav", "/m/...sf2", "/m/.sf2"}) {
    platform.AddFile(name, {});
  }
  using Plan = std::vector<PlannedRun>;
  const std::pair<std::vector<std::string>, std::optional<Plan>> cases[] = {
      {{"b.wav", "/m/missing.wav"}, std::nullopt},
      {{"/m/--help", "", "b.wav"}, Plan{{{".\\--help"}, "/m/", false}, {{"b.wav"}, "", false}}},
      {{"/m/Bank.SF2"}, Plan{{{"--sf2", "..\\Bank.SF2"}, "/m/Bank", true}}},
      {{"/m/...sf2", "/m/.sf2"},
       Plan{{{"--sf2", "/m/...sf2"}, "/m/bank", true}, {{"--sf2", "/m/.sf2"}, "/m/bank", true}}},
  };
  for (const auto& [args, plan] : cases) EXPECT_EQ(PlanDroppedFiles(args, platform), plan);
}

TEST(Launch, ExplorerRunsEachFileBesideItThenWaitsForEnterAndEndsWithTheFirstFailure) {
  const Bytes wav = Wav(FmtData(1, 8363, 8), {Chunk("data", {0x80, 0x81})});
  const std::vector<std::string> dropped = {"/m/a.wav", "/m/bad.wav", "/m/bank.sf2", "/m/c.wav"};
  const std::tuple<bool, std::vector<std::string>, int, std::string> cases[] = {
      {true, dropped, 253,
       "Processing \"a.wav\"\n\na.wav  ->  a.xi  (8 bit, mono, 8363 Hz, no loop)\n" + kBanner +
           "Processing \"bad.wav\"\n\n\nbad.wav: not a standard WAV!\n\n"
           "Exception EInOutError in module brumlet at 00000A02.\nFile access denied.\n" +
           kBanner + "Processing \"c.wav\"\n\nc.wav  ->  c.xi  (8 bit, mono, 8363 Hz, no loop)\n" +
           kPressEnter},
      {false, dropped, 246, kUsage + kManyArgumentsHint},
      {true, {}, 0, kUsage + kPressEnter},
  };
  for (const auto& [explorer, args, code, output] : cases) {
    FakePlatform platform;
    platform.explorer_launch = explorer;
    platform.directories = {"/", "/m/"};
    platform.folder = "/";
    platform.AddFile("/m/a.wav", wav);
    platform.AddFile("/m/c.wav", wav);
    platform.AddTextFile("/m/bad.wav", std::string(64, 'x'));
    platform.AddFile("/m/bank.sf2", {});
    platform.AddFile("/m/bank", {});  // where the bank's folder would go
    // What is left of an answer that ended at CR, then the Enter that closes the window.
    platform.fake_console().input = "\nx\r\nmore";
    EXPECT_EQ(Launch(args, "brumlet", platform), code);
    EXPECT_EQ(platform.fake_console().output, kBanner + output);
    EXPECT_EQ(platform.Has("/m/a.xi"), code == 253);  // only the dropped files are converted
    EXPECT_EQ(platform.fake_console().next_input, explorer ? 4u : 0u);
  }
}

TEST(Launch, FilesDroppedTogetherNeverReplaceEachOthersOutputs) {
  FakePlatform platform;
  platform.explorer_launch = true;
  platform.directories = {"/", "/m/"};
  platform.folder = "/";
  const Bytes wav = Wav(FmtData(1, 8363, 8), {Chunk("data", {0x80, 0x81})});
  platform.AddFile("/m/a.1.wav", wav);
  platform.AddFile("/m/a.2.wav", wav);
  EXPECT_EQ(Launch({"/m/a.1.wav", "/m/a.2.wav"}, "brumlet", platform), 247);
  EXPECT_TRUE(platform.fake_console().output.ends_with(
      "error: a.2.wav and a.1.wav both become a.xi; rename one of them (only the part before the "
      "first dot names the output)\n" +
      kPressEnter));
  EXPECT_EQ(platform.Contents("/m/a.xi").size(), 298u + 3 * 40 + 2);
}

TEST(Launch, AnUnexpectedExceptionIsAFailureReport) {
  struct Throwing : FakePlatform {
    std::vector<Match> Search(const std::string&) override { throw std::logic_error("boom"); }
  } platform;
  EXPECT_EQ(Launch({"*.wav"}, "brumlet", platform), 1);
  EXPECT_EQ(platform.fake_console().output,
            kBanner +
                "Exception EUnexpected in module brumlet at 00000000.\n"
                "Unexpected failure: boom.\n");
}

}  // namespace
}  // namespace brumlet
