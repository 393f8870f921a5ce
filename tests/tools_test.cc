// Conversions of WAVs written by real tools, checked against what those tools read back from the
// same files. Each test says so and is skipped when the tool it needs is missing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "program_test.h"
#include "riff_builder.h"
#include "xi_reader.h"
#include "xm_module.h"

namespace brumlet {
namespace {

using namespace brumlet::testing;

bool Have(const std::string& tool) {
  return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

#define REQUIRE_TOOL(tool) \
  if (!Have(tool)) GTEST_SKIP() << tool << " is not installed (Debian package " << tool << ")"

class Tools : public ProgramTest {
 public:
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

// The pitch each rate must get: relative note and finetune.
const std::map<int, std::pair<int, int>> kPitch = {{8000, {-13, 30}},
                                                   {11025, {-7, -28}},
                                                   {22050, {5, -28}},
                                                   {44100, {17, -28}},
                                                   {48000, {18, 32}}};

// The source as `sox` reads it, one vector per channel: signed values of the stored width (for
// 8-bit, u - 128 of the unsigned byte u).
std::vector<std::vector<int>> SoxChannels(Tools& t, const std::string& wav, int bits,
                                          int channels) {
  const std::string raw = wav + ".raw";
  EXPECT_TRUE(t.Shell("sox " + wav + (bits == 8 ? " -t u8 " : " -t s16 ") + raw));
  std::vector<int> values;
  if (bits == 8) {
    for (char c : t.Read(raw)) values.push_back(static_cast<std::uint8_t>(c) - 128);
  } else {
    values = t.Raw16(raw);
  }
  std::vector<std::vector<int>> split(static_cast<std::size_t>(channels));
  for (std::size_t i = 0; i < values.size(); ++i) split[i % channels].push_back(values[i]);
  return split;
}

// Checks an XI file converted from `wav` against the source as sox reads it and the header that
// its format, rate and length call for.
void CheckConversion(Tools& t, const std::string& wav, int rate, int bits, int channels) {
  SCOPED_TRACE(wav);
  const std::string base = wav.substr(0, wav.find('.'));
  const XiFile xi = ParseXi(t.Read(base + ".xi"));
  const auto source = SoxChannels(t, wav, bits, channels);
  const std::int32_t length = static_cast<std::int32_t>(DataChunkOf(t.Read(wav)).size());
  ASSERT_TRUE(xi.complete || (channels == 2 && xi.trailing == 1));
  ASSERT_GE(xi.sample_count, channels);
  for (int c = 0; c < channels; ++c) {
    const XiSample& s = xi.samples[static_cast<std::size_t>(c)];
    EXPECT_EQ(s.length, channels == 2 ? length / 2 : length);
    EXPECT_EQ(s.type & 16, bits == 16 ? 16 : 0);
    EXPECT_EQ(s.relative_note, kPitch.at(rate).first - 12 * c);
    EXPECT_EQ(s.finetune, kPitch.at(rate).second);
    EXPECT_EQ(s.panning, channels == 1 ? 128 : c == 0 ? 0 : 255);
    ASSERT_EQ(s.data.size(), source[static_cast<std::size_t>(c)].size());
    for (std::size_t i = 0; i < s.data.size(); ++i) {
      ASSERT_EQ(s.data[i], -1 - source[static_cast<std::size_t>(c)][i])
          << "channel " << c << " at " << i;
    }
  }
  EXPECT_EQ(xi.samples[0].name, " -- " + base + ".xi --");
}

TEST_F(Tools, SoxWavsOfEveryRateWidthAndChannelCount) {
  REQUIRE_TOOL("sox");
  std::string expected_report;
  struct Made {
    std::string name;
    int rate, bits, channels;
  };
  std::vector<Made> made;
  for (int rate : {8000, 11025, 22050, 44100, 48000}) {
    for (int bits : {8, 16}) {
      for (int channels : {1, 2}) {
        std::ostringstream name_stream;
        name_stream << 'r' << rate << 'b' << bits << 'c' << channels << ".wav";
        const std::string name = name_stream.str();
        ASSERT_TRUE(Shell("sox -n -r " + std::to_string(rate) + " -b " + std::to_string(bits) +
                          " -c " + std::to_string(channels) + " " + name +
                          " synth 0.05 sine 300 sine 470"));
        made.push_back({name, rate, bits, channels});
      }
    }
  }
  // An odd length: 101 bytes of 8-bit mono data, followed by the RIFF pad byte.
  ASSERT_TRUE(Shell("sox -n -r 8000 -b 8 -c 1 rodd.wav synth 0.012625 sine 300"));
  made.push_back({"rodd.wav", 8000, 8, 1});
  std::sort(made.begin(), made.end(), [](const Made& a, const Made& b) { return a.name < b.name; });
  for (const Made& m : made) {
    expected_report += m.name + "  ->  " + m.name.substr(0, m.name.find('.')) + ".xi  (" +
                       std::to_string(m.bits) + " bit, " +
                       (m.channels == 2 ? "stereo, " : "mono, ") + std::to_string(m.rate) +
                       " Hz, no loop)\n";
  }
  const Result r = Run({"r*.wav"});
  ASSERT_EQ(r.code, 0) << r.out;
  EXPECT_EQ(r.out.substr(r.out.find("\n\n", r.out.find("Processing")) + 2), expected_report);
  for (const Made& m : made) CheckConversion(*this, m.name, m.rate, m.bits, m.channels);
  EXPECT_EQ(DataChunkOf(Read("rodd.wav")).size(), 101u);
}

TEST_F(Tools, FfmpegWavsWithTitlesAndChunksBeforeTheData) {
  REQUIRE_TOOL("ffmpeg");
  REQUIRE_TOOL("sox");
  const std::string input =
      "ffmpeg -loglevel error -f lavfi -i sine=frequency=500:duration=0.05:sample_rate=22050 ";
  ASSERT_TRUE(Shell(input + "-c:a pcm_u8 -metadata title='Flute Solo' u8.wav"));
  ASSERT_TRUE(Shell(
      input +
      "-ac 2 -c:a pcm_s16le -metadata title='Warm Strings Section Long' -write_bext 1 s16.wav"));
  const Result r = Run({"*.wav"});
  ASSERT_EQ(r.code, 0) << r.out;
  CheckConversion(*this, "u8.wav", 22050, 8, 1);
  CheckConversion(*this, "s16.wav", 22050, 16, 2);
  EXPECT_EQ(ParseXi(Read("u8.xi")).instrument_name, " Flute Solo           ");
  EXPECT_EQ(ParseXi(Read("s16.xi")).instrument_name, " Warm Strings Section ");  // cut to 22
  EXPECT_NE(Read("s16.wav").find("bext"), std::string::npos);
}

// Runs the libsndfile helper; returns its read-back loop ("MODE START END").
std::string MakeLoopedWav(Tools& t, const std::string& args) {
  const std::string out = "loop.txt";
  EXPECT_TRUE(t.Shell(Quote(BRUMLET_LOOPED_WAV_TOOL) + " " + args + " > " + out));
  return t.Read(out);
}

#define REQUIRE_LOOPED_WAV_TOOL()                                                              \
  if (std::string(BRUMLET_LOOPED_WAV_TOOL).empty())                                            \
  GTEST_SKIP() << "libsndfile's development files were missing at build time (Debian package " \
                  "libsndfile1-dev)"

TEST_F(Tools, LibsndfileLoopsBecomeSampleLoops) {
  REQUIRE_LOOPED_WAV_TOOL();
  REQUIRE_TOOL("sox");
  EXPECT_EQ(MakeLoopedWav(*this, "fwd.wav 22050 1 16 forward 1000 3000 4000"),
            "forward 1000 3000\n");
  EXPECT_EQ(MakeLoopedWav(*this, "alt.wav 11025 2 8 pingpong 200 700 1500"), "pingpong 200 700\n");
  const Result r = Run({"*.wav"});
  ASSERT_EQ(r.code, 0) << r.out;
  EXPECT_NE(r.out.find("alt.wav  ->  alt.xi  (8 bit, stereo, 11025 Hz, <--> loop)\n"),
            std::string::npos);
  EXPECT_NE(r.out.find("fwd.wav  ->  fwd.xi  (16 bit, mono, 22050 Hz, --> loop)\n"),
            std::string::npos);
  CheckConversion(*this, "fwd.wav", 22050, 16, 1);
  CheckConversion(*this, "alt.wav", 11025, 8, 2);
  // libsndfile's loop end is exclusive; the smpl chunk stores it inclusive, one less.
  const XiFile fwd = ParseXi(Read("fwd.xi"));
  EXPECT_EQ(fwd.samples[0].type, 16 + 1);
  EXPECT_EQ(fwd.samples[0].loop_start, 2 * 1000);
  EXPECT_EQ(fwd.samples[0].loop_length, 2 * (3000 - 1000));
  const XiFile alt = ParseXi(Read("alt.xi"));
  for (const XiSample& s : {alt.samples[0], alt.samples[1]}) {
    EXPECT_EQ(s.type, 2);
    EXPECT_EQ(s.loop_start, 200);
    EXPECT_EQ(s.loop_length, 500);
  }
}

// Normalised correlation of `a` with `b` shifted by `lag`, over the length of `a`.
double Correlation(const std::vector<int>& a, const std::vector<int>& b, std::size_t lag) {
  double ab = 0, aa = 0, bb = 0;
  for (std::size_t i = 0; i < a.size() && i + lag < b.size(); ++i) {
    ab += static_cast<double>(a[i]) * b[i + lag];
    aa += static_cast<double>(a[i]) * a[i];
    bb += static_cast<double>(b[i + lag]) * b[i + lag];
  }
  return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0;
}

// Wraps `xi` into a module that plays C-5 on the first channel and, for stereo, C-6 on the
// second, has openmpt123 render it at the sample's own rate, and returns for each output channel
// the strongest correlation (the most negative) with the source channel panned there. A sample
// plays at its own rate on C-5; a stereo source's right channel owns the keys from C-6 on and is
// tuned an octave lower, so that C-6 plays it at its own rate too.
std::vector<double> RenderedCorrelations(Tools& t, const std::string& base, int rate,
                                         const std::vector<std::vector<int>>& source) {
  const bool stereo = source.size() == 2;
  const std::string xi = t.Read(base + ".xi");
  t.Write(base + ".xm", XmFromXi(xi, 61, stereo ? 73 : 0));
  // Up to the end of a loop the engine plays the sample straight through; then it loops.
  const XiSample sample = ParseXi(xi).samples[0];
  const std::size_t bytes_per_frame = (sample.type & 16) ? 2 : 1;
  const std::size_t straight =
      (sample.type & 3) == 0
          ? source[0].size()
          : static_cast<std::size_t>(sample.loop_start + sample.loop_length) / bytes_per_frame;
  EXPECT_TRUE(t.Shell("openmpt123 --quiet --render --force --samplerate " + std::to_string(rate) +
                      " --channels 2 --no-float --dither 0 --filter 1 --ramping 0 " + base +
                      ".xm > /dev/null 2>&1"));
  const Bytes pcm = DataChunkOf(t.Read(base + ".xm.wav"));
  std::vector<std::vector<int>> output(2);
  for (std::size_t i = 0; i + 1 < pcm.size(); i += 2) {
    output[i / 2 % 2].push_back(static_cast<std::int16_t>(pcm[i] | pcm[i + 1] << 8));
  }
  std::vector<double> correlations;
  for (std::size_t c = 0; c < source.size(); ++c) {
    EXPECT_GT(output[c].size(), source[c].size()) << "nothing rendered";
    const std::vector<int> played(
        source[c].begin(),
        source[c].begin() + static_cast<std::ptrdiff_t>(std::min(straight, source[c].size())));
    double best = 1;
    for (std::size_t lag = 0; lag < 64; ++lag) {
      best = std::min(best, Correlation(played, output[c], lag));
    }
    correlations.push_back(best);
  }
  return correlations;
}

TEST_F(Tools, ATrackerEngineLoadsAndPlaysTheInstrumentsAtTheirOwnRate) {
  REQUIRE_TOOL("openmpt123");
  REQUIRE_TOOL("sox");
  struct Case {
    std::string name;
    int rate, bits, channels;
  };
  std::vector<Case> cases = {{"m8.wav", 11025, 8, 1}, {"s16.wav", 22050, 16, 2}};
  ASSERT_TRUE(Shell("sox -n -r 11025 -b 8 -c 1 m8.wav synth 0.2 sine 220 sine 91 gain -2"));
  ASSERT_TRUE(Shell("sox -n -r 22050 -b 16 -c 2 s16.wav synth 0.2 sine 180 sine 260 gain -2"));
  if (!std::string(BRUMLET_LOOPED_WAV_TOOL).empty()) {
    MakeLoopedWav(*this, "l16.wav 22050 1 16 forward 1000 3000 4000");
    MakeLoopedWav(*this, "l8.wav 11025 2 8 pingpong 200 700 1500");
    cases.push_back({"l16.wav", 22050, 16, 1});
    cases.push_back({"l8.wav", 11025, 8, 2});
  } else {
    std::cout << "[ NOTE ] looped cases left out: libsndfile1-dev was missing at build time\n";
  }
  ASSERT_EQ(Run({"*.wav"}).code, 0);
  for (const Case& c : cases) {
    const auto source = SoxChannels(*this, c.name, c.bits, c.channels);
    const auto correlations =
        RenderedCorrelations(*this, c.name.substr(0, c.name.find('.')), c.rate, source);
    for (std::size_t channel = 0; channel < correlations.size(); ++channel) {
      // The stored waveform is inverted, and so is what the engine plays.
      EXPECT_LT(correlations[channel], -0.9) << c.name << " channel " << channel;
    }
  }
}

}  // namespace
}  // namespace brumlet
