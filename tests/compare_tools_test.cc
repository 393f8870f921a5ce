// The comparison tools (tools/kit_compare, tools/melodic_compare) run on a few keys of Debian's
// banks: each must finish and print its summary for both players, with figures that hold for
// today's program. Drums: the kick, snare and closed hi-hat of TimGM6mb's Standard kit sound as
// the bank's drums on their keys. Pitch: presets known to be in tune stay within 10 cents.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "players.h"
#include "program_test.h"

namespace brumlet {
namespace {

using namespace brumlet::testing;
using namespace brumlet::measure;

constexpr char kFluid[] = "/usr/share/sounds/sf2/FluidR3_GM.sf2";
constexpr char kTim[] = "/usr/share/sounds/sf2/TimGM6mb.sf2";

class CompareTools : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    for (const char* tool : {"openmpt123", "xmp", "fluidsynth"}) {
      if (!MissingTool(tool, tool).empty()) GTEST_SKIP() << MissingTool(tool, tool);
    }
    for (const char* bank : {kFluid, kTim}) {
      if (!fs::exists(bank)) {
        GTEST_SKIP() << bank << " is missing (Debian fluid-soundfont-gm, timgm6mb-soundfont)";
      }
    }
  }
};

// How often `line` stands as a whole line in `text`.
int Lines(const std::string& text, const std::string& line) {
  std::string whole = "\n";
  whole += line;
  whole += '\n';
  int count = 0;
  for (std::size_t at = text.find(whole); at != std::string::npos; at = text.find(whole, at + 1)) {
    ++count;
  }
  return count;
}

TEST_F(CompareTools, PrintTheirSummaryForBothPlayers) {
  const std::string in_tune =
      "notes more than 10 cents off: 0 (layer choice 0, scaleTuning 0, held pitch 0, pitch LFO 0, "
      "none 0, unmatched 0)";
  struct Case {
    const char* tool;
    const char* bank;
    std::vector<std::string> args;
    std::string heading;               // of each player's summary, behind its name
    std::vector<std::string> summary;  // lines each player's summary must hold
  };
  const Case cases[] = {
      {BRUMLET_KIT_COMPARE,
       kTim,
       {"--program", "128:0", "--keys", "35,38,42"},
       "summary over 1 kits",
       {"keys matched: 3 of 3"}},
      {BRUMLET_MELODIC_COMPARE,
       kTim,
       {"--program", "0:0", "--keys", "60"},
       "summary over 1 presets, 1 notes",
       {"pitched notes: 1", in_tune, "silent notes: 0"}},
      {BRUMLET_MELODIC_COMPARE,
       kFluid,
       {"--program", "0:40", "--keys", "60"},
       "summary over 1 presets, 1 notes",
       {"pitched notes: 1", in_tune, "silent notes: 0"}},
  };
  for (const Case& c : cases) {
    std::string command = Quote(c.tool);
    for (const std::string& arg : c.args) {
      command += ' ';
      command += Quote(arg);
    }
    command += ' ';
    command += Quote(c.bank);
    SCOPED_TRACE(command);
    ASSERT_TRUE(Shell(command + " >out.txt 2>err.txt")) << Read("err.txt");
    const std::string out = Read("out.txt");
    std::printf("%s", out.c_str());
    for (const char* player : {"openmpt", "xmp"}) {
      EXPECT_EQ(Lines(out, "== " + std::string(player) + ": " + c.heading), 1) << player;
    }
    for (const std::string& line : c.summary) EXPECT_EQ(Lines(out, line), 2) << line;
  }
}

}  // namespace
}  // namespace brumlet
