#include <gtest/gtest.h>

#include <optional>

#include "expected_text.h"
#include "fake_platform.h"
#include "naming/labels.h"
#include "naming/name_file.h"
#include "naming/sample_number.h"
#include "naming/text_line_reader.h"
#include "utf8.h"

namespace brumlet {
namespace {

using namespace brumlet::testing;

// Runs the naming for a source over a name file (or without one), as the driver does.
class Naming : public ::testing::Test {
 protected:
  void UseNameFile(std::string_view text) {
    platform_.AddTextFile("names.txt", text);
    name_file_.emplace("names.txt", platform_);
  }

  void Name(std::string_view source = "Bass.wav") {
    const SourceFacts facts{source, title_, data_length_, loop_type_};
    names_ = name_file_ ? name_file_->Read(facts) : DefaultLabels(facts);
  }

  // The exit code of a name file that is rejected, checking its message.
  int Rejected(std::string_view text, std::string_view message) {
    UseNameFile(text);
    try {
      Name();
    } catch (const Rejection& rejection) {
      EXPECT_EQ(std::string(rejection.what()), message) << text;
      EXPECT_TRUE(rejection.abort_current_file());
      return rejection.exit_code();
    }
    ADD_FAILURE() << "accepted: " << text;
    return 0;
  }

  // The instrument name as stored, without the blanks behind it.
  std::string Instrument() const {
    const std::string name(CutToBytes(names_.instrument, 22));
    return name.substr(0, name.find_last_not_of(' ') + 1);
  }

  std::string Slot(int slot) {
    return std::string(CutToBytes(names_.samples[static_cast<std::size_t>(slot)], 22));
  }

  // The instrument name or slot 0's name that a one-token line gives.
  std::string InstrumentFrom(std::string_view text) {
    Reset();
    UseNameFile("INSTR: " + std::string(text));
    Name();
    return Instrument();
  }
  std::string SampleFrom(std::string_view text, std::string_view source = "Bass.wav") {
    Reset();
    UseNameFile("INSTR: x\nSMP00: " + std::string(text));
    Name(source);
    return Slot(0);
  }

  void Reset() {
    platform_.files.clear();
    name_file_.reset();
  }

