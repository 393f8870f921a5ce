// melodic_compare: the program's melodic presets played by trackers against the bank played by
// fluidsynth.
//
//   melodic_compare BANK [--program B:P ...] [--keys 36,48,60,72,84] [--player openmpt|xmp|both]
//                   [--brumlet PATH] [--jobs N] [--cache DIR] [--keep]
//
// The presets are every one that is not a drum kit (not of bank 128, and not at least 8 zones at
// velocity 100 three quarters of which cover a single key); --program picks among them (B:P B:P,
// B:P,B:P or --program repeated). Each is played at velocity 100 on keys 36, 48, 60, 72 and 84
// (--keys), held 2 s, then released for 1 s, and rendered for 3.2 s:
//  - by fluidsynth, from a copy of the bank whose filters (initialFilterFc 13500 in instruments and
//    no offset in presets; initialFilterQ, modEnvToFilterFc and modLfoToFilterFc 0), LFOs
//    (modLfoToPitch, vibLfoToPitch, modLfoToVolume 0) and modulators are switched off, but not the
//    modulation envelope's pitch (modEnvToPitch stays). One fluidsynth run plays all of a
//    preset's keys;
//  - by openmpt123 and xmp (--player), from the file the program (`brumlet --sf2 BANK`, by default
//    this build's, else --brumlet) wrote for the preset, wrapped into a one-note module.
// --jobs, --cache and --keep as for kit_compare.
//
// Output, per player:
//   a row per note: preset, key, player, the pitch error in cents (the render's strongest partial
//   within a semitone of the bank's against the bank's strongest partial between 0.9 and 6.5
//   times the key's frequency, over 1.49 s from 0.3 s; a partial counts where it stands 20 dB
//   above the median of that range, else the row says "unpitched" for the bank's, "no partial"
//   for the render's), and for an error beyond 10 cents what the zone the XI
//   keeps for the key explains it by (the first that applies): "layer choice" (several zones
//   sound on the key whose coarse and fine tuning differ by more than 10 cents, or the kept zone is
//   not the one tuned nearest 0), "scaleTuning" (the kept zone spans several keys with
//   scaleTuning not 100), "held pitch" (modEnvToPitch with a sustainModEnv below 1000), "pitch
//   LFO" (vibLfoToPitch or modLfoToPitch), "none"; "unmatched" when no zone sounding on the key
//   has the XI sample's name (a sample beyond 16 merged into another, or a fill). Then the
//   attack peak (s), the levels at 1 s and 2 s (RMS of the 50 ms before, against the loudest 50
//   ms of the held part, held at -60 dB) and the time to fall 30 dB after the key-off (s, "-"
//   where the note is too quiet at the key-off to tell, ">" where it does not fall so far), each
//   as bank / render. "silent" marks a render below -60 dBFS where the bank sounds, "bank silent"
//   a note the bank does not sound.
//   A row per preset and player: its loudness (RMS over its notes' held parts, against the median
//   preset in the same player; the bank's against its median preset) minus the bank's, flagged
//   "LOUDNESS" beyond 6 dB; its balance (left against right RMS) in the render and the bank,
//   flagged "SIDE" where the render leans more than 6 dB to one side and the bank less than 3 dB.
//   A summary per player: pitched notes, unpitched ones and those without the bank's partial,
//   notes more than 10 cents off by what explains them,
//   silent notes, flagged presets, and the pitch, attack, level and release errors (median of
//   their sizes, and the worst).
// Exit code 0 when it measured, 1 when something it needs is missing or failed, 2 for a wrong
// command line.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>
#include <map>
#include <string>
#include <vector>

#include "bank_zones.h"
#include "compare_session.h"
#include "conversion.h"
#include "error_stats.h"
#include "job_pool.h"
#include "levels.h"
#include "neutralised_bank.h"
#include "pitch.h"
#include "sf2_reader.h"
#include "tool_options.h"

