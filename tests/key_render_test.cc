// The kit renderer measured as sound: sines through the resampler (gain, and everything else that
// comes out), pitch by zero crossings, envelope levels on a DC, the filter's response, and the
// layout rules worked out by hand at rates where they come out round.
#include "sampler/key_render.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <numbers>
#include <vector>

#include "sampler/biquad.h"
#include "sampler/resampler.h"

namespace brumlet::sampler {
namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;

double Db(double ratio) { return 20 * std::log10(ratio); }

std::vector<std::int16_t> Tone(std::size_t frames, double cycles_per_frame, double level = 0.9) {
  std::vector<std::int16_t> v(frames);
  for (std::size_t n = 0; n < frames; ++n) {
    v[n] = static_cast<std::int16_t>(
        std::lround(level * 32767 * std::sin(kTwoPi * cycles_per_frame * n)));
  }
  return v;
}

// The loop holds whole cycles of the tone; after it lies full-scale noise the read must not see.
// Steps run linearly from `from` to `to`; one constant step is read as a render reads it, from a
// copy laid out for it. Returns, in dB, the gain, the RMS of what is not the tone (its
// least-squares fit at the ideal phase) and of all of it, both against the tone's own.
struct Through {
  double gain, rest, total;
};
Through ThroughResampler(double from, double to, double cycles_per_frame) {
  constexpr std::uint32_t kLoopStart = 500, kLoopEnd = 4500;
  std::vector<std::int16_t> data = Tone(kLoopEnd + 64, cycles_per_frame);
  for (std::size_t n = kLoopEnd; n < data.size(); ++n) data[n] = n % 3 ? 32767 : -32768;
  const ResamplerSource source{data, true, kLoopStart, kLoopEnd};
  constexpr int kFrames = 8192;
  constexpr double kStart = 200.37;
  const double slope = (to - from) / kFrames;
  std::vector<float> out(kFrames);
  if (from == to) {
    SteadyBuffers buffers;
    const SteadyRead read = LayOutSteadyRead(source, from, kStart, kFrames, buffers);
    SteadyPosition at = SteadyStart(kStart);
    ReadSteadyFrames(read, at, out);
  } else {
    ReadPosition at{kStart, false};
    ReadFrames(source, at, from, slope, out);
  }
  double unwrapped = kStart, ss = 0, sc = 0, cc = 0, ys = 0, yc = 0, yy = 0;
  for (int n = 0; n < kFrames; ++n) {
    const double y = out[n], s = std::sin(kTwoPi * cycles_per_frame * unwrapped),
                 c = std::cos(kTwoPi * cycles_per_frame * unwrapped);
    ss += s * s, sc += s * c, cc += c * c, ys += y * s, yc += y * c, yy += y * y;
    unwrapped += from + slope * n;
  }
  const double det = ss * cc - sc * sc, a = (ys * cc - yc * sc) / det,
               b = (yc * ss - ys * sc) / det;
  const double residual = std::max(yy - a * ys - b * yc, 1e-30) / kFrames;
  const double level = 0.9 * 32767 / 32768;
  const double rms = level / std::sqrt(2);
  return {Db(std::hypot(a, b) / level), Db(std::sqrt(residual) / rms),
          Db(std::sqrt(yy / kFrames) / rms)};
}

// Up to 0.45 of the slower rate the gain lies within `ripple` dB of unity; what else comes out
// (images, aliases, the error of the read's phases) lies at least `rest` dB down, and so does
// everything from 0.55 of the slower rate up. A steady read at a step of at most 1 takes the
// 40-tap unit kernel; a sweep, frame by frame, and steps above 1 the 56-tap one.
TEST(Resampler, FlatUpTo045OfTheSlowerRateAndQuietFrom055) {
  struct Case {
    double from, to, ripple, rest;
  };
  const Case cases[] = {{0.5, 0.5, 0.1, -69},   {0.94, 0.94, 0.1, -69}, {0.9876, 0.9876, 0.1, -69},
                        {1, 1, 0.1, -69},       {0.5, 1.5, 0.01, -80},  {1.5, 1.5, 0.01, -80},
                        {2, 2, 0.01, -80},      {3.7, 3.7, 0.01, -80},  {1.5, 3.7, 0.01, -80}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "steps " << c.from << " to " << c.to);
    double worst_ripple = 0, worst_rest = -200, worst_stop = -200;
    // Whole cycles in the 4000-frame loop; the band is the slower rate's over the whole sweep.
    auto in_loop = [](double f) { return std::round(f * 4000) / 4000; };
    for (double fraction : {0.02, 0.2, 0.35, 0.45}) {
      const Through t = ThroughResampler(c.from, c.to, in_loop(fraction * std::min(1.0, 1 / c.to)));
      EXPECT_LT(std::abs(t.gain), c.ripple) << fraction;
      EXPECT_LT(t.rest, c.rest) << fraction;
      worst_ripple = std::max(worst_ripple, std::abs(t.gain));
      worst_rest = std::max(worst_rest, t.rest);
    }
    for (double fraction : {0.55, 0.7, 0.9, 0.99}) {
      const double f = in_loop(fraction * std::min(1.0, 1 / c.from));
      if (f >= 0.5) continue;
      const double total = ThroughResampler(c.from, c.to, f).total;
      EXPECT_LT(total, c.rest) << fraction;
      worst_stop = std::max(worst_stop, total);
    }
    std::printf("resampler, steps %g to %g: passband ripple %.4f dB, rest %.1f dB", c.from, c.to,
                worst_ripple, worst_rest);
    if (worst_stop > -200) std::printf(", stopband %.1f dB", worst_stop);
    std::printf("\n");
  }
}

