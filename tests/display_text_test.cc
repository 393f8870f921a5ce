// Texts that come from files and the command line reach the console without the bytes a terminal
// acts on (ESC ] 52 writes the clipboard, ESC [ 2 J clears the screen, C1 controls do the same).
#include "display_text.h"

#include <gtest/gtest.h>

#include "brumlet.h"
#include "expected_text.h"
#include "fake_platform.h"
#include "messages.h"
#include "riff_builder.h"
#include "sf2_builder.h"

namespace brumlet {
namespace {

using namespace brumlet::testing;

TEST(DisplayText, ReplacesWhatATerminalActsOnAndKeepsText) {
  const struct {
    std::string raw, shown;
  } cases[] = {
      {"\x1b]52;c;aGk=\x07", "?]52;c;aGk=?"},
      {"\x1b[2J\r\n\t", "?[2J???"},
      {std::string("a\0b\x7f", 4), "a?b?"},
      {"\xc2\x9b"
       "2J \xc2\x80",
       "?2J ?"},  // C1 controls in UTF-8
      {"\x9b"
       "2J \x85",
       "?2J ?"},  // and as lone bytes
      {"caf\xc3\xa9 \xf0\x9f\xa5\x81 \xc2\xa0", "caf\xc3\xa9 \xf0\x9f\xa5\x81 \xc2\xa0"},
      {"Gro\xdf\xe9 Trommel \xa0", "Gro\xdf\xe9 Trommel \xa0"},  // Latin-1 letters stay
      {"\xe2\x80 \xed\xa0\x80", "\xe2? \xed\xa0?"},  // cut short; a surrogate is no UTF-8
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DisplayText(c.raw).str(), c.shown) << c.raw;
    EXPECT_EQ(DisplayText(c.shown).str(), c.shown) << "filtering twice changes nothing";
  }
}

// Every message that shows a file name, an argument or a name from a file.
TEST(DisplayText, EveryMessageShowsItsFileBorneTextsFiltered) {
  const DisplayText t(
      "x\x1b[2J\x9b"
      "y");
  const std::string shown = "x?[2J?y";
  const std::string messages[] = {
      ProcessingLine(t, &t),
      InstrumentProcessingLine(t, "kit", t),
      NameFileNotFound(t).what(),
      NothingMatches(t).what(),
      NotAStandardWav(t).what(),
      ChunkBeforeFormatHint(t, "JUNK"),
      DataChunkNotFound(t).what(),
      UndecodableFormat(t, 0x55).what(),
      DamagedAdpcmBlocks(t, 6).what(),
      DecodesTooLong(t).what(),
      OutputNotXi(t, "").what(),
      SameOutput(t, t, t).what(),
      CaseHint(t, t),
      Rf64Hint(t),
      WholeNameHint(t, 8, true),
      OutputNotAnInstrument(t).what(),
      TooManySamples(t, 17).what(),
      NoRootKey(t).what(),
      SameRootKey(t, t, "C-5").what(),
      RootKeyTooHigh(t, 99).what(),
      InstrumentNotWritable(t, "it has no samples").what(),
      BankNotSfbk(t).what(),
      BankTooMuchWork(t).what(),
      BankOutputTooLarge(t, 1281).what(),
      PresetSampleOutside(t, -10, 100, 50).str(),
      PresetSampleNotInBank(t).str(),
      PresetSampleRate(t, 0).str(),
      PresetAfterTwin(t).str(),
      BankProcessingLine(t),
      PresetListLine(t, 1, 1, 100),
      PresetSkipLine(t, t),
      PresetReportLine(t, t, 1, ""),
      NoPresetChosen(t, t).what(),
  };
  for (const std::string& message : messages) {
    EXPECT_NE(message.find(shown), std::string::npos) << message;
    for (char c : message) {
      const auto u = static_cast<unsigned char>(c);
      EXPECT_TRUE(c == '\n' || (u >= 0x20 && u != 0x7F && u != 0x9B)) << message;
    }
  }
}

// The same through the program: a WAV and a bank preset named to clear the screen. The files it
// creates keep their names byte for byte.
TEST(DisplayText, RunsShowNamesFilteredAndCreateFilesByTheirOwnNames) {
  FakePlatform p;
  p.AddFile("a\x1b[2J.wav", Wav(FmtData(1, 8000, 8), {Chunk("data", Bytes(4, 0x80))}));
  EXPECT_EQ(RunBrumlet({"*.wav"}, "brumlet", p), 0);
  EXPECT_NE(p.fake_console().output.find("Processing \"*.wav\"\n\na?[2J.wav  ->  a?[2J.xi  ("),
            std::string::npos)
      << p.fake_console().output;
  EXPECT_TRUE(p.Has("a\x1b[2J.xi"));

  FakePlatform bank;
  bank.AddFile("b.sf2", Sf2({{{"Evil\x1b]52;c;aGk=\x07", 0, 0, {{Set(41, 0)}}}},
                             {{"I", {{Set(53, 0)}}}},
                             {{"S", 0, 10}},
                             10}));
  EXPECT_EQ(RunBrumlet({"--sf2", "b.sf2", "--list"}, "brumlet", bank), 0);
  EXPECT_EQ(bank.fake_console().output, testing::kBanner +
                                            "000:000 Evil?]52;c;aGk=?  (1 zone, 1 sample, 0.0 MB)\n"
                                            "total: 1 preset, 1 file, 0.0 MB\n");
}

}  // namespace
}  // namespace brumlet