namespace brumlet::measure {
namespace {

constexpr NoteTiming kTiming{2.0, 3.2};
const std::vector<int> kDefaultKeys = {36, 48, 60, 72, 84};
constexpr double kFloorDb = -60;
constexpr double kLevelWindow = 0.05, kCurveStep = 0.005;
// The partials are compared over 1.49 s from here, within the held part.
constexpr double kPartialFrom = 0.3;
// A partial this far above its neighbours makes a note pitched: noise's strongest stands about
// 10 dB above, a steady tone's 40 dB and more.
constexpr double kProminentDb = 20;
constexpr double kPartialLow = 0.9, kPartialHigh = 6.5;  // times the key's frequency
constexpr double kReleaseDropDb = 30;
constexpr double kOffCents = 10;
constexpr double kLoudnessFlagDb = 6, kSideFlagDb = 6, kBankCentredDb = 3;

// Generator operators the attribution reads.
constexpr int kModLfoToPitch = 5, kVibLfoToPitch = 6, kModEnvToPitch = 7, kSustainModEnv = 29,
              kScaleTuning = 56;
constexpr int kFullSustainModEnv = 1000;

// What is measured of one render of one note.
struct NoteFigures {
  bool rendered = false;
  double peak_db = kFloorDb;  // the loudest sample, dB full scale
  Partial partial;
  double attack = 0;
  double level_1 = 0, level_2 = 0;        // against the loudest 50 ms held, held at kFloorDb
  double release = NAN;                   // NAN: too quiet at the key-off to tell
  bool release_beyond = false;            // did not fall so far before the render ended
  double power = 0, left = 0, right = 0;  // mean squares over the held part