// A steady read of a loop gives, bit for bit, what a steady read of the loop written out gives:
// until the position first passes the loop's end, the source's own frames and then the loop again
// and again; after, the loop repeated both ways. And a source that does not loop gives what its
// frames followed by silence give. Loops shorter and longer than a window's left half, a loop
// the read never reaches, at steps of either kernel.
TEST(Resampler, ASteadyReadOfALoopIsTheReadOfTheLoopWrittenOut) {
  struct Case {
    double step;
    std::size_t frames;
    bool loops;
    std::uint32_t loop_start, loop_end;
  };
  const Case cases[] = {{0.9876, 700, true, 300, 301},    {0.9876, 700, true, 300, 305},
                        {0.9876, 700, true, 300, 322},    {0.9876, 700, true, 300, 397},
                        {0.9876, 3000, true, 2000, 2500}, {0.9876, 700, false, 0, 0},
                        {1.3, 700, true, 300, 305},       {1.3, 700, true, 300, 397},
                        {1.3, 700, false, 0, 0}};
  const std::vector<std::int16_t> data = Tone(3000, 0.1234);
  constexpr int kFrames = 1200;
  const auto read = [](const ResamplerSource& source, double step) {
    SteadyBuffers buffers;
    const SteadyRead laid_out = LayOutSteadyRead(source, step, 0, kFrames, buffers);
    std::vector<float> out(kFrames);
    SteadyPosition at;
    ReadSteadyFrames(laid_out, at, out);
    return std::pair(out, at.read_out);
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.step << ", loop " << c.loop_start << ".." << c.loop_end);
    const auto [looped, read_out] =
        read({std::span(data).first(c.frames), c.loops, c.loop_start, c.loop_end}, c.step);
    EXPECT_EQ(read_out, !c.loops);  // 1200 frames read 1185 source frames or more
    std::vector<std::int16_t> before(data.size(), 0), after(data.size(), 0);
    for (std::size_t i = 0; i < data.size(); ++i) {
      const std::size_t length = c.loops ? c.loop_end - c.loop_start : 1;
      const std::size_t in_loop = c.loop_start + (i + length - c.loop_start % length) % length;
      before[i] = i < (c.loops ? c.loop_end : c.frames) ? data[i] : c.loops ? data[in_loop] : 0;
      if (c.loops) after[i] = data[in_loop];
    }
    const std::vector<float> expect_before = read({before}, c.step).first;
    const std::vector<float> expect_after = read({after}, c.step).first;
    const std::int64_t step = std::llround(std::ldexp(c.step, kSteadyFractionBits));
    for (int n = 0; n < kFrames; ++n) {
      const bool wrapped = c.loops && n * step >= std::int64_t{c.loop_end} << kSteadyFractionBits;
      ASSERT_EQ(looped[n], wrapped ? expect_after[n] : expect_before[n]) << n;
    }
  }
}

// The frequency of a render between two times, by its upward zero crossings.
double MeasuredHz(const std::vector<float>& v, double rate, double from, double to) {
  std::vector<double> crossings;
  for (auto n = static_cast<std::size_t>(from * rate); n < static_cast<std::size_t>(to * rate);
       ++n) {
    if (v[n] < 0 && v[n + 1] >= 0) crossings.push_back(n + v[n] / (v[n] - v[n + 1]));
  }
  return (crossings.size() - 1) * rate / (crossings.back() - crossings.front());
}