  FakePlatform platform_;
  std::optional<NameFile> name_file_;
  Names names_;
  std::string title_;
  std::int32_t data_length_ = 30000;
  std::uint32_t loop_type_ = 255;
};

const std::string kEmpty = "error: namefile is empty!\n";
const std::string kBadInstrument = "namefile error: invalid instrument name identifier!\n";
const std::string kBadSample = "namefile error: invalid sample name identifier!\n";
const std::string kBadNumber = "namefile error: bad sample number!\n";

TEST_F(Naming, MalformedNameFilesAreRejectedWithTheirOwnCodes) {
  struct Case {
    std::string text;
    const std::string& message;
    int code;
  };
  const Case cases[] = {
      {"", kEmpty, 252},
      {"\x1AINSTR: x", kEmpty, 252},
      {"\nSMP00: x", kBadInstrument, 251},
      {"INSTR:%ASK", kBadInstrument, 251},
      {"INSTR", kBadInstrument, 251},
      {"NAME: x", kBadInstrument, 251},
      {"INSTR: x\nSMP05- x", kBadSample, 250},
      {"INSTR: x\nXYZ05: x", kBadSample, 250},
      {"INSTR: x\nSMP05", kBadSample, 250},
      {"INSTR: x\n  \nSMP00: x", kBadSample, 250},
      {"INSTR: x\nSMP5 : x", kBadNumber, 249},
      {"INSTR: x\nSMPab: x", kBadNumber, 249},
      {"INSTR: x\nSMP-1: x", kBadNumber, 249},
      {"INSTR: x\nSMP16: x", kBadNumber, 249},
      {"INSTR: x\nSMP0x: x", kBadNumber, 249},
      {"INSTR: x\nSMP  : x", kBadNumber, 249},
  };
  for (const Case& c : cases) {
    Reset();
    EXPECT_EQ(Rejected(c.text, c.message), c.code) << c.text;
  }
}

TEST(ParseSampleNumber, AcceptsBlanksSignsAndHexPrefixesOnly) {
  EXPECT_EQ(ParseSampleNumber("07"), 7);
  EXPECT_EQ(ParseSampleNumber(" 5"), 5);
  EXPECT_EQ(ParseSampleNumber("+5"), 5);
  EXPECT_EQ(ParseSampleNumber("-7"), -7);
  EXPECT_EQ(ParseSampleNumber("99"), 99);
  EXPECT_EQ(ParseSampleNumber("$A"), 10);
  EXPECT_EQ(ParseSampleNumber("xf"), 15);
  EXPECT_EQ(ParseSampleNumber("XF"), 15);
  EXPECT_EQ(ParseSampleNumber("0x1f"), 31);
  for (std::string_view bad : {"5 ", "7:", "  ", "ab", "0x", "$", "-", "+ 1", "1a", ""}) {
    EXPECT_FALSE(ParseSampleNumber(bad).has_value()) << bad;
  }
}

TEST_F(Naming, IdentifiersInAnyCaseAndNumbersInEveryForm) {
  UseNameFile("instr: Keys\nsmp 5: five\nSmP+1: one\nSMP$A: ten\nsMpxf: fifteen\n");
  Name();
  EXPECT_EQ(Instrument(), "Keys");
  EXPECT_EQ(Slot(5), "five");
  EXPECT_EQ(Slot(1), "one");
  EXPECT_EQ(Slot(10), "ten");
  EXPECT_EQ(Slot(15), "fifteen");
  EXPECT_EQ(names_.count.value_or(0), 16);
}

TEST_F(Naming, InstrumentLineKnowsFourTokens) {
  title_ = "Deep bass";
  EXPECT_EQ(InstrumentFrom("%WAV"), "Bass.wav");
  EXPECT_EQ(InstrumentFrom("%w"), "Bass.wav");
  EXPECT_EQ(InstrumentFrom("%XI"), "Bass.xi");
  EXPECT_EQ(InstrumentFrom("%x"), "Bass.xi");
  EXPECT_EQ(InstrumentFrom("%INAM"), "Deep bass");
  EXPECT_EQ(InstrumentFrom("%in"), "Deep bass");
  for (std::string_view plain :
       {"%INSTR", "%I", "%SIZE", "%S", "%LOOP", "%L", "%DATE", "%D", " %XI", "%XI text"}) {
    EXPECT_EQ(InstrumentFrom(plain), plain);
  }
  title_.clear();
  EXPECT_EQ(InstrumentFrom("%INAM"), "Bass.xi");
  // A trailing blank makes it text; Instrument() cannot show the blank, the bytes can.
  EXPECT_EQ(InstrumentFrom("%ASK "), "%ASK");
  EXPECT_EQ(platform_.fake_console().output, "");
}

TEST_F(Naming, SampleLinesKnowEveryToken) {
  title_ = "Deep bass";
  data_length_ = 1536;
  loop_type_ = 1;
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"%WAV", "Bass.wav"},
      {"%W", "Bass.wav"},
      {"%XI", "Bass.xi"},
      {"%X", "Bass.xi"},
      {"%INSTR", "x"},
      {"%I", "x"},
      {"%SIZE", "size: 2 KB"},
      {"%S", "size: 2 KB"},
      {"%LOOP", "loop: ping-pong"},
      {"%l", "loop: ping-pong"},
      {"%INAM", "Deep bass"},
      {"%IN", "Deep bass"},
      {"%DATE", "12/7/26"},
      {"%d", "12/7/26"},
      {"%WAV ", "%WAV "},
      {"%", "%"},
  };
  for (auto [text, expected] : cases) EXPECT_EQ(SampleFrom(text), expected) << text;
  EXPECT_EQ(SampleFrom("%XI", "noext"), ".xi");
}

