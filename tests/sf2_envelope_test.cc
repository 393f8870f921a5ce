// SoundFont envelopes and vibrato as XI ones, worked out by hand: 50 ticks a second, seconds =
// 2^(timecents / 1200), the decay crossing 96 dB in its time, values 64 x 10^(-dB/20).
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "sampler/envelope_mapping.h"

namespace brumlet {
namespace {

struct EnvelopeCase {
  const char* what;
  EnvelopeGenerators generators;
  std::vector<xi::EnvelopePoint> points;
  int fade_out;
  bool held;
};

TEST(Sf2Envelope, PhasesBecomePointsAndTheReleaseAFadeOut) {
  // clang-format off
  const EnvelopeCase cases[] = {
      {"defaults", {}, {{0, 64}}, 4095, false},
      {"1 s attack, 19.2 dB down over 0.2 s, 1 s release",
       {.attack_vol_env = 0, .decay_vol_env = 0, .sustain_vol_env = 200, .release_vol_env = 0},
       {{0, 0}, {50, 64}, {51, 49}, {53, 37}, {54, 28}, {55, 21}, {56, 16}, {58, 12}, {59, 9},
        {60, 7}}, 2031, false},
      {"0.5 s of silence, then the peak at once; 2 s release",
       {.delay_vol_env = -1200, .release_vol_env = 1200}, {{0, 0}, {24, 0}, {25, 64}}, 1015, false},
      {"96 dB in 2 s to silence, drawn down to -42 dB",
       {.decay_vol_env = 1200, .sustain_vol_env = 1000},
       {{0, 64}, {6, 35}, {11, 19}, {17, 10}, {22, 6}, {28, 3}, {33, 2}, {39, 1}, {44, 0}}, 4095,
       false},
      {"8 s attack, cut at tick 324 (6.48 s) at the level it has reached",
       {.attack_vol_env = 3600}, {{0, 0}, {324, 52}}, 4095, true},
      {"96 dB in 20 s: the exact curve to tick 324, 31.1 dB down, held there",
       {.decay_vol_env = 5186, .sustain_vol_env = 1000},
       {{0, 64}, {41, 41}, {81, 26}, {122, 17}, {162, 11}, {203, 7}, {243, 4}, {284, 3},
        {324, 2}}, 4095, true},
      {"release past its range", {.release_vol_env = 9000}, {{0, 64}}, 20, false},
  };
  // clang-format on
  for (const EnvelopeCase& c : cases) {
    SCOPED_TRACE(c.what);
    const EnvelopeMapping mapping = MapEnvelope(c.generators);
    const xi::VolumeEnvelope& v = mapping.volume;
    ASSERT_EQ(v.count, c.points.size());
    EXPECT_EQ(std::vector<xi::EnvelopePoint>(v.points.begin(), v.points.begin() + v.count),
              c.points);
    EXPECT_EQ(v.sustain, v.count - 1);
    EXPECT_EQ(v.flags, xi::envelope_flag::kOn | xi::envelope_flag::kSustain);
    EXPECT_EQ(v.fade_out, c.fade_out);
    EXPECT_EQ(mapping.held, c.held);
  }
}

TEST(Sf2Envelope, VibratoDelayDepthAndFrequencyInTheXiUnitsAndRanges) {
  const std::pair<EnvelopeGenerators, xi::AutoVibrato> cases[] = {
      // 0.5 s, 8.176 Hz, 20 cents / 1.5625 as type, sweep, depth, rate
      {{.delay_vib_lfo = -1200, .vib_lfo_to_pitch = 20}, {0, 25, 13, 42}},
      {{.vib_lfo_to_pitch = 1}, {0, 0, 1, 42}},  // the least depth there is
      // 18 s, 110 Hz, 30 cents the other way: all clamped
      {{.delay_vib_lfo = 5000, .freq_vib_lfo = 4500, .vib_lfo_to_pitch = -30}, {0, 255, 15, 63}},
      // a frequency of 0.0008 Hz still moves
      {{.delay_vib_lfo = 0, .freq_vib_lfo = -16000, .vib_lfo_to_pitch = 50}, {0, 50, 15, 1}},
      {{.delay_vib_lfo = 0, .freq_vib_lfo = 0}, {}},  // no depth, no vibrato
  };
  for (const auto& [generators, expected] : cases) {
    EXPECT_EQ(MapEnvelope(generators).vibrato, expected) << generators.delay_vib_lfo;
  }
}

}  // namespace
}  // namespace brumlet
