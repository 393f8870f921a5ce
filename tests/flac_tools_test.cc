// FLAC files that flac and ffmpeg write, from PCM sox makes, decoded by our decoder and by
// `flac -d`: equal sample for sample at full precision, and the 16-bit samples the converter
// takes equal to flac's own samples reduced as a WAV's are.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "flac/flac_decoder.h"
#include "platform/posix_platform.h"
#include "program_test.h"
#include "players.h"

namespace brumlet {
namespace {

using namespace brumlet::testing;
using brumlet::measure::MissingTool;

class FlacTools : public ProgramTest {
 public:
  // `flac -d`'s samples of `name`: raw, signed little-endian, whole bytes a sample.
  std::vector<std::int32_t> Reference(const std::string& name, int bits) {
    EXPECT_TRUE(
        Shell("flac -d -s -f --force-raw-format --endian=little --sign=signed -o ref.raw " + name));
    const std::string raw = Read("ref.raw");
    const int bytes = (bits + 7) / 8;
    std::vector<std::int32_t> samples;
    for (std::size_t i = 0; i + bytes <= raw.size(); i += bytes) {
      std::uint32_t v = 0;
      for (int b = 0; b < bytes; ++b)
        v |= std::uint32_t{static_cast<std::uint8_t>(raw[i + b])} << (8 * b);
      const int unused = 32 - 8 * bytes;
      samples.push_back(static_cast<std::int32_t>(v << unused) >> unused);
    }
    return samples;
  }

  // Our samples of `name`, at full precision (`T` = int32) or 16-bit.
  template <typename T>
  std::vector<T> Ours(const std::string& name, flac::StreamInfo* info = nullptr) {
    PosixPlatform platform;
    const std::unique_ptr<File> file = platform.OpenRead((dir_ / name).string(), Site::kSourceOpen);
    flac::Decoder decoder(*file, Site::kSampleRead);
    EXPECT_TRUE(decoder.Open().ok()) << name;
    if (info != nullptr) *info = decoder.info();
    std::vector<T> samples, block(decoder.max_block_samples());
    while (const std::size_t frames = decoder.DecodeFrame(std::span<T>(block))) {
      samples.insert(samples.end(), block.begin(),
                     block.begin() + frames * decoder.info().channels);
    }
    EXPECT_TRUE(decoder.status().ok()) << name << ": " << decoder.status().Reason();
    return samples;
  }
};

TEST_F(FlacTools, DecodesWhatFlacAndFfmpegWriteAsFlacDoes) {
  for (const char* tool : {"sox", "flac", "ffmpeg"}) {
    if (!MissingTool(tool, tool).empty()) GTEST_SKIP() << MissingTool(tool, tool);
  }
  const struct {
    int bits, channels, rate;
    std::string synth;
    int made_at = 0;  ///< the width sox makes the sound at, when narrower: wasted bits
  } sources[] = {
      {8, 1, 11025, "sine 300"},
      {16, 2, 7350, "sine 300 square 200"},
      {16, 2, 44100, "pluck 220 pluck 330"},
      {16, 1, 8000, "whitenoise"},
      {24, 2, 22050, "sine 1000 pinknoise", 16},
      {24, 2, 48000, "sine 440 sine 660"},
      {24, 1, 96000, "brownnoise"},
      {32, 2, 100000, "sine 200 whitenoise"},
  };
  // flac's levels, odd and tiny blocks (8- and 16-bit block size codes), orders up to 32;
  // ffmpeg's frame layouts, every stereo mode. Neither writes escaped partitions, which the unit
  // tests cover.
  const std::string flac_settings[] = {"-0",
                                       "-5",
                                       "-8",
                                       "--lax -8 -b 4609 -l 32",
                                       "-b 192",
                                       "--lax -b 16 -l 12",
                                       "--lax -b 65535 -l 32 -r 15"};
  const std::string ffmpeg_settings[] = {
      "-compression_level 12", "-compression_level 0 -frame_size 1000", "-ch_mode left_side",
      "-ch_mode right_side", "-ch_mode mid_side -lpc_type cholesky -lpc_passes 2"};
  for (const auto& s : sources) {
    const auto format = [&s](int bits) {
      return "-t s" + std::to_string(bits) + " -r " + std::to_string(s.rate) + " -c " +
             std::to_string(s.channels);
    };
    const std::string name = std::to_string(s.bits) + "-" + std::to_string(s.rate);
    ASSERT_TRUE(Shell("sox -R -n " + format(s.made_at > 0 ? s.made_at : s.bits) +
                      " made.raw synth 0.3 " + s.synth + " vol 0.9 2>/dev/null"));
    ASSERT_TRUE(Shell("sox " + format(s.made_at > 0 ? s.made_at : s.bits) + " made.raw " +
                      format(s.bits) + " in.raw"));
    const std::string pcm = "--force-raw-format --endian=little --sign=signed --channels=" +
                            std::to_string(s.channels) + " --bps=" + std::to_string(s.bits) +
                            " --sample-rate=" + std::to_string(s.rate);
    std::vector<std::string> files;
    for (std::size_t i = 0; i < std::size(flac_settings); ++i) {
      files.push_back(name + "-flac" + std::to_string(i) + ".flac");
      ASSERT_TRUE(
          Shell("flac -s -f " + pcm + " " + flac_settings[i] + " -o " + files.back() + " in.raw"));
    }
    // ffmpeg codes 8-bit input as 16-bit.
    for (std::size_t i = 0; i < std::size(ffmpeg_settings); ++i) {
      if (s.channels == 1 && i >= 2) break;
      files.push_back(name + "-ffmpeg" + std::to_string(i) + ".flac");
      const std::string endian = s.bits > 8 ? "le" : "";
      ASSERT_TRUE(Shell("ffmpeg -loglevel error -y -f s" + std::to_string(s.bits) + endian +
                        " -ar " + std::to_string(s.rate) + " -ac " + std::to_string(s.channels) +
                        " -i in.raw -c:a flac " + ffmpeg_settings[i] + " " + files.back()));
    }
    for (const std::string& file : files) {
      SCOPED_TRACE(file);
      flac::StreamInfo info;
      const std::vector<std::int32_t> ours = Ours<std::int32_t>(file, &info);
      const std::vector<std::int32_t> reference = Reference(file, info.bits_per_sample);
      ASSERT_EQ(ours.size(), reference.size());
      EXPECT_TRUE(ours == reference);
      EXPECT_EQ(info.channels, s.channels);
      const int shift = info.bits_per_sample - 16;
      std::vector<std::int16_t> reduced;
      for (std::int32_t v : reference) {
        reduced.push_back(static_cast<std::int16_t>(shift >= 0 ? v >> shift : v * (1 << -shift)));
      }
      EXPECT_TRUE(Ours<std::int16_t>(file) == reduced);
    }
  }
}

}  // namespace
}  // namespace brumlet
