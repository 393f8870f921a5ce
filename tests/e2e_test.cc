// The real program, run in a temporary folder: what it prints, its exit code and the files it
// leaves behind.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "expected_text.h"
#include "program_test.h"
#include "riff_builder.h"
#include "sf2_builder.h"
#include "xi_expect.h"
#include "xi_reader.h"

namespace brumlet {
namespace {

using namespace brumlet::testing;
using namespace brumlet::measure;
namespace fs = std::filesystem;

class EndToEnd : public ProgramTest {};

Bytes Mono8(std::uint32_t rate = 8363) {
  return Wav(FmtData(1, rate, 8), {Chunk("data", {0x80, 0x90})});
}

TEST_F(EndToEnd, UsageWhenTheArgumentCountIsWrong) {
  const Result r = Run({"a", "b", "c"});
  EXPECT_EQ(r.code, 246);
  EXPECT_EQ(r.out, kBanner + kUsage + kManyArgumentsHint);
  EXPECT_EQ(Run({"", ""}).code, 0);
}

TEST_F(EndToEnd, ConventionalOptionsOnlyAloneAndEverythingElseIsAPattern) {
  Result r = Run({"--help"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, kBanner + kUsage + kManualPointer);
  r = Run({"--version"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, kBanner);

  WriteWav("-x.wav", Mono8());
  WriteWav("--help", Mono8());
  r = Run({"-x.wav"});
  EXPECT_EQ(r.code, 0);
  EXPECT_TRUE(Exists("-x.xi"));
  r = Run({"./--help"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(
      r.out,
      kBanner + "Processing \"./--help\"\n\n--help  ->  xi  (8 bit, mono, 8363 Hz, no loop)\n");
  EXPECT_TRUE(Exists("xi"));
}

TEST_F(EndToEnd, ConvertsEveryMatchInSortedOrderSkippingDirectories) {
  WriteWav("b.wav", Wav(FmtData(2, 44100, 16), {Chunk("data", Samples16({1, 2, 3, 4}))}));
  WriteWav("a.wav", Mono8());
  fs::create_directory(dir_ / "c.wav");
  const Result r = Run({"*.wav"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, kBanner +
                       "Processing \"*.wav\"\n\n"
                       "a.wav  ->  a.xi  (8 bit, mono, 8363 Hz, no loop)\n"
                       "b.wav  ->  b.xi  (16 bit, stereo, 44100 Hz, no loop)\n");
  EXPECT_EQ(Read("a.xi").size(), 298u + 3 * 40 + 2);
  EXPECT_EQ(Read("b.xi").size(), 298u + 3 * 40 + 8);
}

TEST_F(EndToEnd, MissingInputsEndTheRunBeforeAnythingIsConverted) {
  fs::create_directory(dir_ / "dir.wav");
  Result r = Run({"*.wav", "names"});
  EXPECT_EQ(r.code, 255);
  EXPECT_EQ(r.out, kBanner + "couldn't find namefile names\n");
  r = Run({"*.wav", "dir.wav"});
  EXPECT_EQ(r.code, 255);
  r = Run({"*.wav"});  // only a directory matches
  EXPECT_EQ(r.code, 254);
  EXPECT_EQ(r.out, kBanner + "couldn't find *.wav\n");
  EXPECT_EQ(Run({"nowhere/*.wav"}).code, 254);
}

TEST_F(EndToEnd, RejectedSourcesDeleteTheirOutputAndStopTheRun) {
  WriteWav("a.wav", Mono8());
  Write("b.wav", std::string(40, 'x'));
  WriteWav("c.wav", Mono8());
  Result r = Run({"*.wav"});
  EXPECT_EQ(r.code, 253);
  EXPECT_EQ(r.out, kBanner +
                       "Processing \"*.wav\"\n\n"
                       "a.wav  ->  a.xi  (8 bit, mono, 8363 Hz, no loop)\n"
                       "\nb.wav: not a standard WAV!\n\n");
  EXPECT_TRUE(Exists("a.xi"));
  EXPECT_FALSE(Exists("b.xi"));
  EXPECT_FALSE(Exists("c.xi"));

  WriteWav("nodata.wav", Wav(FmtData(1, 8000, 8), {Chunk("JUNK", {1, 2})}));
  r = Run({"nodata.wav"});
  EXPECT_EQ(r.code, 248);
  EXPECT_EQ(r.out,
            kBanner + "Processing \"nodata.wav\"\n\nerror: data chunk not found in nodata.wav\n");
  EXPECT_FALSE(Exists("nodata.xi"));
}

TEST_F(EndToEnd, FailuresReportInTheTwoLineFormAndLeaveTheOutput) {
  Write("short.wav", "RIFF");
  Result r = Run({"short.wav"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.out, kBanner + "Processing \"short.wav\"\n\n" +
                       IoReport("00000311", "Read beyond end of file."));
  EXPECT_TRUE(Exists("short.xi"));
  EXPECT_EQ(Read("short.xi"), "");

  // A rate of 0 has no pitch; the report names the program as it was called.
  WriteWav("zero.wav", Mono8(0));
  fs::create_symlink(BRUMLET_BINARY, dir_ / "wav2xi");
  r = Run({"zero.wav"}, "", "", (dir_ / "wav2xi").string());
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.out, kBanner +
                       "Processing \"zero.wav\"\n\n"
                       "zero.wav  ->  zero.xi  (8 bit, mono, 0 Hz, no loop)\n"
                       "Exception EInvalidOp in module wav2xi at 00000501.\n"
                       "Invalid floating point operation.\n");
  EXPECT_EQ(Read("zero.xi"), "");
}

TEST_F(EndToEnd, ReadOnlyOutputIsAccessDenied) {
  WriteWav("a.wav", Mono8());
  Write("a.xi", "keep");
  fs::permissions(dir_ / "a.xi",
                  fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  std::string why;
  const Result r = RunAsNobody({"a.wav"}, &why);
  if (!why.empty()) GTEST_SKIP() << why;
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.out,
            kBanner + "Processing \"a.wav\"\n\n" + IoReport("00000401", "File access denied."));
  EXPECT_EQ(Read("a.xi"), "keep");
}

// A kit's output that is neither an XI nor a regular file of its own: a FIFO is never opened
// (its read would wait for a writer), a link to a recording is never followed.
TEST_F(EndToEnd, AKitNeverOpensAFifoOrFollowsALinkAtItsOutput) {
  const Bytes kick = Mono8();
  WriteWav("kick.wav", kick);
  ASSERT_TRUE(Shell("mkfifo fifo.xi && ln -s kick.wav link.xi"));
  for (const char* output : {"fifo.xi", "link.xi"}) {
    const Result r = Run({"--kit", output, "kick.wav"});
    EXPECT_EQ(r.code, 1) << output;
    EXPECT_TRUE(r.out.ends_with(IoReport("00000401", "File access denied."))) << r.out;
  }
  EXPECT_EQ(Read("kick.wav"), std::string(kick.begin(), kick.end()));
}

TEST_F(EndToEnd, AClosedStandardOutputEndsTheRunWithCodeOne) {
  WriteWav("a.wav", Mono8());
  EXPECT_EQ(Run({"a.wav"}, "", ">&-").code, 1);
  EXPECT_EQ(Run({"a.wav"}, "", "| true").code, 0);  // the shell reports the last command
  // Without SIGPIPE ignored, the program would die by signal here instead of exiting with 1.
  std::string command = "cd ";
  command += Quote(dir_.string());
  command += " && (";
  command += Quote(BRUMLET_BINARY);
  command += " a.wav; echo $? > code.txt) | true";
  ASSERT_EQ(std::system(command.c_str()), 0);
  const std::string code = Read("code.txt");
  EXPECT_TRUE(code == "0\n" || code == "1\n") << code;
}

TEST_F(EndToEnd, NameFileWithPromptsAnsweredOnStandardInput) {
  WriteWav("Bass.wav", Mono8());
  Write("names.txt", "INSTR: %ASK\r\nSMP00: %XI\r\nsmp02: %size\r\n");
  const Result r = Run({"Bass.wav", "names.txt"}, "Deep\n");
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, kBanner +
                       "Processing \"Bass.wav\", using namefile \"names.txt\"\n\n"
                       "Bass.wav  ->  Bass.xi  (8 bit, mono, 8363 Hz, no loop)\n"
                       "enter instrument name: ");
  const std::string xi = Read("Bass.xi");
  ASSERT_EQ(xi.size(), 298u + 3 * 40 + 2);
  EXPECT_EQ(xi.substr(21, 22), "Deep                  ");
  EXPECT_EQ(xi.substr(298 + 17, 8), std::string("\x07") + "Bass.xi");
  EXPECT_EQ(xi.substr(298 + 80 + 17, 11), std::string("\x0A") + "size: 0 KB");
}

TEST_F(EndToEnd, ANameFileSavedWhileTheProgramWaitsIsWhatTheNextSourceReads) {
  WriteWav("a.wav", Mono8());
  WriteWav("b.wav", Mono8());
  Write("names", "INSTR: %ASK\n");
  // An editor's save: a new file renamed over the old one, while the first source's prompt waits.
  ASSERT_EQ(
      Script("mkfifo answers && { BIN '*.wav' names < answers > stdout.txt & } && "
             "exec 3> answers && "
             "for i in $(seq 200); do grep -q 'name: ' stdout.txt && break; sleep 0.05; done && "
             "printf 'INSTR: saved\\n' > names.new && mv names.new names && "
             "echo typed >&3 && exec 3>&- && wait"),
      0);
  EXPECT_EQ(Read("a.xi").substr(21, 22), "typed                 ");
  EXPECT_EQ(Read("b.xi").substr(21, 22), "saved                 ");
  EXPECT_EQ(Read("stdout.txt"), kBanner +
                                    "Processing \"*.wav\", using namefile \"names\"\n\n"
                                    "a.wav  ->  a.xi  (8 bit, mono, 8363 Hz, no loop)\n"
                                    "enter instrument name: "
                                    "b.wav  ->  b.xi  (8 bit, mono, 8363 Hz, no loop)\n");
}

TEST_F(EndToEnd, NameFileErrorsKeepEarlierOutputsAndDeleteTheCurrentOne) {
  WriteWav("a.wav", Mono8());
  WriteWav("b.wav", Mono8());
  Write("names", "INSTR: %XI\nSMP01: %ASK\n");
  // The first source takes the one answer; the second gets an empty one at the end of input.
  Result r = Run({"*.wav", "names"}, "one");
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(Read("a.xi").substr(298 + 40 + 17, 4), std::string("\x03") + "one");
  EXPECT_EQ(Read("b.xi")[298 + 40 + 17], 0);

  Write("bad", "INSTR: x\nSMP 1: ok\nSMP1 : bad\n");
  r = Run({"a.wav", "bad"});
  EXPECT_EQ(r.code, 249);
  EXPECT_EQ(r.out.substr(r.out.rfind(")\n") + 2), "namefile error: bad sample number!\n");
  EXPECT_FALSE(Exists("a.xi"));
  EXPECT_TRUE(Exists("b.xi"));
}

TEST_F(EndToEnd, DateTokenFollowsTheTimeLocale) {
  WriteWav("a.wav", Mono8());
  Write("names", "INSTR: x\nSMP00: %DATE\n");
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  char plain[32], locale_date[64];
  std::snprintf(plain, sizeof plain, "%d/%d/%02d", local.tm_mon + 1, local.tm_mday,
                local.tm_year % 100);
  std::strftime(locale_date, sizeof locale_date, "%m/%d/%y", &local);  // %x of C.UTF-8
  // Only LC_TIME counts: LC_ALL is cleared so that it does not override it.
  for (auto [locale, expected] : {std::pair<std::string, std::string>{"C", plain},
                                  {"POSIX", plain},
                                  {"C.UTF-8", locale_date}}) {
    ASSERT_EQ(Run({"a.wav", "names"}, "", "<stdin.txt >stdout.txt", "/usr/bin/env",
                  {"-u", "LC_ALL", "LANG=", "LC_TIME=" + locale})
                  .code,
              0);
    const std::string xi = Read("a.xi");
    EXPECT_EQ(xi.substr(298 + 18, static_cast<unsigned char>(xi[298 + 17])), expected) << locale;
  }
}

// The plain conversion's mistakes and silent failures, as a new user meets them: every run ends
// with a code that tells, and with at most one hint, the one that fits.
TEST_F(EndToEnd, MistakesEndWithACodeThatTellsAndTheHintThatFits) {
  const Bytes wav = Mono8();
  Bytes ima = FmtData(1, 8000, 4, 0x11), ms = FmtData(1, 8000, 4, 2, Bytes(34, 0));
  ima[12] = ms[12] = 8;  // block align
  Sf2Parts sf3 = Parts({{{"Lead", 0, 0, {{Set(41, 0)}}}}, {{"I", {{Set(53, 0)}}}}, {{"S", 0, 1}}});
  sf3.info = Chunk("ifil", {3, 0, 1, 0});
  sf3.sdta = Chunk("smpl", {1, 2, 3});  // odd, and no pad byte behind it or its list
  const Bytes bank = Sf2({{{"Grand Piano", 0, 0, {{Set(41, 0)}}},
                           {"Piano 2", 0, 1, {{Set(41, 0)}}},
                           {"Upright Piano", 0, 1, {{Set(41, 0)}}},  // a twin: never converted
                           {"Organ", 0, 2, {{Set(41, 0)}}}},
                          {{"I", {{Set(53, 0)}}}},
                          {{"S", 0, 10}}});
  const std::string same = "; rename one of them (only the part before the first dot names the "
                           "output)\n";
  struct Row {
    std::vector<std::pair<std::string, Bytes>> files;
    std::vector<std::string> args;
    int code;
    std::string out;  // after the banner (and the usage text where it starts with "hint")
    std::vector<std::string> outputs = {};
  };
  // clang-format off
  const Row rows[] = {
      // An unquoted pattern, or a mistyped or misplaced mode: never success.
      {{{"a.wav", wav}, {"b.wav", wav}, {"c.wav", wav}}, {"a.wav", "b.wav", "c.wav"}, 246,
       kManyArgumentsHint},
      {{}, {"--Kit", "drums.xi", "*.wav"}, 246,
       "hint: the options are --mono, --kit, --multi, --sf2, --sfz, --help and --version; they "
       "come first\n"},
      {{}, {"*.wav", "--kit", "drums.xi"}, 246,
       "hint: options come first: brumlet --kit drums.xi '*.wav'\n"},
      // Outputs that meet: the first stays, nothing is deleted, the run stops there.
      {{{"bass.C2.wav", wav}, {"bass.C3.wav", wav}}, {"bass.*.wav"}, 247,
       "Processing \"bass.*.wav\"\n\nbass.C2.wav  ->  bass.xi  (8 bit, mono, 8363 Hz, no loop)\n"
       "error: bass.C3.wav and bass.C2.wav both become bass.xi" + same, {"bass.xi"}},
      {{{"pad v1.0.wav", wav}, {"pad v1.1.wav", wav}}, {"--mono", "pad*"}, 247,
       "Processing \"pad*\"\n\npad v1.0.wav  ->  pad v1.xi  (8 bit, mono, 8363 Hz, no loop)\n"
       "error: pad v1.1.wav and pad v1.0.wav both become pad v1.xi" + same, {"pad v1.xi"}},
      {{{"old.wav", wav}, {"old.xi", {'o', 'l', 'd'}}}, {"old.wav"}, 0,
       "Processing \"old.wav\"\n\nold.wav  ->  old.xi  (8 bit, mono, 8363 Hz, no loop)\n"},
      // The output argument of --kit: a match the shell put there, or a name without ".xi".
      {{{"kick.wav", wav}, {"hat.wav", wav}}, {"--kit", "kick.wav", "hat.wav", "x.wav"}, 246,
       "hint: too many arguments for --kit; quote a wildcard pattern so that brumlet expands it: "
       "brumlet --kit drums.xi '*.wav'\n"},
      {{{"kick.wav", wav}}, {"--kit", "drums", "*.wav"}, 247,
       "error: the output drums does not end in .xi\nhint: the first argument of --kit is the "
       "instrument to write: brumlet --kit drums.xi '*.wav'\n"},
      // Names that almost match.
      {{{"KICK.WAV", wav}}, {"*.wav"}, 254,
       "couldn't find *.wav\nhint: wildcards match case by case; '*.[wW][aA][vV]' matches "
       "KICK.WAV\n"},
      {{{"b.sf2", bank}}, {"--sf2", "b.sf2", "piano"}, 254,
       "couldn't find presets piano in b.sf2\nhint: a name is matched whole; '*piano*' matches 2 "
       "presets\n"},
      {{{"b.sf2", bank}}, {"--sf2", "b.sf2", "rgan"}, 254,
       "couldn't find presets rgan in b.sf2\nhint: a name is matched whole; '*rgan*' matches 1 "
       "preset\n"},
      // Files of formats the program does not read, told as what they are.
      {{{"long.wav", Concat({Bytes{'R', 'F', '6', '4', 0xFF, 0xFF, 0xFF, 0xFF}, Bytes(40, 0)})}},
       {"long.wav"}, 253,
       "Processing \"long.wav\"\n\n\nlong.wav: not a standard WAV!\n\nhint: long.wav is an RF64 "
       "file; brumlet reads RIFF WAVE files: ffmpeg -i long.wav -c:a copy -rf64 never fixed.wav\n"},
      {{{"b.sf2", Assemble(sf3)}}, {"--sf2", "b.sf2"}, 245,
       "error: b.sf2: a SoundFont 3.1 bank with compressed samples, which Brumlet does not read\n"
       "hint: SoundFont 3 banks hold Ogg Vorbis samples, which brumlet does not read yet; a "
       "SoundFont editor can save the bank as SoundFont 2\n"},
      // Compressed sources: the width the XI holds, and the codec it comes from.
      {{{"mu.wav", Wav(FmtData(1, 8000, 8, 7), {Chunk("data", {1})})},
        {"a.wav", Wav(FmtData(1, 8000, 8, 6), {Chunk("data", {1})})}}, {"--mono", "*.wav"}, 0,
       "Processing \"*.wav\"\n\na.wav  ->  a.xi  (16 bit from A-law, mono, 8000 Hz, no loop)\n"
       "mu.wav  ->  mu.xi  (16 bit from mu-law, mono, 8000 Hz, no loop)\n", {"a.xi", "mu.xi"}},
      {{{"ima.wav", Wav(ima, {Chunk("data", Bytes(8, 0))})},
        {"ms.wav", Wav(ms, {Chunk("data", Bytes(8, 0))})}}, {"--kit", "k.xi", "*.wav"}, 0,
       "Processing \"*.wav\" into kit \"k.xi\"\n\n"
       "ima.wav  ->  slot 0, keys C-0..C-5, root C-5  (16 bit from IMA ADPCM, mono, 8000 Hz, no "
       "loop)\nms.wav  ->  slot 1, keys C#5..B-7, root C#5  (16 bit from MS ADPCM, mono, 8000 Hz, "
       "no loop)\n", {"k.xi"}},
  };
  // clang-format on
  for (const Row& row : rows) {
    fs::remove_all(dir_);
    fs::create_directory(dir_);
    for (const auto& [name, bytes] : row.files) WriteWav(name, bytes);
    const Result r = Run(row.args);
    EXPECT_EQ(r.code, row.code) << row.args[0];
    EXPECT_EQ(r.out, kBanner + (row.out.starts_with("hint") ? kUsage : "") + row.out);
    for (const auto& [name, bytes] : row.files) EXPECT_TRUE(Exists(name)) << name;
    for (const std::string& output : row.outputs) EXPECT_TRUE(Exists(output)) << output;
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()),
              static_cast<long>(row.files.size() + row.outputs.size() + 2))  // stdin, stdout
        << row.args[0];
  }
}

// XI sample data of one channel as this program stores it: previous minus current, from -1 or
// 127, taking every `stride`-th sample of `width` bytes from `offset`. Samples wider than 16 bits
// are integer PCM and keep their top two bytes.
Bytes EncodeChannel(const Bytes& data, std::size_t width, std::size_t stride, std::size_t offset) {
  Bytes out;
  std::uint16_t previous = width >= 2 ? 0xFFFF : 127;
  for (std::size_t i = offset; i + stride - offset <= data.size(); i += stride) {
    const std::size_t top = i + width - 2;
    const std::uint16_t current =
        width >= 2 ? static_cast<std::uint16_t>(data[top] | data[top + 1] << 8) : data[i];
    const auto delta = static_cast<std::uint16_t>(previous - current);
    out.push_back(static_cast<std::uint8_t>(delta));
    if (width >= 2) out.push_back(static_cast<std::uint8_t>(delta >> 8));
    previous = current;
  }
  return out;
}

TEST_F(EndToEnd, BundledExamplesConvertToExactlyTheExpectedFiles) {
  struct Example {
    std::string name;
    bool stereo;
    std::size_t width;
    int finetune, note;  // from the sample rate: 8000, 11025 and 22050 Hz
    int type;            // loop kind and 16-bit flag
    std::int32_t loop_start, loop_length;
    std::string instrument, size_label, loop_label;
  };
  const Example examples[] = {
      {"kick", false, 1, 30, -13, 0, 0, 0, " kick.xi", " size: 1 K", " loop: none"},
      {"pad", true, 1, -28, -7, 0, 0, 0, " Warm Pad", " size: 6 K", " loop: none"},
      // libsndfile's loop of frames 2205 to 4409 (inclusive), in bytes.
      {"pluck", false, 2, -28, 5, 17, 4410, 4410, " pluck.xi", " size: 9 K", " loop: forward"},
      // 24-bit, converted to 16-bit samples.
      {"bell24", false, 3, -28, 17, 16, 0, 0, " bell24.xi", " size: 26 K", " loop: none"},
  };
  for (const Example& e : examples) {
    fs::copy_file(fs::path(BRUMLET_EXAMPLES) / (e.name + ".wav"), dir_ / (e.name + ".wav"));
    ASSERT_EQ(Run({e.name + ".wav"}).code, 0) << e.name;
    const std::string wav = Read(e.name + ".wav");
    const Bytes data = DataChunkOf(wav);
    const auto length = static_cast<std::int32_t>(data.size());

    Bytes expected = ExpectedInstrumentHeader(e.stereo, e.instrument, 3);
    const std::string caption = " -- " + e.name + ".xi --";
    const std::int32_t stored_length =
        length / static_cast<std::int32_t>(e.width) *
        std::min<std::int32_t>(2, static_cast<std::int32_t>(e.width));
    const std::int32_t sample_length = e.stereo ? stored_length / 2 : stored_length;
    auto sample = [&](int panning, int note) {
      return ExpectedSampleHeader(sample_length, e.loop_start, e.loop_length, e.finetune, e.type,
                                  panning, note);
    };
    const Bytes slots[] = {
        Named(sample(e.stereo ? 0 : 128, e.note), caption),
        Named(e.stereo ? sample(255, e.note - 12) : ExpectedSampleHeader(0, 0, 0, 0, 0, 128, 0),
              e.size_label),
        Named(ExpectedSampleHeader(0, 0, 0, 0, 0, 128, 0), e.loop_label)};
    for (const Bytes& slot : slots) expected.insert(expected.end(), slot.begin(), slot.end());
    const std::size_t stride = e.width * (e.stereo ? 2u : 1u);
    const Bytes left = EncodeChannel(data, e.width, stride, 0);
    expected.insert(expected.end(), left.begin(), left.end());
    if (e.stereo) {
      const Bytes right = EncodeChannel(data, e.width, stride, e.width);
      expected.insert(expected.end(), right.begin(), right.end());
    }
    const std::string xi = Read(e.name + ".xi");
    EXPECT_EQ(Bytes(xi.begin(), xi.end()), expected) << e.name;
  }
}

TEST_F(EndToEnd, StandardDecodingGivesTheSourceWaveformInverted) {
  fs::copy_file(fs::path(BRUMLET_EXAMPLES) / "pluck.wav", dir_ / "pluck.wav");
  fs::copy_file(fs::path(BRUMLET_EXAMPLES) / "pad.wav", dir_ / "pad.wav");
  ASSERT_EQ(Run({"p*.wav"}).code, 0);

  const Bytes pluck = DataChunkOf(Read("pluck.wav"));
  const XiFile pluck_xi = ParseXi(Read("pluck.xi"));
  ASSERT_EQ(pluck_xi.samples[0].data.size(), pluck.size() / 2);
  for (std::size_t i = 0; i < pluck.size() / 2; ++i) {
    const auto source = static_cast<std::int16_t>(pluck[2 * i] | pluck[2 * i + 1] << 8);
    ASSERT_EQ(pluck_xi.samples[0].data[i], -1 - source) << i;
  }

  const Bytes pad = DataChunkOf(Read("pad.wav"));
  const XiFile pad_xi = ParseXi(Read("pad.xi"));
  const std::size_t frames = pad.size() / 2;
  for (std::size_t channel = 0; channel < 2; ++channel) {
    ASSERT_EQ(pad_xi.samples[channel].data.size(), frames);
    for (std::size_t i = 0; i < frames; ++i) {
      // The unsigned WAV byte u becomes the signed sample u - 128, then inverted.
      ASSERT_EQ(pad_xi.samples[channel].data[i], -1 - (pad[2 * i + channel] - 128)) << i;
    }
  }
}

}  // namespace
}  // namespace brumlet
