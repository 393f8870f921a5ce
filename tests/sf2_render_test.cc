// Presets of the real banks converted by brumlet and played by openmpt123, against the bank played
// by fluidsynth on the same keys: pitch, attack, sustain and release, and which drum a kit key is.
// The bank fluidsynth plays is a copy whose filter, modulation envelope, modulation LFO and
// modulators are neutralised: the XI has none of them, so they would only blur the comparison.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "levels.h"
#include "midi_file.h"
#include "neutralised_bank.h"
#include "pitch.h"
#include "platform/posix_platform.h"
#include "players.h"
#include "program_test.h"
#include "sf2/bank.h"
#include "sf2/preset_plan.h"
#include "sine_instruments.h"
#include "soundfont.h"
#include "band_levels.h"
#include "xi_reader.h"
#include "xm_module.h"

namespace brumlet {
namespace {

using namespace brumlet::testing;
using namespace brumlet::measure;

constexpr char kFluid[] = "/usr/share/sounds/sf2/FluidR3_GM.sf2";
constexpr char kTim[] = "/usr/share/sounds/sf2/TimGM6mb.sf2";
// The fastest fade-out, 4095, takes a note 30 dB down in 0.15 s: no release is shorter in an XI.
constexpr double kFastestFall = 0.15;
// What fluidsynth's copy of a bank leaves out: the filter, the modulation envelope's pitch and the
// modulation LFO (the vibrato LFO stays: the XI has it), and every modulator. For kits, whose keys
// are rendered with their filters and modulation envelopes, only the LFOs and the modulators.
constexpr unsigned kNeutralised =
    neutralise::kFilter | neutralise::kModLfo | neutralise::kModEnvPitch;
constexpr unsigned kNeutralisedForKits = neutralise::kModLfo | neutralise::kVibLfo;

class Sf2Render : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    for (const char* tool : {"openmpt123", "fluidsynth"}) {
      if (!MissingTool(tool, tool).empty()) GTEST_SKIP() << MissingTool(tool, tool);
    }
    for (const char* bank : {kFluid, kTim}) {
      if (!fs::exists(bank)) {
        GTEST_SKIP() << bank << " is missing (Debian fluid-soundfont-gm, timgm6mb-soundfont)";
      }
    }
  }

  struct Note {
    Rendered xi, bank;
    XiSample sample;  // the one the key plays
  };

  // Preset bank:program of `path` converted by brumlet and played on `key` for 2 s of 5 by
  // openmpt123 (the part of a split kit that holds the key), and by fluidsynth from `neutral`.
  Note Play(const std::string& path, const std::string& neutral, int bank, int program, int key) {
    PosixPlatform platform;
    const sf2::Bank b = sf2::ReadBank(*platform.OpenRead(path, Site::kBankOpen), DisplayText(path));
    std::string file;
    for (std::size_t p = 0; p < b.PresetCount(); ++p) {
      if (b.presets[p].bank != bank || b.presets[p].program != program) continue;
      for (const sampler::InstrumentPlan& part : sf2::PlanPreset(b, p).plan.instruments) {
        if (part.keys.Contains(key)) {
          file = PresetFileName(bank, program, b.presets[p].name, part.part, part.part_count);
        }
      }
    }
    const std::string choice = std::to_string(bank) + ":" + std::to_string(program);
    if (!Exists(file)) {
      EXPECT_EQ(Run({"--sf2", path, choice}).code, 0) << choice;
    }
    const std::string xi = Read(file);
    Note note;
    const XiFile parsed = ParseXi(xi);
    note.sample = parsed.samples.at(static_cast<std::size_t>(parsed.key_map.at(key)));
    Write("note.xm", XmFromXi(xi, key + 1, 0, 250, 100, 1));  // 50 rows a second, off at 2 s
    note.xi = RenderXm(dir_.string(), "note.xm", 44100);
    Write("note.mid", MidiNote(bank, program, key, 100, 2, 5));
    note.bank = RenderMidi(dir_.string(), neutral, "note.mid", "note.wav", 44100);
    return note;
  }

