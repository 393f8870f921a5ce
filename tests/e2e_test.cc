// The real program, run in a temporary folder: what it prints, its exit code and the files it
// leaves behind.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "riff_builder.h"

namespace brumlet {
namespace {

using namespace brumlet::testing;
namespace fs = std::filesystem;

const std::string kBanner = "\nBrumlet 0.26 - WAV to XI instrument converter\n\n";

std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

class EndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/brumlet-e2e-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    std::error_code ignored;
    fs::permissions(dir_, fs::perms::all, ignored);
    fs::remove_all(dir_, ignored);
  }

  struct Result {
    int code = -1;
    std::string out;
  };

  // Runs the program with `args` in the test folder; `redirect` replaces the standard
  // input/output plumbing when a test needs to break it.
  Result Run(const std::vector<std::string>& args, const std::string& input = "",
             const std::string& redirect = "", const std::string& program = BRUMLET_BINARY) {
    Write("stdin.txt", input);
    std::string command = "cd ";
    command += Quote(dir_.string());
    command += " && exec ";
    command += Quote(program);
    for (const std::string& arg : args) {
      command += ' ';
      command += Quote(arg);
    }
    command += ' ';
    command += redirect.empty() ? "<stdin.txt >stdout.txt" : redirect;
    const int status = std::system(command.c_str());
    Result result;
    if (WIFEXITED(status)) result.code = WEXITSTATUS(status);
    result.out = Read("stdout.txt");
    return result;
  }

  void Write(const std::string& name, const std::string& text) {
    std::ofstream(dir_ / name, std::ios::binary) << text;
  }
  void WriteWav(const std::string& name, const Bytes& bytes) {
    Write(name, std::string(bytes.begin(), bytes.end()));
  }
  std::string Read(const std::string& name) {
    std::ifstream in(dir_ / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  bool Exists(const std::string& name) { return fs::exists(dir_ / name); }

  fs::path dir_;
};

Bytes Mono8(std::uint32_t rate = 8363) { return Wav(FmtData(1, rate, 8), {Chunk("data", {0x80, 0x90})}); }

TEST_F(EndToEnd, UsageWhenTheArgumentCountIsWrong) {
  const Result r = Run({"a", "b", "c"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, kBanner + "usage: Brumlet <input file(s)> [namefile]\n\n"
                             "BE SURE TO READ THE DOCS BEFORE USING Brumlet !!!\n"
                             "you're also advised to use my tagsmith.exe ! :)\n\n");
  EXPECT_EQ(Run({"", ""}).code, 0);
}

TEST_F(EndToEnd, ConvertsEveryMatchInSortedOrderSkippingDirectories) {
  WriteWav("b.wav", Wav(FmtData(2, 44100, 16), {Chunk("data", Samples16({1, 2, 3, 4}))}));
  WriteWav("a.wav", Mono8());
  fs::create_directory(dir_ / "c.wav");
  const Result r = Run({"*.wav"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, kBanner + "Processing \"*.wav\"\n\n"
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
  EXPECT_EQ(r.out, kBanner + "Processing \"*.wav\"\n\n"
                             "a.wav  ->  a.xi  (8 bit, mono, 8363 Hz, no loop)\n"
                             "\nb.wav: not a standard WAV!\n\n");
  EXPECT_TRUE(Exists("a.xi"));
  EXPECT_FALSE(Exists("b.xi"));
  EXPECT_FALSE(Exists("c.xi"));

  WriteWav("nodata.wav", Wav(FmtData(1, 8000, 8), {Chunk("JUNK", {1, 2})}));
  r = Run({"nodata.wav"});
  EXPECT_EQ(r.code, 248);
  EXPECT_EQ(r.out, kBanner + "Processing \"nodata.wav\"\n\nerror: data chunk not found in nodata.wav\n");
  EXPECT_FALSE(Exists("nodata.xi"));
}

TEST_F(EndToEnd, FailuresReportInTheTwoLineFormAndLeaveTheOutput) {
  Write("short.wav", "RIFF");
  Result r = Run({"short.wav"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.out, kBanner + "Processing \"short.wav\"\n\n"
                             "Exception EInOutError in module brumlet at 00000311.\n"
                             "Read beyond end of file.\n");
  EXPECT_TRUE(Exists("short.xi"));
  EXPECT_EQ(Read("short.xi"), "");

  // A rate of 0 has no pitch; the report names the program as it was called.
  WriteWav("zero.wav", Mono8(0));
  fs::create_symlink(BRUMLET_BINARY, dir_ / "wav2xi");
  r = Run({"zero.wav"}, "", "", (dir_ / "wav2xi").string());
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.out, kBanner + "Processing \"zero.wav\"\n\n"
                             "zero.wav  ->  zero.xi  (8 bit, mono, 0 Hz, no loop)\n"
                             "Exception EInvalidOp in module wav2xi at 00000501.\n"
                             "Invalid floating point operation.\n");
  EXPECT_EQ(Read("zero.xi"), "");
}

TEST_F(EndToEnd, ReadOnlyOutputIsAccessDenied) {
  if (::geteuid() == 0) GTEST_SKIP() << "runs as root, who may write read-only files";
  WriteWav("a.wav", Mono8());
  Write("a.xi", "keep");
  fs::permissions(dir_ / "a.xi", fs::perms::owner_read);
  const Result r = Run({"a.wav"});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.out.find("File access denied.\n"), std::string::npos);
  EXPECT_EQ(Read("a.xi"), "keep");
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
  EXPECT_EQ(r.out, kBanner + "Processing \"Bass.wav\", using namefile \"names.txt\"\n\n"
                             "Bass.wav  ->  Bass.xi  (8 bit, mono, 8363 Hz, no loop)\n"
                             "enter instrument name: ");
  const std::string xi = Read("Bass.xi");
  ASSERT_EQ(xi.size(), 298u + 3 * 40 + 2);
  EXPECT_EQ(xi.substr(21, 22), "Deep                  ");
  EXPECT_EQ(xi.substr(298 + 17, 8), std::string("\x07") + "Bass.xi");
  EXPECT_EQ(xi.substr(298 + 80 + 17, 11), std::string("\x0A") + "size: 0 KB");
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

}  // namespace
}  // namespace brumlet
