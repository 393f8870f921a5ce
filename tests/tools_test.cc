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
using namespace brumlet::measure;

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

// Converts `wav` (with --mono when `mix`) and checks the samples against ffmpeg's 16-bit decode of
// `reference_wav`, inverted as stored: each channel, or for --mono the mix of both.
void ExpectDecodedAsFfmpeg(Tools& t, const std::string& wav, const std::string& reference_wav,
                           int channels, bool mix) {
  SCOPED_TRACE(wav + (mix ? " --mono" : ""));
  // A cut file ends in a piece of a block or frame, which ffmpeg reports as it drops it.
  ASSERT_TRUE(t.Shell("ffmpeg -loglevel fatal -y -i " + reference_wav + " -f s16le ref.raw"));
  const std::vector<int> reference = t.Raw16("ref.raw");
  ASSERT_EQ(t.Run(mix ? std::vector<std::string>{"--mono", wav} : std::vector{wav}).code, 0);
  const XiFile xi = ParseXi(t.Read(wav.substr(0, wav.find('.')) + ".xi"));
  ASSERT_TRUE(xi.complete);
  for (int c = 0; c < (mix ? 1 : channels); ++c) {
    std::vector<int> expected;
    for (std::size_t i = static_cast<std::size_t>(c); i < reference.size(); i += channels) {
      expected.push_back(-1 - (mix ? (reference[i] + reference[i + 1]) >> 1 : reference[i]));
    }
    EXPECT_EQ(xi.samples.at(static_cast<std::size_t>(c)).data, expected) << "channel " << c;
  }
}

