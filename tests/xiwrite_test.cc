#include "xi/xiwrite.h"

#include <gtest/gtest.h>

#include "fake_platform.h"
#include "riff_builder.h"
#include "wav/scan_wav.h"

namespace brumlet {
namespace {

using namespace brumlet::testing;

constexpr std::int64_t kHeader = 338;

// Scans `wav`, then runs the encoder passes behind a header of kHeader bytes; returns what the
// passes left behind the header.
Bytes Encode(const Bytes& wav) {
  Faults none;
  auto source_node = std::make_shared<MemNode>();
  source_node->bytes = wav;
  auto output_node = std::make_shared<MemNode>();
  output_node->bytes.assign(kHeader, 'H');
  MemFile source(source_node, none);
  MemFile output(output_node, none);
  WavInfo info;
  SmplImage smpl;
  ScanWav(source, "x.wav", info, smpl);
  output.Seek(kHeader, Site::kOutputSeek);
  EncoderBuffers buffers;
  EncodeJob job{source, output, info.DataOffset, info.DataLength, kHeader, buffers};
  EncodeSampleData(job, info.Stereo, info.SixteenBit);
  EXPECT_EQ(output.Position(Site::kOutputSeek),
            static_cast<std::int64_t>(output_node->bytes.size()));
  EXPECT_EQ(Bytes(output_node->bytes.begin(), output_node->bytes.begin() + kHeader),
            Bytes(kHeader, 'H'));
  return Bytes(output_node->bytes.begin() + kHeader, output_node->bytes.end());
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

TEST(Encoders, TwentyFourBitMonoGoesThroughTheEightBitPathByteByByte) {
  EXPECT_EQ(Encode(Wav(FmtData(1, 48000, 24), {Chunk("data", {0x80, 0x81, 0x7F})})),
            (Bytes{0xFF, 0xFF, 0x02}));
}

// Decodes XI delta data the standard way: a running sum from 0.
template <typename Word>
std::vector<Word> Decode(const Bytes& data, std::size_t offset, std::size_t count) {
  std::vector<Word> values;
  Word sum = 0;
  for (std::size_t i = 0; i < count; ++i) {
    Word delta = sizeof(Word) == 2
                     ? static_cast<Word>(data[offset + 2 * i] | data[offset + 2 * i + 1] << 8)
                     : static_cast<Word>(data[offset + i]);
    sum = static_cast<Word>(sum + delta);
    values.push_back(sum);
  }
  return values;
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
  const auto dm8 = Decode<std::uint8_t>(m8, 0, frames);
  const auto dl8 = Decode<std::uint8_t>(s8, 0, frames);
  const auto dr8 = Decode<std::uint8_t>(s8, frames, frames);
  const auto dm16 = Decode<std::uint16_t>(m16, 0, frames);
  const auto dl16 = Decode<std::uint16_t>(s16, 0, frames);
  const auto dr16 = Decode<std::uint16_t>(s16, 2 * frames, frames);
  for (std::size_t i = 0; i < frames; ++i) {
    ASSERT_EQ(dm8[i], mono8[i] ^ 0x7F) << i;
    ASSERT_EQ(dl8[i], stereo8[2 * i] ^ 0x7F) << i;
    ASSERT_EQ(dr8[i], stereo8[2 * i + 1] ^ 0x7F) << i;
    ASSERT_EQ(dm16[i], static_cast<std::uint16_t>(~(mono16[2 * i] | mono16[2 * i + 1] << 8))) << i;
    ASSERT_EQ(dl16[i], static_cast<std::uint16_t>(~(stereo16[4 * i] | stereo16[4 * i + 1] << 8)))
        << i;
    ASSERT_EQ(dr16[i],
              static_cast<std::uint16_t>(~(stereo16[4 * i + 2] | stereo16[4 * i + 3] << 8)))
        << i;
  }
}

TEST(Encoders, FailedWritesAndCutsEndThePassWithTheirReport) {
  for (Site site : {Site::kSampleRead, Site::kSampleWrite, Site::kOutputTruncate}) {
    Faults faults{{site, ENOSPC}};
    auto source_node = std::make_shared<MemNode>();
    source_node->bytes = Wav(kMono8, {Chunk("data", Repeat(10, 0x80))});
    auto output_node = std::make_shared<MemNode>();
    MemFile source(source_node, faults);
    MemFile output(output_node, faults);
    EncoderBuffers buffers;
    EncodeJob job{source, output, 44, 10, 0, buffers};
    try {
      EncodeMono8(job);
      ADD_FAILURE();
    } catch (const RunFailure& failure) {
      EXPECT_STREQ(failure.what(), "Disk full");
      EXPECT_EQ(failure.site(), site);
    }
  }
}

}  // namespace
}  // namespace brumlet