std::vector<float> Render(const std::vector<RenderVoice>& voices, const KeyRenderLayout& layout) {
  std::vector<float> out(layout.frames);
  RenderKey(voices, layout, out);
  return out;
}

TEST(KeyRender, PlaysEachVoiceAtItsPitchOnTheKey) {
  const std::vector<std::int16_t> sine = Tone(4000, 0.01);  // 441 Hz at 44100 Hz, 40 cycles a loop
  struct Case {
    double rate;
    int key;
    double cents;
    EnvelopeShape mod;
    double mod_cents, from, to, expect_cents;
  };
  const Case cases[] = {
      {44100, 60, 0, {}, 0, 0.1, 0.9, 0},
      {22050, 36, 700, {}, 0, 0.1, 0.9, 700},
      {48000, 72, -1250.5, {}, 0, 0.1, 0.9, -1250.5},
      {44100, 60, 1900, {}, 0, 0.1, 0.9, 1900},  // read three times faster than the output
      {96000, 48, 0, {}, 0, 0.1, 0.9, 0},        // above the 96 kHz cap
      {44100, 60, 0, {.delay = 0.2, .decay = 0.1, .sustain = 0.5}, 1200, 0.02, 0.19, 0},
      {44100, 60, 0, {.delay = 0.2, .decay = 0.1, .sustain = 0.5}, 1200, 0.32, 0.9, 600},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.rate << " Hz, key " << c.key << ", " << c.expect_cents);
    const std::vector<RenderVoice> voice{{.frames = sine,
                                          .sample_rate = c.rate,
                                          .pitch_cents = c.cents,
                                          .loops = true,
                                          .loop_start = 0,
                                          .loop_end = 4000,
                                          .volume = {.decay = 1.6, .sustain = 96},
                                          .modulation = c.mod,
                                          .mod_env_to_pitch_cents = c.mod_cents}};
    const KeyRenderLayout layout = LayOutKey(voice, c.key);
    const double hz = MeasuredHz(Render(voice, layout), layout.rate, c.from, c.to);
    const double expect = c.rate / 100 * std::exp2(c.expect_cents / 1200);
    EXPECT_NEAR(1200 * std::log2(hz / expect), 0, 0.01);
  }
}

TEST(KeyRender, VolumeEnvelopeLevels) {
  const std::vector<std::int16_t> dc(100, 16384);
  const EnvelopeShape shape{.delay = 0.1, .attack = 0.2, .hold = 0.1, .decay = 2, .sustain = 30};
  const std::vector<RenderVoice> voice{
      {.frames = dc, .loops = true, .loop_start = 0, .loop_end = 100, .gain = 2, .volume = shape}};
  const KeyRenderLayout layout = LayOutKey(voice, 60);
  const std::vector<float> out = Render(voice, layout);
  EXPECT_EQ(out[static_cast<std::size_t>(0.05 * layout.rate)], 0);
  // seconds, dB: the attack's quarter and half, the hold, the decay at 48 dB a second, the sustain
  const std::pair<double, double> levels[] = {{0.15, -12.04}, {0.2, -6.02}, {0.35, 0},
                                              {0.45, -2.4},   {0.8, -19.2}, {1.026, -30}};
  for (const auto& [seconds, db] : levels) {
    EXPECT_NEAR(Db(out[static_cast<std::size_t>(std::round(seconds * layout.rate))]), db, 0.1)
        << seconds;
  }
}

// The filter's response from its impulse response: the peak above DC, and the -3 dB corner above
// it. Expected values from the analog prototype, its frequencies warped as the bilinear transform
// warps them.
TEST(Biquad, ResonancePeakAndCorner) {
  struct Case {
    double cutoff, rate, q_db, peak_hz, corner_hz;
  };
  const Case cases[] = {{1000, 48000, 0, 0, 1000},
                        {1000, 48000, 6, 930.41, 1476.61},
                        {1000, 48000, 20, 997.50, 1547.92},
                        {8000, 44100, 12, 7896.45, 10914.62},
                        {19845, 44100, 24, 19842.84, 20623.01},
                        {20, 96000, 3, 16.81, 27.79}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.cutoff << " Hz, " << c.q_db << " dB");
    const BiquadCoefficients k = LowPass(c.cutoff, c.rate, ResonanceQ(c.q_db));
    BiquadState s;
    std::vector<double> impulse(1 << 17);
    for (std::size_t n = 0; n < impulse.size(); ++n) impulse[n] = Filter(k, s, n == 0);
    auto gain_db = [&](double hz) {
      double re = 0, im = 0;
      for (std::size_t n = 0; n < impulse.size(); ++n) {
        re += impulse[n] * std::cos(kTwoPi * hz / c.rate * n),
            im -= impulse[n] * std::sin(kTwoPi * hz / c.rate * n);
      }
      return Db(std::hypot(re, im));
    };
    EXPECT_NEAR(gain_db(0), 0, 0.01);
    EXPECT_NEAR(gain_db(c.peak_hz), c.q_db, 0.1);
    EXPECT_NEAR(gain_db(c.corner_hz), -3.01, 0.1);
  }
}