  bool Sounds() const { return rendered && peak_db >= kFloorDb; }
};

struct Note {
  int key = 0;
  std::string problem;
  std::string attribution;  // of a pitch error, for the zone the XI keeps
  NoteFigures bank;
  std::vector<NoteFigures> players;
};

struct Preset {
  const Sf2Preset* preset = nullptr;
  std::string label;
  std::string problem;
  std::vector<Note> notes;
};

// The frequency of `key`, A-4 (69) at 440 Hz.
double KeyHz(int key) { return 440 * std::exp2((key - 69) / 12.0); }

bool Pitched(const Partial& partial) {
  return !std::isnan(partial.hz) && partial.prominence_db >= kProminentDb && !partial.at_edge;
}

double MeanSquare(const std::vector<double>& x, std::size_t to) {
  double sum = 0;
  to = std::min(to, x.size());
  for (std::size_t i = 0; i < to; ++i) sum += x[i] * x[i];
  return to ? sum / static_cast<double>(to) : 0;
}

// The figures of `render`, its strongest partial sought between `low_hz` and `high_hz` and
// weighed against the median of the key's range of partials, from 0.9 to 6.5 times `key_hz`.
NoteFigures Measure(const Rendered& render, double key_hz, double low_hz, double high_hz) {
  NoteFigures f;
  if (render.rate == 0 || render.mono.empty()) return f;
  f.rendered = true;
  double peak = 0;
  for (const auto* channel : {&render.mono, &render.left, &render.right}) {
    for (double x : *channel) peak = std::max(peak, std::abs(x));
  }
  f.peak_db = 20 * std::log10(std::max(peak, 1e-10));
  if (!f.Sounds()) return f;
  const double on = kTiming.on_seconds;
  f.partial = StrongestPartial(render, kPartialFrom, low_hz, high_hz, key_hz * kPartialLow,
                               key_hz * kPartialHigh);
  f.attack = AttackPeakSeconds(render, on - 0.1);
  const std::vector<double> curve = LevelCurveDb(render, kLevelWindow, kCurveStep);
  const auto held = std::min(curve.size(), static_cast<std::size_t>(on / kCurveStep));
  if (held == 0) return f;
  const double loudest =
      *std::max_element(curve.begin(), curve.begin() + static_cast<std::ptrdiff_t>(held));
  auto level = [&](double at) {
    return std::max(kFloorDb, LevelDb(render, at - kLevelWindow, at) - loudest);
  };
  f.level_1 = level(1.0);
  f.level_2 = level(on);
  if (f.level_2 - kReleaseDropDb > kFloorDb) {
    f.release = FallSeconds(render, on, kReleaseDropDb);
    if (f.release < 0) {
      f.release = kTiming.length_seconds - on;
      f.release_beyond = true;
    }
  }
  const std::size_t held_frames = FrameAt(render, on);
  f.power = MeanSquare(render.mono, held_frames);
  f.left = MeanSquare(render.left, held_frames);
  f.right = MeanSquare(render.right, held_frames);
  return f;
}

// What explains a pitch error on `key`, by the zone the XI file keeps for it.
std::string Attribution(const Sf2Reader& bank, const Sf2Preset& preset, const XiFile& xi, int key) {
  const auto index = static_cast<std::size_t>(xi.key_map.at(static_cast<std::size_t>(key)));
  const std::vector<const Sf2Zone*> zones = ZonesOnKey(preset, key);
  if (index >= xi.samples.size()) return "unmatched";
  const XiSample& sample = xi.samples[index];
  const Sf2Zone* kept =
      ZoneOfSample(bank, zones, sample.name, key, sample.relative_note * 128 + sample.finetune);
  if (!kept) return "unmatched";
  int low = TuningOffsetCents(*kept), high = low, nearest = std::abs(low);
  for (const Sf2Zone* zone : zones) {
    low = std::min(low, TuningOffsetCents(*zone));
    high = std::max(high, TuningOffsetCents(*zone));
    nearest = std::min(nearest, std::abs(TuningOffsetCents(*zone)));
  }
  const auto& g = kept->gen;
  if (high - low > kOffCents || std::abs(TuningOffsetCents(*kept)) > nearest) return "layer choice";
  if (kept->key_low != kept->key_high && g[kScaleTuning] != 100) return "scaleTuning";
  if (g[kModEnvToPitch] != 0 && g[kSustainModEnv] < kFullSustainModEnv) return "held pitch";
  if (g[kVibLfoToPitch] != 0 || g[kModLfoToPitch] != 0) return "pitch LFO";
  return "none";
}

void MeasurePreset(const CompareSession& session, const ToolOptions& options, const Sf2Reader& bank,
                   Preset& preset, int worker) {
  const std::string folder = session.WorkFolder(worker);
  const Sf2Preset& sf2 = *preset.preset;
  if (sf2.bank > kPercussionBank) {
    preset.problem = "its bank cannot be chosen by a MIDI bank select";
    return;
  }
  const std::vector<PartFile> parts = PresetFiles(session.conversion(), sf2.bank, sf2.program);
  if (parts.empty()) {
    preset.problem = "the program wrote no file";
    return;
  }
  const std::vector<int> owners = KeyOwners(bank, sf2, parts);
  const std::vector<Rendered> renders = session.RenderBankNotes(sf2, options.keys, kTiming, folder);
  std::vector<CompareSession::XiNote> notes;
  std::vector<std::size_t> noted;  // which of the preset's notes each XI note is
  for (std::size_t i = 0; i < options.keys.size(); ++i) {
    Note& note = preset.notes.emplace_back();
    note.key = options.keys[i];
    const double hz = KeyHz(note.key);
    note.bank = Measure(renders[i], hz, hz * kPartialLow, hz * kPartialHigh);
    if (!note.bank.rendered) note.problem = "fluidsynth failed";
    const auto owner = static_cast<std::size_t>(owners[static_cast<std::size_t>(note.key)]);
    if (owner >= parts.size() || parts[owner].xi.key_map.empty()) {
      note.problem = "no readable file holds the key";
    }
    note.players.resize(options.players.size());
    if (!note.problem.empty()) continue;
    note.attribution = Attribution(bank, sf2, parts[owner].xi, note.key);
    notes.push_back({&parts[owner].bytes, note.key});
    noted.push_back(i);
  }
  const double semitone = std::exp2(1.0 / 12);
  for (std::size_t p = 0; p < options.players.size(); ++p) {
    const std::vector<Rendered> played =
        CompareSession::RenderXiNotes(options.players[p], notes, kTiming, folder);
    for (std::size_t n = 0; n < noted.size(); ++n) {
      Note& note = preset.notes[noted[n]];
      note.players[p] = Measure(played[n], KeyHz(note.key), note.bank.partial.hz / semitone,
                                note.bank.partial.hz * semitone);
      if (!note.players[p].rendered) {
        note.problem = std::string(PlayerProgram(options.players[p])) + " failed";
      }
    }
  }
}

double Db(double power) { return 10 * std::log10(std::max(power, 1e-20)); }

// "0.25 / 0.31"-style pairs; "-" for what was not measured.
std::string Pair(double bank, double xi, const char* format, bool beyond_bank = false,
                 bool beyond_xi = false) {
  auto one = [format](double v, bool beyond) {
    if (std::isnan(v)) return std::string("-");
    char text[32] = ">";
    std::snprintf(text + 1, sizeof text - 1, format, v);
    return std::string(beyond ? text : text + 1);
  };
  return one(bank, beyond_bank) + "/" + one(xi, beyond_xi);
}

// Per player: what the summary counts.
struct Tally {
  int notes = 0, pitched = 0, unpitched = 0, no_partial = 0, silent = 0, loudness_flags = 0,
      side_flags = 0, presets = 0;
  std::map<std::string, int> off;  // notes beyond 10 cents, by attribution
  ErrorList pitch, attack, level_1, level_2, release;
};

// A preset's loudness (dB) in the bank's render (player -1) or a player's, over the notes the
// bank sounds; NAN when it sounds none.
double PresetLoudness(const Preset& preset, int player) {
  double sum = 0;
  int count = 0;
  for (const Note& note : preset.notes) {
    if (!note.problem.empty() || !note.bank.Sounds()) continue;
    sum += player < 0 ? note.bank.power : note.players[static_cast<std::size_t>(player)].power;
    ++count;
  }
  return count ? Db(sum / count) : NAN;
}

double PresetBalance(const Preset& preset, int player) {
  double left = 0, right = 0;
  for (const Note& note : preset.notes) {
    if (!note.problem.empty() || !note.bank.Sounds()) continue;
    const NoteFigures& f = player < 0 ? note.bank : note.players[static_cast<std::size_t>(player)];
    left += f.left;
    right += f.right;
  }
  // Held within the floor both ways: one silent side reads as 60 dB to the other.
  return std::clamp(Db(left) - Db(right), kFloorDb, -kFloorDb);
}

void Report(const std::vector<Preset>& presets, const ToolOptions& options) {
  const int players = static_cast<int>(options.players.size());
  std::vector<Tally> tallies(options.players.size());
  // The median preset's loudness in each render.
  std::vector<double> medians;
  for (int p = -1; p < players; ++p) {
    std::vector<double> loudness;
    for (const Preset& preset : presets) {
      if (const double l = PresetLoudness(preset, p); !std::isnan(l)) loudness.push_back(l);
    }
    medians.push_back(Median(loudness));
  }
  std::printf("%-28s %3s %-7s %8s %-12s %11s %11s %11s %11s\n", "preset", "key", "player", "cents",
              "why", "attack s", "1 s dB", "2 s dB", "-30 dB s");
  for (const Preset& preset : presets) {
    if (!preset.problem.empty()) {
      std::printf("%-28s  not measured: %s\n", preset.label.c_str(), preset.problem.c_str());
      continue;
    }
    for (int p = 0; p < players; ++p) {
      Tally& tally = tallies[static_cast<std::size_t>(p)];
      const char* player = PlayerName(options.players[static_cast<std::size_t>(p)]);
      for (const Note& note : preset.notes) {
        if (!note.problem.empty()) {
          std::printf("%-28s %3d %-7s not measured: %s\n", preset.label.c_str(), note.key, player,
                      note.problem.c_str());
          continue;
        }
        const NoteFigures& b = note.bank;
        const NoteFigures& x = note.players[static_cast<std::size_t>(p)];
        ++tally.notes;
        const std::string where = preset.label + " key " + std::to_string(note.key);
        if (!b.Sounds()) {
          std::printf("%-28s %3d %-7s bank silent\n", preset.label.c_str(), note.key, player);
          continue;
        }
        if (!x.Sounds()) {
          ++tally.silent;
          std::printf("%-28s %3d %-7s silent (%.0f dBFS)\n", preset.label.c_str(), note.key, player,
                      x.peak_db);
          continue;
        }
        std::string why;
        double cents = NAN;
        if (!Pitched(b.partial)) {
          why = "unpitched";
          ++tally.unpitched;
        } else if (!Pitched(x.partial)) {
          why = "no partial";
          ++tally.no_partial;
        } else {
          cents = 1200 * std::log2(x.partial.hz / b.partial.hz);
          ++tally.pitched;
          tally.pitch.Add(cents, where);
          if (std::abs(cents) > kOffCents) {
            why = note.attribution;
            ++tally.off[why];
          }
        }
        tally.attack.Add(x.attack - b.attack, where);
        tally.level_1.Add(x.level_1 - b.level_1, where);
        tally.level_2.Add(x.level_2 - b.level_2, where);
        if (!std::isnan(b.release) && !std::isnan(x.release)) {
          tally.release.Add(x.release - b.release, where);
        }
        char cents_text[16] = "-";
        if (!std::isnan(cents)) std::snprintf(cents_text, sizeof cents_text, "%+.1f", cents);
        std::printf(
            "%-28s %3d %-7s %8s %-12s %11s %11s %11s %11s\n", preset.label.c_str(), note.key,
            player, cents_text, why.c_str(), Pair(b.attack, x.attack, "%.3f").c_str(),
            Pair(b.level_1, x.level_1, "%.1f").c_str(), Pair(b.level_2, x.level_2, "%.1f").c_str(),
            Pair(b.release, x.release, "%.2f", b.release_beyond, x.release_beyond).c_str());
      }
      const double bank_loudness = PresetLoudness(preset, -1);
      if (std::isnan(bank_loudness)) continue;
      ++tally.presets;
      const double loudness =
          (PresetLoudness(preset, p) - medians[static_cast<std::size_t>(p) + 1]) -
          (bank_loudness - medians[0]);
      const double side = PresetBalance(preset, p), bank_side = PresetBalance(preset, -1);
      const bool loud_flag = std::abs(loudness) > kLoudnessFlagDb;
      const bool side_flag = std::abs(side) > kSideFlagDb && std::abs(bank_side) <= kBankCentredDb;
      tally.loudness_flags += loud_flag;
      tally.side_flags += side_flag;
      std::printf(
          "%-28s     %-7s loudness %+.1f dB%s, balance %+.1f / %+.1f dB (left over "
          "right, bank / render)%s\n",
          preset.label.c_str(), player, loudness, loud_flag ? " LOUDNESS" : "", bank_side, side,
          side_flag ? " SIDE" : "");
    }
  }
  for (int p = 0; p < players; ++p) {
    const Tally& tally = tallies[static_cast<std::size_t>(p)];
    int off = 0;
    std::string by;
    for (const char* why :
         {"layer choice", "scaleTuning", "held pitch", "pitch LFO", "none", "unmatched"}) {
      const auto it = tally.off.find(why);
      const int count = it == tally.off.end() ? 0 : it->second;
      off += count;
      by += std::string(by.empty() ? "" : ", ") + why + " " + std::to_string(count);
    }
    std::printf("\n== %s: summary over %d presets, %d notes\n",
                PlayerName(options.players[static_cast<std::size_t>(p)]), tally.presets,
                tally.notes);
    std::printf("pitched notes: %d\n", tally.pitched);
    std::printf("notes the bank plays unpitched: %d\n", tally.unpitched);
    std::printf("notes without a partial within a semitone of the bank's: %d\n", tally.no_partial);
    std::printf("notes more than %.0f cents off: %d (%s)\n", kOffCents, off, by.c_str());
    std::printf("pitch error: %s\n", tally.pitch.Summary("cents", 1).c_str());
    std::printf("silent notes: %d\n", tally.silent);
    std::printf("presets more than %.0f dB off in loudness: %d of %d\n", kLoudnessFlagDb,
                tally.loudness_flags, tally.presets);
    std::printf("presets more than %.0f dB to one side: %d of %d\n", kSideFlagDb, tally.side_flags,
                tally.presets);
    std::printf("attack error: %s\n", tally.attack.Summary("s", 3).c_str());
    std::printf("level error at 1 s: %s\n", tally.level_1.Summary("dB", 1).c_str());
    std::printf("level error at 2 s: %s\n", tally.level_2.Summary("dB", 1).c_str());
    std::printf("release error: %s\n", tally.release.Summary("s", 2).c_str());
  }
}

int Main(const std::vector<std::string>& args) {
  ToolOptions options;
  options.brumlet = BRUMLET_BINARY;
  if (const std::string error = ParseToolOptions(args, options); !error.empty()) {
    std::fprintf(stderr,
                 "melodic_compare: %s\nusage: melodic_compare BANK [--program B:P ...] "
                 "[--keys K,K,...] [--player openmpt|xmp|both] [--brumlet PATH] [--jobs N] "
                 "[--cache DIR] [--keep]\n",
                 error.c_str());
    return 2;
  }
  if (options.keys.empty()) options.keys = kDefaultKeys;
  std::string error;
  const CompareSession session(
      options, neutralise::kFilter | neutralise::kModLfo | neutralise::kVibLfo, error);
  if (!error.empty()) {
    std::fprintf(stderr, "melodic_compare: %s\n", error.c_str());
    return 1;
  }
  const Sf2Reader bank(options.bank);
  std::vector<Preset> presets;
  for (std::size_t p : DistinctPresets(bank)) {
    const Sf2Preset& preset = bank.presets[p];
    if (Chosen(options, preset.bank, preset.program) && !IsKit(bank, preset)) {
      presets.push_back({&preset, PresetLabel(preset), "", {}});
    }
  }
  std::printf("melodic_compare: %s, %zu presets; the program's run ended with %d\n\n",
              options.bank.c_str(), presets.size(), session.conversion().code);
  RunJobs(presets.size(), options.jobs, [&](std::size_t p, int worker) {
    MeasurePreset(session, options, bank, presets[p], worker);
    std::fprintf(stderr, "melodic_compare: %s measured\n", presets[p].label.c_str());
  });
  Report(presets, options);
  return 0;
}

}  // namespace
}  // namespace brumlet::measure

int main(int argc, char** argv) {
  try {
    return brumlet::measure::Main(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "melodic_compare: %s\n", e.what());
    return 1;
  }
}
