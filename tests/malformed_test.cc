// Hostile and broken WAVs through the whole pipeline (driver, scan, header, naming, encoders) over
// the in-memory platform: every outcome is a documented one, and a converted file is complete.
#include <gtest/gtest.h>

#include <set>

#include "brumlet.h"
#include "fake_platform.h"
#include "riff_builder.h"
#include "xi_reader.h"

namespace brumlet {
namespace {

using namespace brumlet::testing;
using namespace brumlet::measure;

struct Outcome {
  int code = -1;
  std::string last_line;  // the report's text for code 1
};

// Converts `wav` as "x.wav" and checks what every outcome promises about the files left behind.
Outcome Convert(const Bytes& wav) {
  FakePlatform platform;
  platform.file_size_limit = 16 << 20;  // declared sizes of 2 GiB would be sparse files on disk
  platform.AddFile("x.wav", wav);
  Outcome outcome;
  outcome.code = RunBrumlet({"x.wav"}, "brumlet", platform);
  const std::string& out = platform.fake_console().output;
  outcome.last_line = out.substr(out.rfind('\n', out.size() - 2) + 1);
  if (outcome.code == 0) {
    const Bytes& bytes = platform.Contents("x.xi");
    const XiFile xi = ParseXi(std::string(bytes.begin(), bytes.end()));
    EXPECT_TRUE(xi.complete || (xi.key_map[72] == 1 && xi.trailing == 1)) << xi.trailing;
  } else if (outcome.code == 248 || outcome.code == 253) {
    EXPECT_FALSE(platform.Has("x.xi"));
  } else {
    EXPECT_EQ(outcome.code, 1);
    EXPECT_TRUE(platform.Has("x.xi"));  // a failed operation cleans nothing up
  }
  return outcome;
}

// A small valid WAV with every chunk the scan reads. The offsets of each chunk's size field:
// fmt 16, smpl 40, LIST 108, its INAM entry 120, its ISFT entry 132, data 142.
Bytes Sample() {
  const Bytes list = Chunk("LIST", Concat({Bytes{'I', 'N', 'F', 'O'}, Chunk("INAM", {'H', 'i', 0}),
                                           Bytes{0}, Chunk("ISFT", {'x', 0})}));
  return Wav(FmtData(2, 22050, 16), {Chunk("smpl", SmplData(1, {{0, 1, 2}})), list,
                                     Chunk("data", Samples16({1, 2, 3, 4, 5, 6}))});
}
constexpr std::size_t kSizeFields[] = {16, 40, 108, 120, 132, 142};

TEST(Malformed, EveryTruncationEndsInADocumentedWay) {
  const Bytes full = Sample();
  for (std::size_t field : kSizeFields) {  // the table below points at real size fields
    const std::string id(full.begin() + static_cast<std::ptrdiff_t>(field) - 4,
                         full.begin() + static_cast<std::ptrdiff_t>(field));
    EXPECT_TRUE(id == "fmt " || id == "smpl" || id == "LIST" || id == "INAM" || id == "ISFT" ||
                id == "data")
        << field;
  }
  ASSERT_EQ(Convert(full).code, 0);
  for (std::size_t length = 0; length < full.size(); ++length) {
    const Outcome outcome =
        Convert(Bytes(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(length)));
    if (length < 36) {
      EXPECT_EQ(outcome.code, 1) << length;  // the head itself cannot be read
    }
    if (outcome.code == 1) {
      EXPECT_EQ(outcome.last_line, "Read beyond end of file.\n") << length;
    } else {
      EXPECT_TRUE(outcome.code == 0 || outcome.code == 248) << length << ": " << outcome.code;
    }
  }
}

TEST(Malformed, AnySizeAtAnyChunkEndsInADocumentedWay) {
  for (std::size_t field : kSizeFields) {
    for (std::uint32_t size : {0u, 1u, 3u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu}) {
      Bytes wav = Sample();
      wav[field] = static_cast<std::uint8_t>(size);
      wav[field + 1] = static_cast<std::uint8_t>(size >> 8);
      wav[field + 2] = static_cast<std::uint8_t>(size >> 16);
      wav[field + 3] = static_cast<std::uint8_t>(size >> 24);
      const Outcome outcome = Convert(wav);
      static const std::set<int> kDocumented = {0, 1, 248};
      EXPECT_TRUE(kDocumented.count(outcome.code)) << field << " " << size << ": " << outcome.code;
      if (outcome.code == 1) {
        EXPECT_TRUE(outcome.last_line == "Read beyond end of file.\n" ||
                    outcome.last_line == "Disk full.\n")
            << field << " " << size << ": " << outcome.last_line;
      }
    }
  }
}

}  // namespace
}  // namespace brumlet
