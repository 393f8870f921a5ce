// Throughput of the kit renderer: voices x output frames rendered a second, for the reads it
// takes (unstretched, stretched by a pitch up, stretched to the widest kernel, all at one step;
// frame by frame where the pitch sweeps), with the filter a bank's default cutoff gives, without
// one and swept, and for 1 to 16 voices and short and long renders, so that a cost that is not
// linear in voices x frames shows as a falling rate. Timed in processor time, not wall time, and
// the best of the renders a case makes in its time: on a machine others share, a render that
// ran beside their work ran slower than the renderer can.
//
//   key_render_bench [SECONDS]   how long each case renders again and again (default 2)
//   key_render_bench --quick     each case once, over 1/100 of its length: that it runs
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <numbers>
#include <vector>

#include "sampler/key_render.h"

namespace {

using brumlet::sampler::RenderVoice;

// The filter: the default cutoff (13500 cents, 19.9 kHz, below 0.45 of the render's 44653 Hz,
// so filtered), none (a cutoff above that), or swept by the modulation envelope, which sweeps
// the pitch too.
enum class Filter { kDefault, kNone, kSwept };

struct Case {
  const char* what;
  int voices;
  double seconds;  // of the render
  double pitch_cents;
  Filter filter;
};

double FramesPerSecond(const Case& c, const std::vector<std::int16_t>& data, double least_seconds,
                       double length_scale) {
  std::vector<RenderVoice> voices;
  for (int i = 0; i < c.voices; ++i) {
    RenderVoice v;
    v.frames = data;
    v.pitch_cents = c.pitch_cents + i;  // each voice a little apart, as a kit's layers are
    v.loops = true;
    v.loop_start = 1000;
    v.loop_end = static_cast<std::uint32_t>(data.size());
    v.volume = {.decay = 3 * c.seconds, .sustain = 96};
    if (c.filter == Filter::kNone) v.filter_cutoff_cents = 14000;
    if (c.filter == Filter::kSwept) {
      v.filter_cutoff_cents = 8000;
      v.filter_q_db = 6;
      v.modulation = {.attack = 0.01, .decay = 0.5, .sustain = 0.2};
      v.mod_env_to_filter_cents = 2400;
      v.mod_env_to_pitch_cents = -100;
    }
    voices.push_back(v);
  }
  brumlet::sampler::KeyRenderLayout layout = brumlet::sampler::LayOutKey(voices, 60);
  layout.frames = static_cast<std::uint32_t>(c.seconds * length_scale * layout.rate);
  std::vector<float> out(layout.frames);
  // As the program renders: with a scratch kept from one render to the next.
  brumlet::sampler::RenderScratch scratch;
  brumlet::sampler::RenderKey(voices, layout, out, scratch);  // once untimed: the table is built
  const double work = static_cast<double>(c.voices) * layout.frames;
  double best = 0, elapsed = 0;
  do {
    const std::clock_t start = std::clock();
    brumlet::sampler::RenderKey(voices, layout, out, scratch);
    const double seconds = static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
    if (seconds > 0) best = std::max(best, work / seconds);
    elapsed += seconds;
  } while (elapsed < least_seconds || best == 0);
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
  const double least_seconds = quick ? 0 : argc > 1 ? std::atof(argv[1]) : 2;
  // A second of a sine with overtones at 44100 Hz, looped after its first 1000 frames.
  std::vector<std::int16_t> data(44100);
  for (std::size_t n = 0; n < data.size(); ++n) {
    const double t = 2 * std::numbers::pi * 220.5 * static_cast<double>(n) / 44100;
    data[n] = static_cast<std::int16_t>(12000 * (std::sin(t) + 0.5 * std::sin(3 * t)));
  }
  const Case cases[] = {
      {"4 voices, 1 s, unstretched read", 4, 1, 0, Filter::kDefault},
      {"4 voices, 1 s, unstretched read, no filter", 4, 1, 0, Filter::kNone},
      {"4 voices, 1 s, 3 semitones up (stretched 1.2)", 4, 1, 300, Filter::kDefault},
      {"4 voices, 1 s, an octave up (stretched 2.0)", 4, 1, 1200, Filter::kDefault},
      {"4 voices, 1 s, 4 octaves up (stretched 16)", 4, 1, 4800, Filter::kDefault},
      {"4 voices, 1 s, filtered, swept", 4, 1, 0, Filter::kSwept},
      {"1 voice, 1 s, unstretched read", 1, 1, 0, Filter::kDefault},
      {"16 voices, 1 s, unstretched read", 16, 1, 0, Filter::kDefault},
      {"4 voices, 10 s, unstretched read", 4, 10, 0, Filter::kDefault},
  };
  std::printf("%-48s %s\n", "case", "voice-frames/s");
  for (const Case& c : cases) {
    const double rate = FramesPerSecond(c, data, least_seconds, quick ? 0.01 : 1);
    if (!(rate > 0)) return 1;
    std::printf("%-48s %.3g\n", c.what, rate);
  }
  return 0;
}
