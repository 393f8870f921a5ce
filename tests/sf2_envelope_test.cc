// The SoundFont volume envelope and vibrato as an XI envelope, fade-out and auto-vibrato. The
// expected points are worked out by hand from the SoundFont's definitions: 50 ticks a second,
// seconds = 2^(timecents / 1200), the decay falling 100 dB in its time, values 64 x 10^(-dB/20).
#include <gtest/gtest.h>

#include <vector>

#include "sf2/envelope.h"

namespace brumlet {
namespace {

struct EnvelopeCase {
  const char* what;
  Sf2EnvelopeGenerators generators;
  std::vector<xi::EnvelopePoint> points;
  int fade_out;
  bool compressed;
};

TEST(Sf2Envelope, PhasesBecomePointsAndTheReleaseAFadeOut) {
  Sf2EnvelopeGenerators defaults;
  Sf2EnvelopeGenerators decaying;  // 1 s attack, 20 dB down over 0.2 s, 1 s release
  decaying.attack_vol_env = 0;
  decaying.decay_vol_env = 0;
  decaying.sustain_vol_env = 200;
  decaying.release_vol_env = 0;
  Sf2EnvelopeGenerators delayed;  // 0.5 s of silence, then at once at the peak; 2 s release
  delayed.delay_vol_env = -1200;
  delayed.release_vol_env = 1200;
  Sf2EnvelopeGenerators dying;  // falls to silence, 100 dB in 2 s: drawn down to -42 dB
  dying.decay_vol_env = 1200;
  dying.sustain_vol_env = 1000;
  Sf2EnvelopeGenerators slow;  // an 8 s attack, squeezed into 325 ticks
  slow.attack_vol_env = 3600;
  Sf2EnvelopeGenerators beyond = slow;  // every value past its range, clamped into it
  beyond.attack_vol_env = 9000;
  beyond.sustain_vol_env = -5;
  beyond.release_vol_env = 9000;
  Sf2EnvelopeGenerators instant_release;
  instant_release.release_vol_env = -20000;
  const EnvelopeCase cases[] = {
      {"defaults", defaults, {{0, 64}}, 4095, false},
      {"decaying",
       decaying,
       {{0, 0}, {50, 64}, {51, 48}, {53, 36}, {54, 27}, {55, 20}, {56, 15}, {58, 11}, {59, 9},
        {60, 6}},
       2115,
       false},
      {"delayed", delayed, {{0, 0}, {24, 0}, {25, 64}}, 1058, false},
      {"dying",
       dying,
       {{0, 64}, {5, 35}, {11, 19}, {16, 10}, {21, 6}, {26, 3}, {32, 2}, {37, 1}, {42, 0}},
       4095,
       false},
      {"slow", slow, {{0, 0}, {325, 64}}, 4095, true},
      {"beyond", beyond, {{0, 0}, {325, 64}}, 21, true},
      {"instant release", instant_release, {{0, 64}}, 4095, false},
  };
  for (const EnvelopeCase& c : cases) {
    SCOPED_TRACE(c.what);
    const XiEnvelopeMapping mapping = MapSf2Envelope(c.generators);
    const xi::VolumeEnvelope& v = mapping.volume;
    ASSERT_EQ(v.count, c.points.size());
    EXPECT_EQ(std::vector<xi::EnvelopePoint>(v.points.begin(), v.points.begin() + v.count),
              c.points);
    EXPECT_EQ(v.sustain, v.count - 1);
    EXPECT_EQ(v.flags, xi::envelope_flag::kOn | xi::envelope_flag::kSustain);
    EXPECT_EQ(v.fade_out, c.fade_out);
    EXPECT_EQ(mapping.compressed, c.compressed);
  }
}

TEST(Sf2Envelope, VibratoDelayDepthAndFrequencyInTheXiUnitsAndRanges) {
  struct Case {
    int delay, frequency, to_pitch;
    xi::AutoVibrato expected;  // type, sweep, depth, rate
  };
  const Case cases[] = {
      {-1200, 0, 20, {0, 25, 13, 42}},      // 0.5 s, 8.176 Hz, 20 cents / 1.5625
      {-12000, 0, 1, {0, 0, 1, 42}},        // the least depth there is
      {5000, 4500, -30, {0, 255, 15, 63}},  // 18 s, 110 Hz, 30 cents the other way: all clamped
      {0, -16000, 50, {0, 50, 15, 1}},      // a frequency of 0.0008 Hz still moves
      {0, 0, 0, {}},                        // no depth, no vibrato
  };
  for (const Case& c : cases) {
    Sf2EnvelopeGenerators g;
    g.delay_vib_lfo = c.delay;
    g.freq_vib_lfo = c.frequency;
    g.vib_lfo_to_pitch = c.to_pitch;
    EXPECT_EQ(MapSf2Envelope(g).vibrato, c.expected) << c.delay << " " << c.frequency;
  }
}

}  // namespace
}  // namespace brumlet
