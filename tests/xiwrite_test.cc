#include "xi/xiwrite.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <type_traits>

#include "brumlet.h"
#include "fake_platform.h"
#include "riff_builder.h"
#include "wav/wav_data.h"
#include "xi_reader.h"

namespace brumlet {
namespace {

using namespace brumlet::testing;
using namespace brumlet::measure;

// Converts `wav` as the plain conversion does (--mono for kMix) and returns what the output
// holds behind its header.
Bytes Encode(const Bytes& wav, StereoHandling stereo = StereoHandling::kSplit) {
  FakePlatform p;
  p.AddFile("x.wav", wav);
  std::vector<std::string> args{"x.wav"};
  if (stereo == StereoHandling::kMix) args.insert(args.begin(), "--mono");
  EXPECT_EQ(RunBrumlet(args, "brumlet", p), 0) << p.fake_console().output;
  const Bytes& xi = p.Contents("x.xi");
  const std::size_t header = 298 + 40 * static_cast<std::size_t>(xi[296] | xi[297] << 8);
  return Bytes(xi.begin() + static_cast<std::ptrdiff_t>(header), xi.end());
}

Bytes Words(std::initializer_list<std::uint16_t> words) {
  Bytes b;
  for (std::uint16_t w : words) Put16(b, w);
  return b;
}

const Bytes kMono8 = FmtData(1, 8000, 8);
const Bytes kStereo8 = FmtData(2, 8000, 8);
const Bytes kMono16 = FmtData(1, 44100, 16);
const Bytes kStereo16 = FmtData(2, 44100, 16);

TEST(Encoders, StorePreviousMinusCurrentFromTheirStartValues) {
  EXPECT_EQ(Encode(Wav(kMono16, {Chunk("data", Samples16({0, 0, 1, -1, 32767, -32768}))})),
            Words({0xFFFF, 0x0000, 0xFFFF, 0x0002, 0x8000, 0xFFFF}));
  EXPECT_EQ(Encode(Wav(kMono8, {Chunk("data", {0x80, 0x80, 0x81, 0x7F, 0xFF, 0x00})})),
            (Bytes{0xFF, 0x00, 0xFF, 0x02, 0x80, 0xFF}));
}

TEST(Encoders, StereoBecomesTheLeftChannelThenTheRight) {
  EXPECT_EQ(Encode(Wav(kStereo16, {Chunk("data", Samples16({100, -100, 200, -200}))})),
            Words({0xFF9B, 0xFF9C, 0x0063, 0x0064}));
  EXPECT_EQ(Encode(Wav(kStereo8, {Chunk("data", {0x80, 0x00, 0x90, 0xFF})})),
            (Bytes{0xFF, 0xF0, 0x7F, 0x01}));
}

TEST(Encoders, OutputIsCutOrExtendedToTheDeclaredLength) {
  // What follows the data chunk is encoded, then cut off again.
  const Bytes list = Chunk("LIST", {'I', 'N', 'F', 'O', 'I', 'N', 'A', 'M', 2, 0, 0, 0, 'a', 0});
  EXPECT_EQ(Encode(Wav(kMono8, {Chunk("data", {0x80, 0x81}), list})), (Bytes{0xFF, 0xFF}));
  // A data chunk that claims more than the file holds: zeros make up the rest.
  Bytes short_data = Encode(Wav(kMono16, {Chunk("data", Repeat(600, 0), 1000)}));
  ASSERT_EQ(short_data.size(), 1000u);
  EXPECT_EQ(Bytes(short_data.begin() + 600, short_data.end()), Repeat(400, 0));
  EXPECT_EQ(short_data[0], 0xFF);
  EXPECT_EQ(short_data[2], 0x00);
  EXPECT_TRUE(Encode(Wav(kMono16, {Chunk("data", {})})).empty());
}

TEST(Encoders, OddLengthsDropTheIncompleteUnit) {
  // Stereo with an odd length: each channel gets L / 2 bytes, the last byte is made up by zero.
  EXPECT_EQ(Encode(Wav(kStereo8, {Chunk("data", {0x80, 0x00, 0x90, 0xFF, 0x11})})),
            (Bytes{0xFF, 0xF0, 0x7F, 0x01, 0x00}));
  // 16-bit mono whose last sample is cut short by the end of the file.
  EXPECT_EQ(Encode(Wav(kMono16, {Chunk("data", {0x01, 0x00, 0x02, 0x00, 0x03})})),
            (Bytes{0xFE, 0xFF, 0xFF, 0xFF, 0x00}));
}

TEST(Encoders, OtherWidthsGoThroughTheEightBitPathByteByByte) {
  EXPECT_EQ(Encode(Wav(FmtData(1, 48000, 12), {Chunk("data", {0x80, 0x81, 0x7F})})),
            (Bytes{0xFF, 0xFF, 0x02}));
  // Extensible without room for its subformat, and float of an odd width, are not converted.
  EXPECT_EQ(Encode(Wav(FmtData(1, 48000, 24, 0xFFFE, {0, 0}), {Chunk("data", {0x80, 0x81, 0x7F})})),
            (Bytes{0xFF, 0xFF, 0x02}));
  EXPECT_EQ(Encode(Wav(FmtData(1, 48000, 24, 3), {Chunk("data", {0x80, 0x81, 0x7F})})),
            (Bytes{0xFF, 0xFF, 0x02}));
}

TEST(Encoders, AMixedStereoSourceIsOneSampleOfHalfTheSumRoundedDown) {
  // 16-bit: the sum of the signed samples halved with an arithmetic shift; an incomplete last
  // frame is dropped. Mixed: -1, -2, 32767, -32768, 0.
  const Bytes frames16 = Samples16({100, -101, -3, 0, 32767, 32767, -32768, -32768, 1, -1, 7});
  EXPECT_EQ(Encode(Wav(kStereo16, {Chunk("data", frames16)}), StereoHandling::kMix),
            Words({0x0000, 0x0001, 0x7FFF, 0xFFFF, 0x8000}));
  // 8-bit: the sum of the unsigned bytes. Mixed: 127, 255, 1.
  EXPECT_EQ(Encode(Wav(kStereo8, {Chunk("data", {0xFF, 0x00, 0xFF, 0xFF, 0x01, 0x02, 0x09})}),
                   StereoHandling::kMix),
            (Bytes{0x00, 0x80, 0xFE}));
  // Wide formats become 16-bit first: 24-bit frames (0x0100, 0x0300) and (-1, -2) mix to 0x0200
  // and -2.
  EXPECT_EQ(Encode(Wav(FmtData(2, 48000, 24),
                       {Chunk("data", {0, 0, 1, 0, 0, 3, 0, 0xFF, 0xFF, 0, 0xFE, 0xFF})}),
                   StereoHandling::kMix),
            Words({0xFDFF, 0x0202}));
  // A mono source is the same either way.
  const Bytes mono = Wav(kMono16, {Chunk("data", Samples16({5, -5, 9}))});
  EXPECT_EQ(Encode(mono, StereoHandling::kMix), Encode(mono));
}

// Sources larger than a block, with values that differ at every step, decode to the source
// waveform inverted, across every block boundary.
TEST(Encoders, DecodeToTheInvertedWaveformAcrossBlockBoundaries) {
  const std::size_t frames = 100003;
  Bytes mono8, stereo8, mono16, stereo16;
  for (std::size_t i = 0; i < frames; ++i) {
    const auto a = static_cast<std::uint16_t>(i * 7919u + 13u);
    const auto b = static_cast<std::uint16_t>(i * 104729u + 5u);
    mono8.push_back(static_cast<std::uint8_t>(a));
    stereo8.push_back(static_cast<std::uint8_t>(a));
    stereo8.push_back(static_cast<std::uint8_t>(b));
    Put16(mono16, a);
    Put16(stereo16, a);
    Put16(stereo16, b);
  }
  const Bytes m8 = Encode(Wav(kMono8, {Chunk("data", mono8)}));
  const Bytes s8 = Encode(Wav(kStereo8, {Chunk("data", stereo8)}));
  const Bytes m16 = Encode(Wav(kMono16, {Chunk("data", mono16)}));
  const Bytes s16 = Encode(Wav(kStereo16, {Chunk("data", stereo16)}));
  const auto dm8 = DecodeSampleData(m8, 0, frames, false);
  const auto dl8 = DecodeSampleData(s8, 0, frames, false);
  const auto dr8 = DecodeSampleData(s8, frames, frames, false);
  const auto dm16 = DecodeSampleData(m16, 0, 2 * frames, true);
  const auto dl16 = DecodeSampleData(s16, 0, 2 * frames, true);
  const auto dr16 = DecodeSampleData(s16, 2 * frames, 2 * frames, true);
  // The inverted 8-bit sample is u XOR 0x7F as a signed byte, the 16-bit one the complement.
  auto inverted8 = [](std::uint8_t u) { return static_cast<std::int8_t>(u ^ 0x7F); };
  auto inverted16 = [](const Bytes& b, std::size_t at) {
    return static_cast<std::int16_t>(~(b[at] | b[at + 1] << 8));
  };
  for (std::size_t i = 0; i < frames; ++i) {
    ASSERT_EQ(dm8[i], inverted8(mono8[i])) << i;
    ASSERT_EQ(dl8[i], inverted8(stereo8[2 * i])) << i;
    ASSERT_EQ(dr8[i], inverted8(stereo8[2 * i + 1])) << i;
    ASSERT_EQ(dm16[i], inverted16(mono16, 2 * i)) << i;
    ASSERT_EQ(dl16[i], inverted16(stereo16, 4 * i)) << i;
    ASSERT_EQ(dr16[i], inverted16(stereo16, 4 * i + 2)) << i;
  }
}

TEST(Encoders, FailedWritesAndCutsEndThePassWithTheirReport) {
  for (Site site : {Site::kSampleRead, Site::kSampleWrite, Site::kOutputTruncate}) {
    FakePlatform p;
    p.AddFile("a.wav", Wav(kMono8, {Chunk("data", Repeat(10, 0x80))}));
    p.faults[site] = ENOSPC;
    EXPECT_EQ(RunBrumlet({"a.wav"}, "brumlet", p), 1);
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08X", static_cast<unsigned>(site));
    EXPECT_TRUE(p.fake_console().output.ends_with(std::string("Exception EInOutError in module "
                                                              "brumlet at ") +
                                                  hex + ".\nDisk full.\n"))
        << p.fake_console().output;
  }
}

// Wide formats: the XI data, decoded the standard way (a running sum from 0 for each sample) and
// inverted back, as signed 16-bit values.
std::vector<std::int16_t> DecodedWide(const Bytes& fmt, const Bytes& data,
                                      std::int64_t declared = -1) {
  const Bytes xi = Encode(Wav(fmt, {Chunk("data", data, declared)}));
  const bool stereo = fmt[2] == 2;  // the right channel is a sample of its own, decoded afresh
  const std::size_t sample_length = stereo ? xi.size() / 2 : xi.size();
  std::vector<std::int16_t> values;
  for (std::size_t begin = 0; begin < xi.size(); begin += sample_length) {
    for (int v : DecodeSampleData(xi, begin, sample_length, true)) {
      values.push_back(static_cast<std::int16_t>(~v));  // undo the inversion
    }
  }
  return values;
}

// IEEE floats as a WAV stores them: their bits, little-endian.
template <typename Float>
Bytes FloatBytes(std::initializer_list<Float> values) {
  Bytes b;
  for (Float v : values) {
    std::conditional_t<sizeof(Float) == 4, std::uint32_t, std::uint64_t> bits;
    static_assert(sizeof bits == sizeof v);
    std::memcpy(&bits, &v, sizeof v);
    for (std::size_t k = 0; k < sizeof v; ++k)
      b.push_back(static_cast<std::uint8_t>(bits >> (8 * k)));
  }
  return b;
}
Bytes Floats(std::initializer_list<float> values) { return FloatBytes(values); }
Bytes Doubles(std::initializer_list<double> values) { return FloatBytes(values); }

// The extensible fmt extension: cbSize 22, valid bits, channel mask, then the subformat GUID
// whose first two bytes are the format tag.
Bytes Extensible(std::uint16_t channels, std::uint16_t bits, std::uint16_t subformat) {
  Bytes extra;
  Put16(extra, 22);
  Put16(extra, bits);
  Put32(extra, channels == 2 ? 3 : 4);
  Put16(extra, subformat);
  for (std::uint8_t b :
       {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}) {
    extra.push_back(b);
  }
  return FmtData(channels, 48000, bits, 0xFFFE, extra);
}

using Values = std::vector<std::int16_t>;

TEST(WideFormats, IntegerPcmKeepsItsTopSixteenBits) {
  EXPECT_EQ(
      DecodedWide(FmtData(1, 48000, 24), {0xFF, 0x34, 0x12, 0x00, 0x00, 0x80, 0x01, 0xFF, 0xFF}),
      (Values{0x1234, -32768, -1}));
  EXPECT_EQ(DecodedWide(FmtData(1, 48000, 32), {0xFF, 0xFF, 0x34, 0x12, 0, 0, 0xFF, 0x7F}),
            (Values{0x1234, 32767}));
  EXPECT_EQ(DecodedWide(Extensible(1, 24, 1), {1, 2, 3, 4, 5, 6}), (Values{0x0302, 0x0605}));
  // 20-bit samples in 3-byte containers are left-justified: the top 16 bits all the same.
  EXPECT_EQ(DecodedWide(FmtData(1, 48000, 20), {0xF0, 0x34, 0x12}), (Values{0x1234}));
}

TEST(CompressedFormats, DecodeToSixteenBitSamples) {
  EXPECT_EQ(DecodedWide(FmtData(1, 8000, 8, 7), {0xFF, 0x7F, 0x00, 0x80}),
            (Values{0, 0, -32124, 32124}));
  EXPECT_EQ(DecodedWide(FmtData(1, 8000, 8, 6), {0xD5, 0x55, 0x2A, 0xAA}),
            (Values{8, -8, -32256, 32256}));
  // IMA ADPCM in blocks of 16 bytes: left from 100, right from -100, every code 0 (which adds
  // nothing at step 7); then a partial block of just its headers, which holds one frame.
  Bytes ima = Extensible(2, 4, 0x11);
  ima[12] = 16;
  const Bytes blocks =
      Concat({Bytes{100, 0, 0, 0, 0x9C, 0xFF, 0, 0}, Repeat(8, 0), Bytes{5, 0, 0, 0, 6, 0, 0, 0}});
  EXPECT_EQ(DecodedWide(ima, blocks),
            (Values{100,  100,  100,  100,  100,  100,  100,  100,  100,  5,
                    -100, -100, -100, -100, -100, -100, -100, -100, -100, 6}));
  const Bytes mixed = Encode(Wav(ima, {Chunk("data", blocks)}), StereoHandling::kMix);
  EXPECT_EQ(DecodeSampleData(mixed, 0, mixed.size(), true),
            (std::vector<int>{-1, -1, -1, -1, -1, -1, -1, -1, -1, ~5}));
  // Microsoft ADPCM predicts with the fmt chunk's own table: here pair 0 is (512, -256).
  Bytes extra{32, 0, 4, 0, 7, 0, 0, 2, 0, 0xFF};
  extra.resize(4 + 2 + 7 * 4, 0);
  Bytes ms = FmtData(1, 8000, 4, 2, extra);
  ms[12] = 8;
  EXPECT_EQ(DecodedWide(ms, {0, 16, 0, 10, 0, 0, 0, 0}), (Values{0, 10, 20, 30}));
}

TEST(WideFormats, FloatIsScaledRoundedToEvenAndClamped) {
  const Values expected{16384, -32768, 32767, 32767, -32768, 0, 0, 2, -2, 1};
  const float nan = std::numeric_limits<float>::quiet_NaN();
  EXPECT_EQ(DecodedWide(FmtData(1, 48000, 32, 3),
                        Floats({0.5f, -1.0f, 1.0f, 1.5f, -2.0f, nan, 0.5f / 32768, 1.5f / 32768,
                                -1.5f / 32768, 0.75f / 32768})),
            expected);
  EXPECT_EQ(DecodedWide(FmtData(1, 48000, 64, 3),
                        Doubles({0.5, -1.0, 1.0, 1.5, -2.0, std::nan(""), 0.5 / 32768, 1.5 / 32768,
                                 -1.5 / 32768, 0.75 / 32768})),
            expected);
  EXPECT_EQ(
      DecodedWide(Extensible(1, 32, 3), Floats({-0.25f, std::numeric_limits<float>::infinity()})),
      (Values{-8192, 32767}));
}

TEST(WideFormats, StereoSplitsIntoLeftThenRight) {
  // Two frames of 32-bit float stereo: left 0.5, 0.25; right -0.5, -0.25.
  EXPECT_EQ(DecodedWide(Extensible(2, 32, 3), Floats({0.5f, -0.5f, 0.25f, -0.25f})),
            (Values{16384, 8192, -16384, -8192}));
  EXPECT_EQ(DecodedWide(FmtData(2, 48000, 24), {0, 1, 0, 0, 2, 0, 0, 3, 0, 0, 4, 0}),
            (Values{1, 3, 2, 4}));
}

TEST(WideFormats, LengthsCountWholeConvertedFrames) {
  // An incomplete trailing frame is dropped from the declared length and from the data.
  EXPECT_EQ(Encode(Wav(FmtData(2, 48000, 24), {Chunk("data", Repeat(6 * 3 + 4, 0))})).size(), 12u);
  // A data chunk that claims more than the file holds: zeros up to the converted length.
  const Bytes claimed = Encode(Wav(FmtData(1, 48000, 24), {Chunk("data", Repeat(9, 0), 3000)}));
  ASSERT_EQ(claimed.size(), 2000u);
  EXPECT_EQ(Bytes(claimed.begin() + 6, claimed.end()), Repeat(1994, 0));
}

TEST(WideFormats, FramesStayWholeAcrossBlockBoundaries) {
  // 6-byte frames do not divide the 128 KiB input buffer: the blocks must still hold whole frames.
  const std::size_t frames = 60007;
  Bytes data;
  for (std::size_t i = 0; i < frames; ++i) {
    for (std::uint32_t v :
         {static_cast<std::uint32_t>(i * 7919u), static_cast<std::uint32_t>(i * 104729u)}) {
      data.push_back(static_cast<std::uint8_t>(v >> 16));
      data.push_back(static_cast<std::uint8_t>(v));
      data.push_back(static_cast<std::uint8_t>(v >> 8));
    }
  }
  const Values decoded = DecodedWide(FmtData(2, 48000, 24), data);
  ASSERT_EQ(decoded.size(), 2 * frames);
  for (std::size_t i = 0; i < frames; ++i) {
    ASSERT_EQ(static_cast<std::uint16_t>(decoded[i]), static_cast<std::uint16_t>(i * 7919u)) << i;
    ASSERT_EQ(static_cast<std::uint16_t>(decoded[frames + i]),
              static_cast<std::uint16_t>(i * 104729u))
        << i;
  }
}

// The encoders as the format first described them, written out plainly to test the one-read
// encoder against: one pass per channel, each encoding its channel from the data chunk to the
// end of the file behind what the earlier pass left, then cutting or extending that to its
// length (the left sample to L / 2, the right one, or a mono one, to L).
struct Layout {
  int channels;
  int container;  // bytes of one sample: 1 (8-bit), 2 (16-bit), 3 (24-bit PCM)
};

Bytes TwoPassReference(const Bytes& wav, std::size_t data_offset, std::uint32_t declared,
                       Layout f) {
  const std::size_t frame = static_cast<std::size_t>(f.channels * f.container);
  // Converted formats count whole frames of 16-bit samples; the others keep the declared size.
  const std::size_t length = f.container == 3 ? declared / frame * 2 * f.channels : declared;
  Bytes out;
  for (int channel = 0; channel < f.channels; ++channel) {
    std::uint16_t previous = f.container == 1 ? 127 : 0xFFFF;
    for (std::size_t at = data_offset; at + frame <= wav.size(); at += frame) {
      const std::size_t p = at + static_cast<std::size_t>(channel * f.container);
      const std::size_t top = p + static_cast<std::size_t>(f.container) - 2;  // PCM's top 16 bits
      const std::uint16_t current = f.container == 1 ? wav[p] : wav[top] | wav[top + 1] << 8;
      const auto delta = static_cast<std::uint16_t>(previous - current);
      out.push_back(static_cast<std::uint8_t>(delta));
      if (f.container > 1) out.push_back(static_cast<std::uint8_t>(delta >> 8));
      previous = current;
    }
    out.resize(channel == 0 && f.channels == 2 ? length / 2 : length, 0);
  }
  return out;
}

TEST(StereoInOneRead, GivesWhatThePassesGaveForEveryLengthAndEveryFollowingChunk) {
  const Layout layouts[] = {{2, 1}, {2, 2}, {2, 3}, {1, 1}, {1, 2}};
  std::mt19937 random(20261207);
  auto bytes = [&random](std::size_t count) {
    Bytes b(count);
    for (std::uint8_t& v : b) v = static_cast<std::uint8_t>(random());
    return b;
  };
  struct Case {
    std::size_t held;       // data bytes in the file
    std::int64_t declared;  // the data chunk's size field; -1: what it holds
    std::size_t trailer;    // bytes of a chunk after the data
  };
  std::vector<Case> cases = {
      {0, -1, 0},
      {1, -1, 0},
      {5, -1, 0},
      {10, -1, 0},
      {11, -1, 9},
      {12, 1000, 0},
      {1000, 601, 0},
      {1000, 5, 40},
      {7, 3, 0},
      {8, 0, 12},
      {40, 0xFFFFFFFF, 0},  // streamed: the data runs to the
                            // end of the file
      {300001, -1, 33},     // several blocks, then a chunk
      {262147, 140001, 0},  // declared less than held, cut inside a block
  };
  for (int i = 0; i < 40; ++i) {
    const std::size_t held = random() % 5000;
    cases.push_back({held, random() % 3 == 0 ? -1 : static_cast<std::int64_t>(random() % 6000),
                     random() % 2 == 0 ? 0 : random() % 50});
  }
  for (const Layout& f : layouts) {
    for (const Case& c : cases) {
      std::vector<Bytes> chunks{Chunk("data", bytes(c.held), c.declared)};
      if (c.trailer > 0) chunks.push_back(Chunk("JUNK", bytes(c.trailer)));
      const Bytes fmt = FmtData(static_cast<std::uint16_t>(f.channels), 44100,
                                static_cast<std::uint16_t>(8 * f.container));
      Bytes wav = Wav(fmt, {});
      for (const Bytes& chunk : chunks) wav.insert(wav.end(), chunk.begin(), chunk.end());
      const std::uint32_t declared = c.declared < 0 ? static_cast<std::uint32_t>(c.held)
                                     : c.declared > 0x7FFFFFFF
                                         ? static_cast<std::uint32_t>(wav.size() - 44)
                                         : static_cast<std::uint32_t>(c.declared);
      ASSERT_EQ(Encode(wav), TwoPassReference(wav, 44, declared, f))
          << f.channels << "x" << f.container << " held " << c.held << " declared " << c.declared
          << " trailer " << c.trailer;
    }
  }
}

}  // namespace
}  // namespace brumlet