TEST(KeyRender, FilterCutoffInCentsMovedByTheModulationEnvelope) {
  // 2 kHz at 48 kHz, through a 1 kHz cutoff (6900 cents) that the envelope raises an octave.
  const std::vector<std::int16_t> sine = Tone(2400, 2000.0 / 48000);
  const std::vector<RenderVoice> voice{{.frames = sine,
                                        .sample_rate = 48000,
                                        .loops = true,
                                        .loop_start = 0,
                                        .loop_end = 2400,
                                        .modulation = {.sustain = 1},
                                        .filter_cutoff_cents = 1200 * std::log2(1000 / 8.176),
                                        .mod_env_to_filter_cents = 1200}};
  KeyRenderLayout layout = LayOutKey(voice, 48);
  layout.frames = 24000;
  const std::vector<float> out = Render(voice, layout);
  double peak = 0;
  for (std::size_t n = 12000; n < out.size(); ++n) peak = std::max(peak, std::abs(double{out[n]}));
  EXPECT_NEAR(Db(peak / 0.9), -3.01, 0.1);
}

// Voices over silence (the layout reads no frame): a one-shot, and a voice looped over frames
// 100..200 of 300 that settles at -12 dB after 0.12 s.
const std::vector<std::int16_t> kSilence(200000);
RenderVoice OneShot(double rate, std::size_t frames, double cents = 0) {
  return {.frames = std::span(kSilence).first(frames), .sample_rate = rate, .pitch_cents = cents};
}
RenderVoice Looped(EnvelopeShape volume = {.decay = 0.96, .sustain = 12}, double cents = 0) {
  return {.frames = std::span(kSilence).first(300),
          .sample_rate = 8363,
          .pitch_cents = cents,
          .loops = true,
          .loop_start = 100,
          .loop_end = 200,
          .volume = volume};
}

TEST(KeyLayout, RateLengthAndLoop) {
  const EnvelopeShape fading{.delay = 0.1, .attack = 0.05, .hold = 0.05, .decay = 1, .sustain = 96};
  RenderVoice quiet_long_loop = Looped({});
  quiet_long_loop.loop_end = 250, quiet_long_loop.gain = 0.5;
  RenderVoice swept = Looped();
  swept.modulation.decay = 0.5, swept.mod_env_to_pitch_cents = 1200;
  RenderVoice silent = OneShot(8363, 1000);
  silent.gain = 0;
  struct Case {
    const char* what;
    std::vector<RenderVoice> voices;
    int key;
    double rate;
    int note, finetune;
    std::uint32_t frames, loop_start;  // loop_start 0: no loop
    double error_cents;
  };
  // 8363 Hz on key 48 is relative note 0 and a rate of 8363 Hz: a frame read per frame. Rates
  // step by 1/16 semitone, a finetune of 8.
  // clang-format off
  const Case cases[] = {
      {"44100 Hz on C-5", {OneShot(44100, 1000)}, 60, 44172.06, 17, -24, 1002, 0, 0},
      {"the highest rate decides", {OneShot(22050, 1000), OneShot(48000, 1000)}, 48, 48169.97, 30, 40, 2185, 0, 0},
      {"96 kHz at most", {OneShot(96000, 1000)}, 48, 95992.77, 42, 32, 1000, 0, 0},
      {"the tracker's lowest note", {OneShot(100, 100)}, 95, 522.69, -95, 0, 523, 0, 0},
      {"the data's end, an octave up", {OneShot(8363, 1000, 1200)}, 48, 8363, 0, 0, 500, 0, 0},
      {"-60 dB before the data's end", {[&] { auto v = OneShot(8363, 100000); v.volume = fading; return v; }()},
       48, 8363, 0, 0, 6900, 0, 0},
      {"the last voice: a loop fading out", {OneShot(8363, 1000), Looped({.decay = 2, .sustain = 70})},
       48, 8363, 0, 0, 10454, 0, 0},
      {"a sustain, then one cycle", {Looped()}, 48, 8363, 0, 0, 1104, 1004, 0},
      {"a cycle of 97.15 frames", {Looped({.decay = 0.96, .sustain = 12}, 50)}, 48, 8363, 0, 0, 1101, 1004, 2.732},
      {"the read inside the loop", {Looped({})}, 48, 8363, 0, 0, 300, 200, 0},
      {"the louder sustain's cycle", {Looped(), quiet_long_loop}, 48, 8363, 0, 0, 1154, 1004, 0},
      {"the modulation envelope settles last", {swept}, 48, 8363, 0, 0, 4282, 4182, 0},
      {"10 s of a long one-shot", {OneShot(8363, 200000)}, 48, 8363, 0, 0, 83630, 0, 0},
      {"10 s of a slow fade, looped", {Looped({.decay = 100, .sustain = 96})}, 48, 8363, 0, 0, 83630, 83530, 0},
      {"10 s before the sustain", {Looped({.decay = 1000, .sustain = 40})}, 48, 8363, 0, 0, 83630, 83530, 0},
      {"nothing sounds", {silent}, 48, 522.69, -48, 0, 0, 0, 0},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const KeyRenderLayout layout = LayOutKey(c.voices, c.key);
    EXPECT_NEAR(layout.rate, c.rate, 0.01);
    EXPECT_EQ(layout.relative_note, c.note);
    EXPECT_EQ(layout.finetune, c.finetune);
    EXPECT_EQ(layout.frames, c.frames);
    EXPECT_EQ(layout.loops, c.loop_start > 0);
    EXPECT_EQ(layout.loop_start, c.loop_start);
    EXPECT_NEAR(layout.loop_pitch_error_cents, c.error_cents, 0.001);
  }
}