TEST_F(Naming, SizeAndLoopLabels) {
  const std::pair<std::int32_t, std::string_view> sizes[] = {
      {511, "size: 0 KB"},  {512, "size: 0 KB"},  {513, "size: 1 KB"},   {1536, "size: 2 KB"},
      {2560, "size: 2 KB"}, {3584, "size: 4 KB"}, {30000, "size: 29 KB"}};
  for (auto [length, label] : sizes) {
    data_length_ = length;
    EXPECT_EQ(SampleFrom("%SIZE"), label) << length;
  }
  const std::pair<std::uint32_t, std::string_view> loops[] = {
      {0, "loop: forward"}, {1, "loop: ping-pong"}, {2, "loop: "}, {255, "loop: none"}};
  for (auto [loop, label] : loops) {
    loop_type_ = loop;
    EXPECT_EQ(SampleFrom("%LOOP"), label) << loop;
  }
  EXPECT_EQ(DefaultLoopWord(1), "pingpong");
  EXPECT_EQ(DefaultLoopWord(2), "");
}

TEST_F(Naming, TestsRunInOrderEachOnWhatTheEarlierOnesLeft) {
  platform_.fake_console().input = "%wav\n%ask\n";
  UseNameFile("INSTR: %SIZE\nSMP00: %ASK\nSMP01: %A\nSMP02: %INSTR\n");
  Name();
  EXPECT_EQ(Slot(0), "Bass.wav");     // the answer is itself a later token
  EXPECT_EQ(Slot(1), "%ask");         // the prompt test does not run twice
  EXPECT_EQ(Slot(2), "size: 29 KB");  // "%SIZE" is text on the instrument line only
  EXPECT_EQ(platform_.fake_console().output, "enter sample 0 name: enter sample 1 name: ");
}

TEST_F(Naming, PromptsReadAnswersFromStandardInputUntilItEnds) {
  platform_.fake_console().input = "My Keys\r\nfirst\r";
  UseNameFile("INSTR: %a\nSMP03: %ASK\nSMP04: %ASK\n");
  Name();
  EXPECT_EQ(Instrument(), "My Keys");
  EXPECT_EQ(Slot(3), "first");
  EXPECT_EQ(Slot(4), "");  // end of input: an empty answer
  EXPECT_EQ(platform_.fake_console().output,
            "enter instrument name: enter sample 3 name: enter sample 4 name: ");
}

TEST_F(Naming, EverySourceReadsTheNameFileFromItsStart) {
  platform_.fake_console().input = "one\ntwo\n";
  UseNameFile("INSTR: %ASK\nSMP00: %XI\n");
  Name("a.wav");
  EXPECT_EQ(Instrument(), "one");
  Name("b.wav");
  EXPECT_EQ(Instrument(), "two");
  EXPECT_EQ(Slot(0), "b.xi");
  EXPECT_EQ(platform_.fake_console().output, "enter instrument name: enter instrument name: ");
}

TEST_F(Naming, TheNameFileIsOpenedAgainByItsNameForTheNextSource) {
  // An editor saves by writing a new file and renaming it over the old one, here while the
  // program waits at a prompt; the next source reads the file as it is then.
  platform_.fake_console().input = "typed\n";
  UseNameFile("INSTR: %ASK\n");
  platform_.fake_console().before_first_read = [this] {
    platform_.AddTextFile("names.txt", "INSTR: saved\n");
  };
  Name("a.wav");
  EXPECT_EQ(Instrument(), "typed");
  Name("b.wav");
  EXPECT_EQ(Instrument(), "saved");

  // Gone, or no longer a file, by the time it is opened again: the run ends as a failed open.
  struct Case {
    std::function<void()> meanwhile;
    std::string text;
  };
  for (const Case& c :
       {Case{[this] { platform_.files.erase("names.txt"); }, "File not found"},
        Case{[this] { platform_.directories.insert("names.txt"); }, "File access denied"}}) {
    Reset();
    UseNameFile("INSTR: x\n");
    c.meanwhile();  // the open file is still read to its end
    try {
      Name();
      ADD_FAILURE() << "no failure";
    } catch (const RunFailure& failure) {
      EXPECT_EQ(failure.what(), c.text);
      EXPECT_EQ(failure.site(), Site::kNameFileRewind);
    }
  }
}