TEST_F(Tools, CompressedWavsFromFfmpegConvertToFfmpegsOwnDecode) {
  REQUIRE_TOOL("ffmpeg");
  for (const std::string codec : {"pcm_mulaw", "pcm_alaw", "adpcm_ima_wav", "adpcm_ms"}) {
    for (int channels : {1, 2}) {
      const std::string name = codec + std::to_string(channels);
      ASSERT_TRUE(Shell("ffmpeg -loglevel error -f lavfi -i anoisesrc=d=0.2:a=0.9:r=22050 -ac " +
                        std::to_string(channels) + " -c:a " + codec + " " + name + ".wav"));
      ExpectDecodedAsFfmpeg(*this, name + ".wav", name + ".wav", channels, false);
      // Cut 37 bytes off the data: a partial last block; then as an extensible subformat.
      const std::string whole = Read(name + ".wav");
      const Bytes fmt = DataChunkOf(whole, "fmt "), data = DataChunkOf(whole);
      const Bytes cut(data.begin(), data.end() - 37);
      WriteWav("cut" + name + ".wav", Wav(fmt, {Chunk("data", cut)}));
      ExpectDecodedAsFfmpeg(*this, "cut" + name + ".wav", "cut" + name + ".wav", channels,
                            channels == 2);
      // The same fmt facts, then cbSize 22, no valid bits nor channel mask, the subformat GUID.
      const Bytes extensible =
          Concat({Bytes{0xFE, 0xFF}, Bytes(fmt.begin() + 2, fmt.begin() + 16),
                  Bytes{22, 0, 0,    0, 0,    0, 0, 0,    fmt[0], fmt[1], 0,    0,
                        0,  0, 0x10, 0, 0x80, 0, 0, 0xAA, 0,      0x38,   0x9B, 0x71}});
      WriteWav("x" + name + ".wav", Wav(extensible, {Chunk("data", cut)}));
      ExpectDecodedAsFfmpeg(*this, "x" + name + ".wav", "cut" + name + ".wav", channels, false);
    }
  }
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
  EXPECT_TRUE(t.Shell("sox " + Quote(wav) + (bits == 8 ? " -t u8 " : " -t s16 ") + Quote(raw)));
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

// The frames of `frames` that a sample plays straight through: up to the end of its loop, if it
// has one; from there on the engine loops.
std::size_t StraightFrames(const XiSample& sample, std::size_t frames) {
  if ((sample.type & 3) == 0) return frames;
  const std::size_t bytes_per_frame = (sample.type & 16) ? 2 : 1;
  return std::min(
      frames, static_cast<std::size_t>(sample.loop_start + sample.loop_length) / bytes_per_frame);
}

// Has openmpt123 render the module `xm` at `rate` Hz, with no interpolation, dither or volume
// ramps; returns the left and right output channels.
std::vector<std::vector<int>> Rendered(Tools& t, const std::string& xm, int rate) {
  EXPECT_TRUE(t.Shell("openmpt123 --quiet --render --force --samplerate " + std::to_string(rate) +
                      " --channels 2 --no-float --dither 0 --filter 1 --ramping 0 " + xm +
                      " > /dev/null 2>&1"));
  const Bytes pcm = DataChunkOf(t.Read(xm + ".wav"));
  std::vector<std::vector<int>> output(2);
  for (std::size_t i = 0; i + 1 < pcm.size(); i += 2) {
    output[i / 2 % 2].push_back(static_cast<std::int16_t>(pcm[i] | pcm[i + 1] << 8));
  }
  return output;
}

// The strongest (most negative) correlation of `played` with `output` delayed by fewer than
// `lags` frames.
double MostNegativeCorrelation(const std::vector<int>& played, const std::vector<int>& output,
                               std::size_t lags) {
  EXPECT_GT(output.size(), played.size()) << "nothing rendered";
  double best = 1;
  for (std::size_t lag = 0; lag < lags; ++lag) {
    best = std::min(best, Correlation(played, output, lag));
  }
  return best;
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
  const std::size_t straight = StraightFrames(ParseXi(xi).samples[0], source[0].size());
  const auto output = Rendered(t, base + ".xm", rate);
  std::vector<double> correlations;
  for (std::size_t c = 0; c < source.size(); ++c) {
    const std::vector<int> played(
        source[c].begin(),
        source[c].begin() + static_cast<std::ptrdiff_t>(std::min(straight, source[c].size())));
    correlations.push_back(MostNegativeCorrelation(played, output[c], 4));
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

// A key of an instrument made of many sources, and what it must play: the slot, the source file
// with its stored width, channel count and rate, and how many semitones the key lies above the
// source's root key.
struct Note {
  int key, slot;
  std::string wav;
  int bits, channels, rate, above_root;
};

// Plays each note of the instrument `xi_name` alone and has it rendered at the rate that takes
// one frame of its source per output frame: the source's rate, 2^(1/12) higher for each semitone
// above the root. The output must follow the source, inverted as stored, and a stereo source as
// the mix of its channels; a wrong sample or a pitch a semitone off drifts out of step and falls
// far short of the threshold. The engine takes a finetune in steps of 8 (1/16 semitone), rounded
// down, so a sample plays up to 7/128 semitone flat; the render rate follows it, or a 0.3 s
// chirp would drift a dozen frames out of step. The note starts on the first output frame, and
// the few frames of delay allowed stay well under half a period of every tone here, where an
// upright waveform would pass for an inverted one.
void ExpectEachNotePlaysItsSource(Tools& t, const std::string& xi_name,
                                  const std::vector<Note>& notes) {
  const std::string xi = t.Read(xi_name);
  const XiFile parsed = ParseXi(xi);
  ASSERT_TRUE(parsed.complete);
  for (const Note& note : notes) {
    SCOPED_TRACE("key " + std::to_string(note.key) + ", " + note.wav);
    const auto channels = SoxChannels(t, note.wav, note.bits, note.channels);
    std::vector<int> source = channels[0];
    for (std::size_t i = 0; note.channels == 2 && i < source.size(); ++i) {
      source[i] += channels[1][i];
    }
    const XiSample& sample = parsed.samples.at(static_cast<std::size_t>(note.slot));
    source.resize(StraightFrames(sample, source.size()));
    const std::string xm = "key" + std::to_string(note.key) + ".xm";
    t.Write(xm, XmFromXi(xi, note.key + 1));
    const double semitones = note.above_root - (sample.finetune & 7) / 128.0;
    const auto output =
        Rendered(t, xm, static_cast<int>(std::lround(note.rate * std::exp2(semitones / 12))));
    EXPECT_LT(MostNegativeCorrelation(source, output[0], 4), -0.98);
  }
}

TEST_F(Tools, ATrackerEnginePlaysEachKeyOfAKitFromItsOwnSample) {
  REQUIRE_TOOL("openmpt123");
  REQUIRE_TOOL("sox");
  ASSERT_TRUE(Shell("cp " + Quote(BRUMLET_EXAMPLES) + "/*.wav ."));
  ASSERT_EQ(Run({"--kit", "kit.xi", "*.wav"}).code, 0) << Read("stdout.txt");
  // Slot i on key 60 + i at its own rate; the keys beyond play the first or last slot transposed.
  ExpectEachNotePlaysItsSource(*this, "kit.xi",
                               {{59, 0, "bell24.wav", 16, 1, 44100, -1},
                                {60, 0, "bell24.wav", 16, 1, 44100, 0},
                                {61, 1, "kick.wav", 8, 1, 8000, 0},
                                {62, 2, "pad.wav", 8, 2, 11025, 0},
                                {63, 3, "pluck.wav", 16, 1, 22050, 0},
                                {66, 3, "pluck.wav", 16, 1, 22050, 3}});
}

TEST_F(Tools, ATrackerEnginePlaysEachKeyOfAMultisampleFromTheNearestRoot) {
  REQUIRE_TOOL("openmpt123");
  REQUIRE_TOOL("sox");
  ASSERT_TRUE(Shell("sox -n -r 22050 -b 16 -c 1 tone_C4.wav synth 0.3 sine 300:900 gain -2"));
  ASSERT_TRUE(Shell("sox -n -r 11025 -b 8 -c 2 tone-E4.wav synth 0.3 sine 200 sine 330 gain -2"));
  ASSERT_TRUE(Shell("sox -n -r 16000 -b 16 -c 1 'tone G4.wav' synth 0.3 square 250 gain -2"));
  ASSERT_EQ(Run({"--multi", "multi.xi", "tone*.wav"}).code, 0) << Read("stdout.txt");
  // Slots in name order: G4, E4, C4. D4 lies as near C4 as E4 and takes the lower, C4, two
  // semitones up; F4 takes E4 a semitone up, F#4 G4 a semitone down.
  ExpectEachNotePlaysItsSource(*this, "multi.xi",
                               {{60, 2, "tone_C4.wav", 16, 1, 22050, 0},
                                {62, 2, "tone_C4.wav", 16, 1, 22050, 2},
                                {64, 1, "tone-E4.wav", 8, 2, 11025, 0},
                                {65, 1, "tone-E4.wav", 8, 2, 11025, 1},
                                {66, 0, "tone G4.wav", 16, 1, 16000, -1},
                                {67, 0, "tone G4.wav", 16, 1, 16000, 0}});
}

}  // namespace
}  // namespace brumlet
