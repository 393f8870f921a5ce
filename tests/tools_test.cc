// Conversions of WAVs written by real tools, checked against what those tools read back from the
// same files. Each test says so and is skipped when the tool it needs is missing.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "program_test.h"
#include "xi_reader.h"

namespace brumlet {
namespace {

using namespace brumlet::testing;

bool Have(const std::string& tool) {
  return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

#define REQUIRE_TOOL(tool) \
  if (!Have(tool)) GTEST_SKIP() << tool << " is not installed (Debian package " << tool << ")"

class Tools : public ProgramTest {
 protected:
  // Signed 16-bit little-endian samples from a raw file.
  std::vector<int> Raw16(const std::string& name) {
    const std::string raw = Read(name);
    std::vector<int> values;
    for (std::size_t i = 0; i + 1 < raw.size(); i += 2) {
      values.push_back(static_cast<std::int16_t>(static_cast<std::uint8_t>(raw[i]) |
                                                 static_cast<std::uint8_t>(raw[i + 1]) << 8));
    }
    return values;
  }

  // Converts `wav` and checks each channel's decoded sample data against sox's own 16-bit
  // reading of the file, inverted as the XI data stores it: equal within `tolerance`.
  void ExpectSameAsSox16(const std::string& wav, int channels, int tolerance) {
    ASSERT_EQ(Run({wav}).code, 0) << Read("stdout.txt");
    ASSERT_TRUE(Shell("sox -D " + wav + " -b 16 -t s16 reference.raw"));
    const std::vector<int> reference = Raw16("reference.raw");
    const XiFile xi = ParseXi(Read(wav.substr(0, wav.find('.')) + ".xi"));
    ASSERT_TRUE(xi.complete);
    ASSERT_EQ(reference.size() % channels, 0u);
    const std::size_t frames = reference.size() / channels;
    for (int c = 0; c < channels; ++c) {
      const XiSample& sample = xi.samples.at(c);
      EXPECT_EQ(sample.type & 16, 16);
      ASSERT_EQ(sample.data.size(), frames);
      int worst = 0;
      for (std::size_t i = 0; i < frames; ++i) {
        worst = std::max(worst, std::abs(-1 - reference[i * channels + c] - sample.data[i]));
      }
      EXPECT_LE(worst, tolerance) << wav << " channel " << c;
    }
  }
};

TEST_F(Tools, TwentyFourBitFromSoxMatchesSoxSixteenBitConversion) {
  REQUIRE_TOOL("sox");
  ASSERT_TRUE(Shell("sox -n -r 44100 -b 24 -c 2 s24.wav synth 0.25 sine 440 sine 660 gain -3"));
  ExpectSameAsSox16("s24.wav", 2, 1);
  ASSERT_TRUE(Shell("sox -n -r 22050 -b 24 -c 1 m24.wav synth 0.25 square 300 gain -1"));
  ExpectSameAsSox16("m24.wav", 1, 1);
}

TEST_F(Tools, FloatFromFfmpegMatchesSoxSixteenBitConversion) {
  REQUIRE_TOOL("ffmpeg");
  REQUIRE_TOOL("sox");
  ASSERT_TRUE(
      Shell("ffmpeg -loglevel error -f lavfi -i sine=frequency=440:duration=0.25:sample_rate=48000 "
            "-af volume=0.9 -ac 2 -c:a pcm_f32le f32.wav"));
  ExpectSameAsSox16("f32.wav", 2, 1);
  ASSERT_TRUE(
      Shell("ffmpeg -loglevel error -f lavfi -i sine=frequency=1000:duration=0.25 "
            "-c:a pcm_f64le f64.wav"));
  ExpectSameAsSox16("f64.wav", 1, 1);
}

}  // namespace
}  // namespace brumlet