TEST_F(Naming, AByteOrderMarkOpensTheFileAtEveryReadingAndIsTextElsewhere) {
  const std::string mark = "\xEF\xBB\xBF";
  UseNameFile(mark + "INSTR: x\nSMP00: " + mark + "y\n");
  Name("a.wav");
  EXPECT_EQ(Instrument(), "x");
  EXPECT_EQ(Slot(0), mark + "y");
  Name("b.wav");  // the file as opened again for the next source
  EXPECT_EQ(Instrument(), "x");

  Reset();
  EXPECT_EQ(Rejected(mark, "error: namefile is empty!\n"), 252);
  Reset();
  EXPECT_EQ(
      Rejected(mark + mark + "INSTR: x", "namefile error: invalid instrument name identifier!\n"),
      251);
}

TEST_F(Naming, ANameFileThatIsAWavGetsAHintWhereShellsExpandWildcards) {
  const std::string bad = "namefile error: invalid instrument name identifier!\n";
  EXPECT_EQ(Rejected("RIFF\x24\0\0\0WAVEfmt ", bad + kNameFileIsAWavHint), 251);
  Reset();
  EXPECT_EQ(Rejected("\xEF\xBB\xBFRIFF", bad), 251);  // not the four bytes RIFF
  Reset();
  platform_.shell_expands_wildcards = false;
  EXPECT_EQ(Rejected("RIFF\x24\0\0\0WAVEfmt ", bad), 251);
}

TEST_F(Naming, SampleLinesEndAtTheFirstEmptyLineAndSetTheCountFromTheLast) {
  UseNameFile("INSTR: x\nSMP05: five\nSMP02: two\nSMP02: again\n\nSMP09: never\n");
  Name();
  EXPECT_EQ(names_.count.value_or(0), 3);
  EXPECT_EQ(Slot(5), "five");
  EXPECT_EQ(Slot(2), "again");
  EXPECT_EQ(Slot(9), "");
}

TEST_F(Naming, AnyLineEndReadsAlike) {
  for (std::string_view text : {"INSTR: k\rSMP01: a\rSMP02: b", "INSTR: k\nSMP01: a\nSMP02: b\n",
                                "INSTR: k\r\nSMP01: a\r\nSMP02: b\r\n",
                                "INSTR: k\r\nSMP01: a\r\nSMP02: b\x1A\r\nSMP07: lost"}) {
    Reset();
    UseNameFile(text);
    Name();
    EXPECT_EQ(Instrument(), "k");
    EXPECT_EQ(Slot(1), "a");
    EXPECT_EQ(Slot(2), "b");
    EXPECT_EQ(names_.count.value_or(0), 3);
  }
}

TEST_F(Naming, DefaultCaptionForMonoAndStereo) {
  Name("piano.wav");
  EXPECT_EQ(Instrument(), " piano.xi");
  EXPECT_EQ(Slot(0), " -- piano.xi --");
  EXPECT_EQ(Slot(1), " size: 29 K");
  EXPECT_EQ(Slot(2), " loop: none");
  EXPECT_EQ(names_.count.value_or(0), 3);

  title_ = "Strings";
  loop_type_ = 1;
  Name("averyverylongname.wav");
  EXPECT_EQ(Instrument(), " Strings");
  EXPECT_EQ(Slot(0), " -- averyverylongname.");  // the closing " --" goes first
  EXPECT_EQ(Slot(1), " size: 29 K");             // a stereo source's right channel
  EXPECT_EQ(Slot(2), " loop: pingpong");

  Name("noext");
  EXPECT_EQ(Slot(0), " -- .xi --");
}

TEST(TextLineReader, ALineEndingInReturnDoesNotWaitForTheNextByte) {
  // A console answer that ends in CR must come back before any further byte is read.
  struct CountingSource : ByteSource {
    std::string bytes = "yes\rno";
    std::size_t next = 0;
    int Get() override { return next < bytes.size() ? bytes[next++] : -1; }
  } source;
  TextLineReader reader(source);
  EXPECT_EQ(reader.ReadLine(), "yes");
  EXPECT_EQ(source.next, 4u);
  EXPECT_EQ(reader.ReadLine(), "no");
  EXPECT_TRUE(reader.AtEnd());
}

}  // namespace
}  // namespace brumlet
