// The measurements checked on tones made here; openmpt123's finetune steps, vibrato depth and
// fade-out, and the envelope mapping, as it plays them; fluidsynth playing a real bank.
#include <gtest/gtest.h>

#include <cmath>

#include "levels.h"
#include "midi_file.h"
#include "pitch.h"
#include "players.h"
#include "program_test.h"
#include "sine_instruments.h"
#include "xm_module.h"

namespace brumlet {
namespace {

using namespace brumlet::testing;
using namespace brumlet::measure;

#define REQUIRE_TOOL(tool, package) \
  if (!MissingTool(tool, package).empty()) GTEST_SKIP() << MissingTool(tool, package)

// `hz` with two overtones, rising linearly for `attack` seconds, held 0.1 s, falling `sustain_db`
// over the next 0.1 s, and after 1.2 s by `release` dB a second.
Rendered Tone(double hz, double rate, double attack, double sustain_db, double release) {
  Rendered tone{static_cast<int>(rate), 1, {}, {}, {}};
  for (double t = 0; t < 3; t += 1 / rate) {
    const double db = -sustain_db * std::clamp((t - attack - 0.1) / 0.1, 0.0, 1.0) -
                      std::max(0.0, t - 1.2) * release;
    tone.mono.push_back(std::min(1.0, t / attack) * std::pow(10, db / 20) * 0.5 *
                        (std::sin(2 * M_PI * hz * t) + 0.3 * std::sin(4 * M_PI * hz * t + 1) +
                         0.2 * std::sin(6 * M_PI * hz * t + 2)));
  }
  return tone;
}

TEST(RenderMeasure, PitchAttackSustainAndReleaseOfKnownTones) {
  struct Case {
    double hz, reference_hz, rate, attack, sustain_db, release;
  };
  for (const Case& c :
       {Case{440, 440, 44100, 0.05, 6, 100}, Case{269.5, 261.63, 44100, 0.2, 12, 50},
        Case{110.3, 110, 48000, 0.04, 0, 300}, Case{3414.4, 3520, 22050, 0.3, 20, 30}}) {
    SCOPED_TRACE(c.hz);
    const Rendered tone = Tone(c.hz, c.rate, c.attack, c.sustain_db, c.release);
    EXPECT_NEAR(PitchCents(tone, 0.6, 1.1, c.reference_hz), 1200 * std::log2(c.hz / c.reference_hz),
                0.5);
    EXPECT_NEAR(AttackPeakSeconds(tone, 1), c.attack * 0.944, 0.015 + 0.05 * c.attack);
    EXPECT_NEAR(LevelDb(tone, 0.6, 1.1) - LevelDb(tone, c.attack + 0.02, c.attack + 0.08),
                -c.sustain_db, 0.3);
    EXPECT_NEAR(FallSeconds(tone, 1.2), 30 / c.release, 0.01);
  }
}

class Render : public ProgramTest {};

// Finetune counts in 1/128 semitone, but the engine takes it in steps of 8, rounded down.
TEST_F(Render, OpenmptTakesFinetuneInSixteenthsOfASemitoneRoundedDown) {
  REQUIRE_TOOL("openmpt123", "openmpt123");
  for (int finetune : {-128, -29, -28, -1, 0, 1, 4, 7, 8, 127}) {
    for (int note : {37, 61, 85}) {
      EXPECT_NEAR(XmPitchErrorCents(dir_.string(), note, 17, finetune),
                  -(finetune & 7) * 100.0 / 128, 0.1)
          << "finetune " << finetune << " note " << note;
    }
  }
}

// Depth 15 swings 15/64 semitone either way (a little further down than up).
TEST_F(Render, OpenmptAutoVibratoDepthIsASixtyFourthOfASemitone) {
  REQUIRE_TOOL("openmpt123", "openmpt123");
  EnvelopeMapping vibrato = MapEnvelope({});
  vibrato.vibrato = {0, 0, 15, 16};
  Write("vibrato.xm", XmFromXi(SineXi(vibrato, 17, 0), 61, 0, 32));
  const Rendered r = RenderXm(dir_.string(), "vibrato.xm", 44100);
  double low = 0, high = 0;
  for (double t = 0.1; t < 1.42; t += 0.02) {  // the pitch changes once a tick
    const double cents = PitchCents(r, t + 0.003, t + 0.017, SineXiHz(61, 17, 0));
    low = std::min(low, cents);
    high = std::max(high, cents);
  }
  EXPECT_NEAR((high - low) / 2, 15 * envelope_mapping::kCentsPerDepth, 1.5);
}

// Generators played from a bank by fluidsynth and, mapped to an XI, by openmpt123: the attack
// peaks, the sustain levels below the peak and the falls of 30 dB after the note ends agree
// within 30 ms or 20 %, 3 dB and 30 %. The releases pin the fade-out (4062, near the fastest,
// among them) to a fall from 32768 by its value each tick: from 65536 they would take twice as
// long.
TEST_F(Render, MappedEnvelopesPlayAsFluidSynthPlaysTheBank) {
  REQUIRE_TOOL("openmpt123", "openmpt123");
  REQUIRE_TOOL("fluidsynth", "fluidsynth");
  auto timecents = [](double s) {
    return s > 0 ? static_cast<int>(std::lround(1200 * std::log2(s))) : -12000;
  };
  struct Case {
    double delay, attack, decay, sustain_db, release;
  };
  for (const Case& c : {Case{0, 0.3, 1, 12, 0.5}, Case{0.2, 0.05, 3, 6, 2}, Case{0, 0.001, 1, 0, 4},
                        Case{0, 0.001, 0.5, 20, 1}}) {
    SCOPED_TRACE(c.attack);
    const EnvelopeGenerators g{.delay_vol_env = timecents(c.delay),
                                  .attack_vol_env = timecents(c.attack),
                                  .decay_vol_env = timecents(c.decay),
                                  .sustain_vol_env = static_cast<int>(c.sustain_db * 10),
                                  .release_vol_env = timecents(c.release)};
    Write("sine.sf2", SineBank(g));
    Write("note.mid", MidiNote(0, 0, 69, 127, 2, 5));
    Write("note.xm", XmFromXi(SineXi(MapEnvelope(g)), 61, 0, 250, 100, 1));  // off at 2 s
    const Rendered bank = RenderMidi(dir_.string(), "sine.sf2", "note.mid", "note.wav", 44100);
    const Rendered xi = RenderXm(dir_.string(), "note.xm", 44100);
    const double peak = AttackPeakSeconds(bank, 1.5), xi_peak = AttackPeakSeconds(xi, 1.5);
    EXPECT_NEAR(xi_peak, peak, std::max(0.03, 0.2 * peak));
    EXPECT_NEAR(LevelDb(xi, 1.8, 2) - LevelDb(xi, xi_peak - 0.01, xi_peak + 0.01),
                LevelDb(bank, 1.8, 2) - LevelDb(bank, peak - 0.01, peak + 0.01), 3);
    EXPECT_NEAR(FallSeconds(xi, 2), FallSeconds(bank, 2), 0.3 * FallSeconds(bank, 2));
  }
}

}  // namespace
}  // namespace brumlet
