// Faults injected from outside, end to end: limits, closed streams, files that vanish or cannot be
// opened, things that are not files. Each case checks the report, the exit code and the files left
// behind; none may hang, die by a signal or touch a file it was not asked to write.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "expected_text.h"
#include "program_test.h"
#include "riff_builder.h"

namespace brumlet {
namespace {

using namespace brumlet::testing;

const std::string kHead = kBanner + "Processing \"a.wav\"\n\n";
const std::string kReportLine = "a.wav  ->  a.xi  (16 bit, mono, 22050 Hz, no loop)\n";

class FaultInjection : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    WriteWav("a.wav", Wav(FmtData(1, 22050, 16), {Chunk("data", Repeat(20000, 1))}));
  }
};

TEST_F(FaultInjection, AFileSizeLimitMakesAShortWriteThatReportsDiskFull) {
  EXPECT_EQ(Script("ulimit -f 1; exec BIN a.wav > stdout.txt"), 1);
  EXPECT_EQ(Read("stdout.txt"), kHead + kReportLine + IoReport("00000412", "Disk full."));
  EXPECT_EQ(Read("a.xi").size(), 1024u);  // the partial output stays
}

TEST_F(FaultInjection, AClosedPipeEndsTheRunWithCodeOneNotASignal) {
  // The reader is gone before the first line is written.
  EXPECT_EQ(Script("{ sleep 0.3; exec BIN a.wav; } | true; exit ${PIPESTATUS[0]}"), 1);
  EXPECT_FALSE(Exists("a.xi"));
}

TEST_F(FaultInjection, StandardInputAtItsEndOrClosedGivesEmptyAnswers) {
  Write("names", "INSTR: %ASK\nSMP00: %ASK\n");
  for (const std::string& input : {std::string("</dev/null"), std::string("<&-")}) {
    EXPECT_EQ(Script("exec BIN a.wav names " + input + " > stdout.txt"), 0) << input;
    EXPECT_EQ(Read("stdout.txt"), kBanner + "Processing \"a.wav\", using namefile \"names\"\n\n" +
                                      kReportLine + "enter instrument name: enter sample 0 name: ");
    EXPECT_EQ(Read("a.xi").substr(21, 22), std::string(22, ' '));
  }
}

TEST_F(FaultInjection, TooManyOpenFiles) {
#ifdef BRUMLET_SANITIZED
  GTEST_SKIP() << "the sanitizer runtime needs descriptors of its own at such a limit; the plain "
                  "build runs this test";
#endif
  EXPECT_EQ(
      Script("exec > stdout.txt; "
             // Descriptors inherited from the test runner would count against the limit.
             "for fd in /proc/$$/fd/*; do n=${fd##*/}; [ $n -gt 2 ] && eval \"exec $n>&-\"; done; "
             "ulimit -n 4; exec BIN a.wav"),
      1);
  EXPECT_EQ(Read("stdout.txt"), kHead + IoReport("00000401", "Too many open files."));
  EXPECT_FALSE(Exists("a.xi"));
}

TEST_F(FaultInjection, ASourceThatVanishedAfterTheSearchIsNotFound) {
  fs::create_symlink("gone.wav", dir_ / "b.wav");  // matched by the pattern, opens nothing
  const Result r = Run({"b.wav"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.out, kBanner + "Processing \"b.wav\"\n\n" + IoReport("00000301", "File not found."));
  EXPECT_FALSE(Exists("b.xi"));
}

TEST_F(FaultInjection, UnreadableSourcesAndUnwritableFoldersAreAccessDenied) {
  fs::permissions(dir_ / "a.wav", fs::perms::none);
  std::string why;
  Result r = RunAsNobody({"a.wav"}, &why);
  if (!why.empty()) GTEST_SKIP() << why;
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.out, kHead + IoReport("00000301", "File access denied."));
  EXPECT_FALSE(Exists("a.xi"));

  fs::permissions(dir_ / "a.wav", fs::perms::all);
  fs::permissions(dir_, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                            fs::perms::others_read | fs::perms::others_exec);
  const std::string command = "exec setpriv --reuid=65534 --regid=65534 --clear-groups BIN a.wav";
  EXPECT_EQ(Script(command + " > /dev/null"), 1);
  EXPECT_FALSE(Exists("a.xi"));
}

TEST_F(FaultInjection, OnlyRegularFilesAreReplaced) {
  // A directory, and a link planted under the output's name, are refused before anything is
  // written; the link's target is not touched.
  fs::create_directory(dir_ / "a.xi");
  Result r = Run({"a.wav"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.out, kHead + IoReport("00000401", "File access denied."));
  EXPECT_TRUE(fs::is_directory(dir_ / "a.xi"));

  fs::remove(dir_ / "a.xi");
  Write("precious", "keep");
  fs::create_symlink("precious", dir_ / "a.xi");
  r = Run({"a.wav"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(Read("precious"), "keep");

  fs::remove(dir_ / "a.xi");
  ASSERT_EQ(::mkfifo((dir_ / "a.xi").c_str(), 0666), 0);
  EXPECT_EQ(Script("exec timeout 10 BIN a.wav > stdout.txt"), 1);
  EXPECT_EQ(Read("stdout.txt"), kHead + IoReport("00000401", "File access denied."));
}

TEST_F(FaultInjection, FifosAndDevicesAreNeitherSourcesNorNameFiles) {
  ASSERT_EQ(::mkfifo((dir_ / "pipe.wav").c_str(), 0666), 0);
  ASSERT_EQ(::mkfifo((dir_ / "names").c_str(), 0666), 0);
  // No wait for a writer that never comes: the FIFO is passed over by the search ...
  EXPECT_EQ(Script("exec timeout 10 BIN pipe.wav > stdout.txt"), 254);
  EXPECT_EQ(Read("stdout.txt"), kBanner + "couldn't find pipe.wav\n");
  // ... and cannot serve as a name file, which is read again for every source; nor can a device.
  EXPECT_EQ(Script("exec timeout 10 BIN a.wav names > stdout.txt"), 255);
  EXPECT_EQ(Script("exec timeout 10 BIN a.wav /dev/zero > stdout.txt"), 255);
  EXPECT_EQ(Read("stdout.txt"), kBanner + "couldn't find namefile /dev/zero\n");
  EXPECT_FALSE(Exists("a.xi"));
}

TEST_F(FaultInjection, ANameFileWithoutLineEndsIsReadInBoundedMemory) {
#ifdef BRUMLET_SANITIZED
  GTEST_SKIP() << "AddressSanitizer reserves more address space than the limit allows; the plain "
                  "build runs this test";
#endif
  // One 64 MiB line: the program keeps what a name can use and reads past the rest.
  ASSERT_EQ(Script("{ printf 'INSTR: '; head -c 67108864 /dev/zero | tr '\\0' x; } > names"), 0);
  EXPECT_EQ(Script("ulimit -v 400000; exec BIN a.wav names > stdout.txt"), 0) << Read("stdout.txt");
  EXPECT_EQ(Read("a.xi").substr(21, 22), std::string(22, 'x'));
}

}  // namespace
}  // namespace brumlet