TEST(KeyRender, ALoopedRenderJoinsAndAClippingSumIsScaledDown) {
  const std::vector<std::int16_t> sine = Tone(97, 3 / 97.0), dc(100, 24000);
  const std::vector<RenderVoice> voices{{.frames = sine,
                                         .sample_rate = 8363,
                                         .pitch_cents = 50,
                                         .loops = true,
                                         .loop_start = 0,
                                         .loop_end = 97},
                                        {.frames = dc,
                                         .sample_rate = 8363,
                                         .loops = true,
                                         .loop_start = 0,
                                         .loop_end = 100,
                                         .gain = 0.7}};
  const KeyRenderLayout layout = LayOutKey(voices, 48);
  const std::vector<float> out = Render(voices, layout);
  // Rendered on for one cycle more, the render repeats its loop: the loop joins end to start.
  KeyRenderLayout longer = layout;
  longer.frames += layout.frames - layout.loop_start;
  const std::vector<float> on = Render(voices, longer);
  for (std::size_t n = layout.frames; n < longer.frames; ++n) {
    ASSERT_NEAR(on[n], on[n - (layout.frames - layout.loop_start)], 1e-4) << n;
  }
  std::vector<std::int16_t> pcm(out.size());
  const Int16Scaling scaling = ToInt16(out, pcm);
  EXPECT_TRUE(scaling.scaled_down);
  EXPECT_NEAR(scaling.gain, 1 / (0.9 + 0.7 * 24000 / 32768.0), 0.01);
  EXPECT_EQ(*std::max_element(pcm.begin(), pcm.end()), 32767);
  const std::vector<float> quiet{0.5f, -1.0f};
  EXPECT_FALSE(ToInt16(quiet, pcm).scaled_down);
  EXPECT_EQ(pcm[0], 16384);
  EXPECT_EQ(pcm[1], -32768);
}

// Each value at every place of a group of four, and after the last whole group: rounded to the
// nearest, ties to even, clamped, and 0 for what is not finite.
TEST(KeyRender, ToInt16RoundsTiesToEven) {
  const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
  const std::vector<std::pair<float, int>> values = {
      {1.5f / 32768, 2}, {2.5f / 32768, 2}, {-2.5f / 32768, -2}, {2.4f / 32768, 2}, {0.99999f, 32767},
      {-1, -32768},      {nan, 0},          {inf, 0},            {-inf, 0}};
  for (std::size_t shift = 0; shift < 4; ++shift) {
    std::vector<float> render(shift, 0.0f);
    for (const auto& [value, expected] : values) render.push_back(value);
    std::vector<std::int16_t> pcm(render.size());
    EXPECT_FALSE(ToInt16(render, pcm).scaled_down);
    for (std::size_t i = 0; i < values.size(); ++i) {
      EXPECT_EQ(pcm[shift + i], values[i].second) << values[i].first << " at " << shift + i;
    }
  }
}

}  // namespace
}  // namespace brumlet::sampler
