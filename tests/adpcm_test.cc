#include "wav/adpcm.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace brumlet {
namespace {

using Samples = std::vector<std::int16_t>;

TEST(AdpcmBlocks, ImaStereoBlockWorkedByHand) {
  // Headers: the left channel starts from 0 at step index 0, the right from -32768 at index 88.
  // Then four code bytes of each channel in turn, low nibble first: left 7, 11, 0, 4, 0, 0, 0, 0;
  // right 15, 0, 0, ...
  const std::vector<Byte> block = {0, 0, 0, 0, 0x00, 0x80, 88, 0, 0xB7, 0x40, 0, 0, 0x0F, 0, 0, 0};
  // Left: 7 at step 7 adds (2 x 7 + 1) x 7 / 8 = 13 (the sum of step/8 .. step: 11), index 8;
  // 11 at step 16 takes 7 x 16 / 8 = 14 off; then each 0 adds step / 8 a step lower, 4 adds 14.
  // Right: 15 falls below -32768 and is held there; each 0 adds step / 8 from index 88 down.
  Samples out(64);
  ASSERT_EQ(DecodeImaAdpcmBlock(block, 2, out), 9u);
  out.resize(18);
  EXPECT_EQ(out, (Samples{0, -32768, 13, -32768, -1, -28673, 0, -24949, 14, -21564, 16, -18487, 17,
                          -15689, 18, -13146, 19, -10834}));
}

TEST(AdpcmBlocks, MsMonoBlockWorkedByHand) {
  // Pair 3 (192, 64), delta 16, sample1 -100, sample2 1; codes 7, -1, -8, 0 (high nibble first).
  // 7: (-100 x 192 + 64) / 256 = -74.75, truncated to -74, + 7 x 16 = 38; delta 16 x 614 / 256
  // = 38. -1: 896 / 256 = 3, - 38 = -35; delta 34. -8: -16.75 gives -16, - 272 = -288; delta 102.
  // 0: -224.75 gives -224.
  const std::vector<Byte> block = {3, 16, 0, 0x9C, 0xFF, 1, 0, 0x7F, 0x80};
  Samples out(64);
  ASSERT_EQ(DecodeMsAdpcmBlock(block, 1, StandardMsAdpcmCoefficients(), out), 6u);
  out.resize(6);
  EXPECT_EQ(out, (Samples{1, -100, 38, -35, -288, -224}));
}

TEST(AdpcmBlocks, DamagedMsDeltasGrowWithoutOverflow) {
  // Code 8 triples the delta each time: unbounded, it would overflow within twenty codes.
  std::vector<Byte> block = {0, 0xFF, 0x7F, 0, 0, 0, 0};
  block.resize(200, 0x88);
  Samples out(kMaxBlockSamples);
  ASSERT_EQ(DecodeMsAdpcmBlock(block, 1, StandardMsAdpcmCoefficients(), out), 388u);
  EXPECT_EQ(out[387], -32768);
}

TEST(AdpcmBlocks, PartialBlocksHoldTheFramesTheirBytesReach) {
  // Bytes, channels, then the frames of IMA and of Microsoft ADPCM.
  for (const auto& [size, channels, ima, ms] : std::vector<std::array<int, 4>>{
           {3, 1, 0, 0}, {4, 1, 1, 0}, {7, 1, 1, 2}, {8, 1, 9, 4}, {13, 2, 1, 0}, {15, 2, 1, 3}}) {
    EXPECT_EQ(ImaAdpcmFrames(size, channels), ima) << size << " bytes";
    EXPECT_EQ(MsAdpcmFrames(size, channels), ms) << size << " bytes";
  }
}

}  // namespace
}  // namespace brumlet