  void RemoveInstruments() {
    for (const auto& entry : fs::directory_iterator(dir_)) {
      if (entry.path().extension() == ".xi") fs::remove(entry.path());
    }
  }
};

// Pianos (FluidR3's mixed stereo grand), strings, pads, organs, a choir and a guitar: each note's
// pitch within 5 cents of the bank's once openmpt123's own finetune error is allowed for; the
// attack's peak within 30 ms or 20 %, the level before the note ends (against the peak) within
// 3 dB, the fall of 30 dB after it within 30 % (and never asked faster than the fastest
// fade-out). A preset's exclusions say what the XI cannot express of it.
TEST_F(Sf2Render, PresetsPlayAsFluidSynthPlaysTheBank) {
  // What a case does not compare, because the XI cannot express it.
  enum Skip { kNone = 0, kPitch = 1, kAttack = 2, kSustain = 4 };
  struct Case {
    const char* path;
    int bank, program;
    std::vector<int> keys;
    int skip;
    const char* why;
  };
  const Case cases[] = {
      // A mixed stereo piano whose zones hold and decay for different times: the XI has key 60's.
      {kFluid, 0, 0, {48, 60, 72}, kSustain, "one envelope for every key"},
      {kFluid, 0, 40, {55, 67}, kNone, ""},
      // The bank sounds a left and a right recording typed as mono samples, two layers of which
      // the XI keeps the first; their sum swells differently.
      {kFluid, 0, 48, {48, 60}, kSustain, "a layer left out"},
      // Its second stereo layer, left out, peaks later and lifts the sum's peak on low keys; its
      // recording sits a few cents from the kept one's, and the sum's partial between the two.
      {kFluid, 0, 89, {48, 60}, kPitch | kAttack, "a layer left out"},
      // An instant attack: the sample's own swell decides where the level first comes within
      // 0.5 dB of its highest, and key 48 plays a neighbouring sample (beyond 16, merged).
      {kFluid, 0, 19, {48, 60}, kAttack, "a merged sample"},
      {kFluid, 0, 52, {60}, kNone, ""},
      {kFluid, 0, 24, {52, 64}, kNone, ""},
      {kTim, 0, 0, {60}, kNone, ""},
      // Five layers sound at once (a mono-typed left and right recording and a synth pair with
      // its own pitch envelope); the XI plays the first.
      {kTim, 0, 48, {60}, kPitch | kAttack | kSustain, "four layers left out"},
      // Its quieter octave layer, left out, swells for 68 ms and moves the sum's peak later.
      {kTim, 0, 19, {60}, kAttack, "a layer left out"},
      {kTim, 0, 89, {60}, kNone, ""},
      // Key 40's zone decays in 13.9 s, key 60's, whose envelope the XI has, in 10.7 s.
      {kTim, 0, 33, {40}, kSustain, "one envelope for every key"},
  };
  ASSERT_TRUE(NeutralisedCopy(kFluid, (dir_ / "fluid.sf2").string(), kNeutralised));
  ASSERT_TRUE(NeutralisedCopy(kTim, (dir_ / "tim.sf2").string(), kNeutralised));
  std::printf("%-8s %3s %3s | %7s %6s | %11s | %13s | %11s\n", "preset", "key", "bank", "pitch",
              "player", "peak s", "sustain dB", "-30 dB s");
  for (const Case& c : cases) {
    const std::string neutral = (dir_ / (c.path == kFluid ? "fluid.sf2" : "tim.sf2")).string();
    for (int key : c.keys) {
      SCOPED_TRACE(std::string(c.path) + " " + std::to_string(c.program) + " key " +
                   std::to_string(key));
      const Note n = Play(c.path, neutral, c.bank, c.program, key);
      ASSERT_GT(n.xi.mono.size(), 0u);
      ASSERT_GT(n.bank.mono.size(), 0u);
      const double hz = 440 * std::exp2((key - 69) / 12.0);
      const double partial = PartialHz(n.xi, 0.3, hz * 0.9, hz * 6.5);
      const double pitch =
          1200 * std::log2(partial / PartialHz(n.bank, 0.3, partial * 0.97, partial * 1.03));
      const double player =
          XmPitchErrorCents(dir_.string(), key + 1, n.sample.relative_note, n.sample.finetune);
      const double peak = AttackPeakSeconds(n.bank, 1.5), xi_peak = AttackPeakSeconds(n.xi, 1.5);
      const double sustain = LevelDb(n.bank, 1.8, 2) - LevelDb(n.bank, peak - 0.01, peak + 0.01);
      const double xi_sustain =
          LevelDb(n.xi, 1.8, 2) - LevelDb(n.xi, xi_peak - 0.01, xi_peak + 0.01);
      const double fall = FallSeconds(n.bank, 2), xi_fall = FallSeconds(n.xi, 2);
      std::printf("%s %d:%-3d %3d | %+7.2f %+6.2f | %5.3f %5.3f | %6.1f %6.1f | %5.3f %5.3f  %s\n",
                  c.path == kFluid ? "FluidR3" : "TimGM6mb", c.bank, c.program, key, pitch, player,
                  peak, xi_peak, sustain, xi_sustain, fall, xi_fall, c.why);
      if (!(c.skip & kPitch)) {
        EXPECT_NEAR(pitch, player, 5);
      }
      if (!(c.skip & kAttack)) {
        // A bowed or blown note swells to a plateau whose highest point is anywhere on it: the
        // attacks agree too where each is within 1.5 dB of its highest when the other peaks.
        const auto near_peak = [](const Rendered& r, double at, double peak_at) {
          return LevelDb(r, at - 0.01, at + 0.01) >=
                 LevelDb(r, peak_at - 0.01, peak_at + 0.01) - 1.5;
        };
        EXPECT_TRUE(std::abs(xi_peak - peak) <= std::max(0.03, 0.2 * peak) ||
                    (near_peak(n.xi, peak, xi_peak) && near_peak(n.bank, xi_peak, peak)))
            << "peaks at " << xi_peak << " s and " << peak << " s";
      }
      if (!(c.skip & kSustain)) {
        EXPECT_NEAR(xi_sustain, sustain, 3);
      }
      const double expected_fall = std::max(fall, kFastestFall);
      EXPECT_NEAR(xi_fall, expected_fall, 0.3 * expected_fall);
    }
    RemoveInstruments();
  }
}

