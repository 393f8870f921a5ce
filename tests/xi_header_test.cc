#include "xi/xi_header.h"

#include <gtest/gtest.h>

#include <cmath>

#include "convert.h"
#include "fake_platform.h"
#include "riff_builder.h"
#include "wav/wav_data.h"
#include "xi/instrument_writer.h"
#include "xi/pitch.h"
#include "xi/sampleinit.h"
#include "xi_expect.h"

namespace brumlet {
namespace {

using namespace brumlet::testing;

const Bytes kUnusedSlot = ExpectedSampleHeader(0, 0, 0, 0, 0, 128, 0);

// The header image the plain conversion writes for `info`, unnamed, over a source without data.
Bytes Image(const WavInfo& info) {
  Faults none;
  MemFile source(std::make_shared<MemNode>(), none);
  MemFile output(std::make_shared<MemNode>(), none);
  AdpcmBuffers adpcm;
  WavData data(source, info, adpcm);
  XiHeaderBlock image;
  image.bytes.fill(0xEE);  // rebuilt from nothing: nothing of this may survive
  EncoderBuffers buffers;
  WriteInstrument(DescribeConversion(WavSamples(info, StereoHandling::kSplit, data), {}, 0), {},
                  output, image, buffers);
  return Bytes(image.bytes.begin(), image.bytes.end());
}

Bytes Expected(bool stereo, std::initializer_list<Bytes> slots) {
  Bytes b = ExpectedInstrumentHeader(stereo, "", static_cast<int>(slots.size()));
  int used = 0;
  for (const Bytes& slot : slots) {
    b.insert(b.end(), slot.begin(), slot.end());
    ++used;
  }
  for (; used < 16; ++used) b.insert(b.end(), kUnusedSlot.begin(), kUnusedSlot.end());
  return b;
}

TEST(ConversionHeader, MonoEightBitWithoutLoop) {
  WavInfo info;
  info.SampleRate = 8363;
  info.BitsPerSample = 8;
  info.DataLength = 1234;
  EXPECT_EQ(Image(info), Expected(false, {ExpectedSampleHeader(1234, 0, 0, 0, 0, 128, -12)}));
}

TEST(ConversionHeader, StereoSixteenBitForwardLoopSplitsIntoLeftAndRight) {
  WavInfo info;
  info.Stereo = true;
  info.Encoding = SampleEncoding::kSigned16;
  info.SampleRate = 44100;
  info.DataLength = 40001;  // odd: each half rounds down
  info.LoopType = LoopKind::Forward;
  info.LoopStart = 1000;
  info.LoopEnd = 1999;
  EXPECT_EQ(Image(info),
            Expected(true, {ExpectedSampleHeader(20000, 2000, 2000, -28, 17, 0, 17),
                            ExpectedSampleHeader(20000, 2000, 2000, -28, 17, 255, 5)}));
}

TEST(ConversionHeader, LoopTypeAndWidthGiveTheSampleType) {
  auto slot0 = [](LoopKind loop, bool sixteen, std::int32_t start, std::int32_t end) {
    WavInfo info;
    info.SampleRate = 8363;
    info.Encoding = sixteen ? SampleEncoding::kSigned16 : SampleEncoding::kUnsigned8;
    info.LoopType = loop;
    info.LoopStart = start;
    info.LoopEnd = end;
    const Bytes image = Image(info);
    return Bytes(image.begin() + 298, image.begin() + 338);
  };
  EXPECT_EQ(slot0(LoopKind::PingPong, true, 10, 19),
            ExpectedSampleHeader(0, 20, 20, 0, 18, 128, -12));
  EXPECT_EQ(slot0(LoopKind::PingPong, false, 10, 19),
            ExpectedSampleHeader(0, 10, 10, 0, 2, 128, -12));
  // A backward loop (2), which XI cannot express, loops forward.
  EXPECT_EQ(slot0(static_cast<LoopKind>(2), false, 3, 4),
            ExpectedSampleHeader(0, 3, 2, 0, 1, 128, -12));
  // A loop of one frame is one sample long.
  EXPECT_EQ(slot0(LoopKind::Forward, true, 7, 7), ExpectedSampleHeader(0, 14, 2, 0, 17, 128, -12));
  // Loop points are not checked: an end before the start gives a negative length.
  EXPECT_EQ(slot0(LoopKind::Forward, false, 10, 5),
            ExpectedSampleHeader(0, 10, -4, 0, 1, 128, -12));
}

TEST(ConversionHeader, ConvertedSourcesAreSixteenBitSamplesOfTheirWholeFrames) {
  WavInfo info;
  info.Stereo = true;
  info.BitsPerSample = 24;
  info.Encoding = SampleEncoding::kSigned24;
  info.SampleRate = 8363;
  info.DataLength = 6 * 100 + 5;  // 100 frames and a piece of one
  info.LoopType = LoopKind::Forward;
  info.LoopStart = 10;
  info.LoopEnd = 19;
  // 200 bytes per channel; loop offsets counted in 16-bit samples, not 24-bit ones.
  EXPECT_EQ(Image(info), Expected(true, {ExpectedSampleHeader(200, 20, 20, 0, 17, 0, -12),
                                         ExpectedSampleHeader(200, 20, 20, 0, 17, 255, -24)}));
  info.Stereo = false;
  info.Encoding = SampleEncoding::kFloat64;
  info.DataLength = 8 * 7;
  const Bytes image = Image(info);
  EXPECT_EQ(Bytes(image.begin() + 298, image.begin() + 338),
            ExpectedSampleHeader(14, 20, 20, 0, 17, 128, -12));
  // Mono IMA ADPCM in blocks of 36 bytes, 65 frames each: two blocks and 10 bytes that hold 9.
  info.Encoding = SampleEncoding::kSigned16;
  info.Adpcm = {AdpcmKind::Ima, 36, {}};
  info.DataLength = 82;
  const Bytes adpcm = Image(info);
  EXPECT_EQ(Bytes(adpcm.begin() + 298, adpcm.begin() + 338),
            ExpectedSampleHeader(2 * 139, 20, 20, 0, 17, 128, -12));
}

TEST(ComputePitch, MatchesTheWorkedTable) {
  struct Row {
    std::int32_t rate;
    int note, finetune;
  };
  for (Row row : {Row{8000, -13, 30}, Row{8363, -12, 0}, Row{11025, -7, -28}, Row{22050, 5, -28},
                  Row{44100, 17, -28}, Row{48000, 18, 32}, Row{1000, -49, 30}}) {
    const Pitch p = ComputePitch(row.rate);
    EXPECT_EQ(p.relative_note, row.note) << row.rate;
    EXPECT_EQ(p.finetune, row.finetune) << row.rate;
  }
}

TEST(ComputePitch, SplitsEveryRateIntoNearestSemitoneAndRemainder) {
  for (std::int32_t rate = 11; rate <= 400000; ++rate) {
    const double s = 12.0 * std::log2(rate / 1045.375);
    const Pitch p = ComputePitch(rate);
    ASSERT_NEAR(p.relative_note * 128 + p.finetune, (s - 48) * 128, 1.0) << rate;
    ASSERT_GE(p.finetune, -64) << rate;
    ASSERT_LE(p.finetune, 64) << rate;
  }
}

TEST(ComputePitch, RatesWithoutALogarithmFaultAsInvalidOperation) {
  for (std::int32_t rate : {0, -1, std::numeric_limits<std::int32_t>::min()}) {
    try {
      ComputePitch(rate);
      ADD_FAILURE() << rate;
    } catch (const RunFailure& failure) {
      EXPECT_EQ(failure.class_name(), "EInvalidOp");
      EXPECT_EQ(FormatFailureReport(failure, "brumlet"),
                "Exception EInvalidOp in module brumlet at 00000501.\n"
                "Invalid floating point operation.\n");
    }
  }
}

TEST(NameStoring, InstrumentNamesArePaddedWithBlanksSampleNamesWithZeros) {
  XiHeaderBlock image;
  InitHeaderImage(image);
  SetInstrumentName(image, "abcdefghijklmnopqrstuvwxyz0123");
  EXPECT_EQ(std::string(image.bytes.begin() + 21, image.bytes.begin() + 44),
            "abcdefghijklmnopqrstuv\x1A");
  InitHeaderImage(image);
  SetInstrumentName(image, "Piano");
  EXPECT_EQ(std::string(image.bytes.begin() + 21, image.bytes.begin() + 43),
            "Piano                 ");

  XiSampleHeader slot3 = SampleHeaderAt(image, 3);
  SetSampleName(slot3, "a name that is far too long");
  EXPECT_EQ(slot3[17], 22);
  EXPECT_EQ(std::string(slot3.begin() + 18, slot3.end()), "a name that is far too");
  SetSampleName(slot3, "Bass");
  EXPECT_EQ(slot3[17], 4);
  EXPECT_EQ(std::string(slot3.begin() + 18, slot3.end()),
            std::string("Bass") + std::string(18, '\0'));
  SetSampleName(slot3, "");
  EXPECT_EQ(slot3[17], 0);
  EXPECT_EQ(std::string(slot3.begin() + 18, slot3.end()), std::string(22, '\0'));
}

// A UTF-8 name is cut after its last whole character, never inside one; a name in a legacy code
// page (not valid UTF-8) at 22 bytes as ever.
TEST(NameStoring, UtfEightNamesAreCutBetweenCharacters) {
  const struct {
    std::string name, stored;
  } cases[] = {
      {"Schlagzeug \u2013 Bass \U0001F941 tief",
       "Schlagzeug \u2013 Bass "},  // 24 bytes to the emoji
      {"Schlagzeug \u2013 Bas\U0001F941", "Schlagzeug \u2013 Bas\U0001F941"},  // 22: fits whole
      {"Gro\xdf\xe9 Trommel, sehr laut!", "Gro\xdf\xe9 Trommel, sehr la"},     // Latin-1
      {"abc\xc3 broken and longer than 22", "abc\xc3 broken and longer"},
  };
  for (const auto& c : cases) {
    XiHeaderBlock image;
    InitHeaderImage(image);
    XiSampleHeader slot = SampleHeaderAt(image, 0);
    SetSampleName(slot, c.name);
    EXPECT_EQ(std::string(slot.begin() + 18, slot.begin() + 18 + slot[17]), c.stored) << c.name;
    SetInstrumentName(image, c.name);
    EXPECT_EQ(std::string(image.bytes.begin() + 21, image.bytes.begin() + 21 + c.stored.size()),
              c.stored);
  }
}

TEST(WriteHeaderImage, WritesTheCountAndThatManySampleHeaders) {
  // Never fewer headers than samples with sound: one for mono, two for stereo.
  struct Case {
    std::uint8_t sample_count;
    bool stereo;
    int written;
  };
  for (Case c : {Case{3, false, 3}, Case{0, false, 1}, Case{0, true, 2}, Case{1, true, 2},
                 Case{16, false, 16}}) {
    const Instrument described =
        DescribeConversion(std::vector<InstrumentSample>(c.stereo ? 2 : 1), {}, c.sample_count);
    ASSERT_EQ(described.samples.size(), static_cast<std::size_t>(c.written));
    XiHeaderBlock image;
    InitHeaderImage(image);
    Faults none;
    auto node = std::make_shared<MemNode>();
    MemFile out(node, none);
    EXPECT_EQ(WriteHeaderImage(c.written, image, out), 298 + 40 * c.written);
    ASSERT_EQ(node->bytes.size(), 298u + 40u * c.written);
    EXPECT_EQ(node->bytes[296] | node->bytes[297] << 8, c.written);
    EXPECT_TRUE(
        std::equal(node->bytes.begin() + 298, node->bytes.end(), image.bytes.begin() + 298));
  }
}

}  // namespace
}  // namespace brumlet