// Each key of the standard kits sounds as the bank's drum on that key, and more like it than
// like any other drum played here: its spectrum over the first 0.37 s correlates best with it.
TEST_F(Sf2Render, EachKitKeyPlaysTheBanksDrumForThatKey) {
  const std::vector<int> keys = {35, 38, 41, 42, 46, 48, 49, 51, 56, 60, 62, 70, 75, 81};
  for (const char* path : {kFluid, kTim}) {
    ASSERT_TRUE(NeutralisedCopy(path, (dir_ / "kit.sf2").string(), kNeutralisedForKits));
    std::vector<std::vector<double>> xi, bank;
    for (int key : keys) {
      const Note n = Play(path, (dir_ / "kit.sf2").string(), 128, 0, key);
      xi.push_back(BandsDb(n.xi));
      bank.push_back(BandsDb(n.bank));
    }
    for (std::size_t k = 0; k < keys.size(); ++k) {
      std::size_t best = 0;
      double other = -1;
      for (std::size_t j = 0; j < keys.size(); ++j) {
        if (Correlation(xi[k], bank[j]) > Correlation(xi[k], bank[best])) best = j;
        if (j != k) other = std::max(other, Correlation(xi[k], bank[j]));
      }
      std::printf("%s kit key %d: correlation %.3f with its drum, %.3f at most with another\n",
                  path, keys[k], Correlation(xi[k], bank[k]), other);
      EXPECT_EQ(keys[best], keys[k]) << path;
    }
    RemoveInstruments();
  }
}

}  // namespace
}  // namespace brumlet
