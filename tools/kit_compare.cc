// kit_compare: the program's drum kits played by trackers against the bank played by fluidsynth.
//
//   kit_compare BANK [--program B:P ...] [--keys 35,38,...] [--player openmpt|xmp|both]
//               [--brumlet PATH] [--jobs N] [--cache DIR] [--keep]
//
// The kits are every preset of bank 128 and every preset laid out as a kit (at least 8 zones at
// velocity 100, a stereo pair counted once, three quarters of them over a single key); --program
// picks among them (B:P B:P, B:P,B:P or --program repeated). Each key of a kit that a zone sounds
// on at velocity 100 (--keys: only those) is played at velocity 100, held 1 s, and rendered for
// 1.2 s:
//  - by fluidsynth, from a copy of the bank whose LFOs (modLfoToPitch, vibLfoToPitch,
//    modLfoToFilterFc, modLfoToVolume) and modulators are switched off; filters and modulation
//    envelopes play as the bank has them. One fluidsynth run plays all of a kit's keys;
//  - by openmpt123 and xmp (--player), from the file the program (`brumlet --sf2 BANK`, by default
//    this build's, else --brumlet) wrote for the kit, the part of a split kit that holds the key
//    (see KeyOwners in measure/conversion.h), wrapped into a one-note module.
// --jobs runs that many renders at once (2); --cache keeps fluidsynth's renders in a folder,
// named after the bank's contents and what was played, for the next run; --keep leaves the
// scratch folder (the program's files, the neutralised bank) in place and names it.
//
// Output, per player:
//   a row per key: preset, key, player, "yes" when the key's render is nearest, by the
//   correlation of its sixth-octave band spectrum over the first 0.37 s, to the bank's render of
//   the same key among all keys of the kit played ("NO" else; a bank drum of another key with the
//   same spectrum counts as the same), that correlation and the best with the key that gave it,
//   then three errors in dB, the render's figure minus the bank's:
//     level at 0.5 s and at 1 s (RMS of the 50 ms before, against the render's own loudest 50 ms;
//     both held at -60 dB, so that two silent notes agree), and loudness (RMS of the first 0.5 s,
//     against the median key of the kit in the same render).
//   For each kit with key 34 (the metronome bell of General MIDI kits), its band spectrum in
//   the bank's render and each player's, in dB below each one's loudest band, and the
//   correlations.
//   A summary per player: keys matched of keys, level errors at 0.5 s and 1 s (median of their
//   sizes, and the worst), keys ringing more than 6 dB above the bank at 1 s, loudness errors.
// Exit code 0 when it measured, 1 when something it needs is missing or failed, 2 for a wrong
// command line.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "bank_zones.h"
#include "compare_session.h"
#include "conversion.h"
#include "error_stats.h"
#include "job_pool.h"
#include "levels.h"
#include "neutralised_bank.h"
#include "sf2_reader.h"
#include "band_levels.h"
#include "tool_options.h"

namespace brumlet::measure {
namespace {

constexpr NoteTiming kTiming{1.0, 1.2};
// Levels are compared down to here: below it two notes count as equally silent.
constexpr double kFloorDb = -60;
constexpr double kLevelWindow = 0.05;
constexpr double kLoudnessSeconds = 0.5;
// A key rings when its level at 1 s stands this far above the bank's.
constexpr double kRingingDb = 6;
// Two bank drums whose spectra correlate this well are the same drum.
constexpr double kSameDrum = 0.999;
constexpr int kMetronomeBell = 34;

// What is measured of one render of one key.
struct KeyFigures {
  bool rendered = false;
  std::vector<double> bands;
  double level_half = 0, level_end = 0;  // against the loudest 50 ms, held at kFloorDb
  double loudness = 0;                   // absolute, dB
};

struct KitKey {
  int key = 0;
  std::string problem;  // why it was not measured
  KeyFigures bank;
  std::vector<KeyFigures> players;  // in the order of the options' players
};

struct Kit {
  const Sf2Preset* preset = nullptr;
  std::string label;
  std::string problem;
  std::vector<KitKey> keys;
};

KeyFigures Measure(const Rendered& render) {
  KeyFigures figures;
  if (render.rate == 0 || render.mono.empty()) return figures;
  figures.rendered = true;
  figures.bands = BandsDb(render);
  const std::vector<double> curve = LevelCurveDb(render, kLevelWindow);
  if (curve.empty()) return figures;
  const double loudest = *std::max_element(curve.begin(), curve.end());
  auto level = [&](double at) {
    return std::max(kFloorDb, LevelDb(render, at - kLevelWindow, at) - loudest);
  };
  figures.level_half = level(0.5);
  figures.level_end = level(kTiming.on_seconds);
  figures.loudness = LevelDb(render, 0, kLoudnessSeconds);
  return figures;
}

void MeasureKit(const CompareSession& session, const ToolOptions& options, const Sf2Reader& bank,
                Kit& kit, int worker) {
  const std::string folder = session.WorkFolder(worker);
  if (kit.preset->bank > kPercussionBank) {
    kit.problem = "its bank cannot be chosen by a MIDI bank select";
    return;
  }
  const std::vector<PartFile> parts =
      PresetFiles(session.conversion(), kit.preset->bank, kit.preset->program);
  if (parts.empty()) {
    kit.problem = "the program wrote no file";
    return;
  }
  const std::vector<int> owners = KeyOwners(bank, *kit.preset, parts);
  std::vector<int> keys;
  for (int key : MappedKeys(*kit.preset)) {
    if (KeyChosen(options, key)) keys.push_back(key);
  }
  if (keys.empty()) return;
  const std::vector<Rendered> renders = session.RenderBankNotes(*kit.preset, keys, kTiming, folder);
  std::vector<CompareSession::XiNote> notes;
  std::vector<std::size_t> noted;  // which of the kit's keys each note is
  for (std::size_t i = 0; i < keys.size(); ++i) {
    KitKey& key = kit.keys.emplace_back();
    key.key = keys[i];
    key.bank = Measure(renders[i]);
    if (!key.bank.rendered) key.problem = "fluidsynth failed";
    const auto owner = static_cast<std::size_t>(owners[static_cast<std::size_t>(key.key)]);
    if (owner >= parts.size() || parts[owner].xi.key_map.empty()) {
      key.problem = "no readable file holds the key";
    }
    key.players.resize(options.players.size());
    if (key.problem.empty()) {
      notes.push_back({&parts[owner].bytes, key.key});
      noted.push_back(i);
    }
  }
  for (std::size_t p = 0; p < options.players.size(); ++p) {
    const std::vector<Rendered> played =
        CompareSession::RenderXiNotes(options.players[p], notes, kTiming, folder);
    for (std::size_t n = 0; n < noted.size(); ++n) {
      KitKey& key = kit.keys[noted[n]];
      key.players[p] = Measure(played[n]);
      if (!key.players[p].rendered) {
        key.problem = std::string(PlayerProgram(options.players[p])) + " failed";
      }
    }
  }
}

// The per-player tallies of the summary.
struct Tally {
  int keys = 0, matched = 0, ringing = 0;
  ErrorList level_half, level_end, loudness;
};

void PrintBell(const Kit& kit, const KitKey& key, const ToolOptions& options) {
  std::printf(
      "\nmetronome bell (key %d) of %s: sixth-octave bands over the first 0.37 s, dB "
      "below each render's loudest band\n%-8s",
      kMetronomeBell, kit.label.c_str(), "Hz");
  for (std::size_t band = 0; band < key.bank.bands.size(); ++band) {
    std::printf(" %5.0f", BandLowHz(band));
  }
  auto row = [](const char* name, const std::vector<double>& bands) {
    const double top = *std::max_element(bands.begin(), bands.end());
    std::printf("\n%-8s", name);
    for (double band : bands) std::printf(" %5.0f", band - top);
  };
  row("bank", key.bank.bands);
  for (std::size_t p = 0; p < options.players.size(); ++p) {
    row(PlayerName(options.players[p]), key.players[p].bands);
  }
  std::printf("\ncorrelation with the bank's:");
  for (std::size_t p = 0; p < options.players.size(); ++p) {
    std::printf(" %s %.3f", PlayerName(options.players[p]),
                Correlation(key.players[p].bands, key.bank.bands));
  }
  std::printf("\n");
}

void Report(const std::vector<Kit>& kits, const ToolOptions& options) {
  std::vector<Tally> tallies(options.players.size());
  std::printf("%-28s %3s %-7s %5s %6s %6s %4s %7s %7s %7s\n", "preset", "key", "player", "drum",
              "own", "best", "of", "0.5 s", "1 s", "loud");
  for (const Kit& kit : kits) {
    if (!kit.problem.empty()) {
      std::printf("%-28s  not measured: %s\n", kit.label.c_str(), kit.problem.c_str());
      continue;
    }
    std::vector<double> bank_loudness;
    for (const KitKey& key : kit.keys) {
      if (key.problem.empty()) bank_loudness.push_back(key.bank.loudness);
    }
    const double bank_median = Median(bank_loudness);
    for (std::size_t p = 0; p < options.players.size(); ++p) {
      Tally& tally = tallies[p];
      std::vector<double> loudness;
      for (const KitKey& key : kit.keys) {
        if (key.problem.empty()) loudness.push_back(key.players[p].loudness);
      }
      const double median = Median(loudness);
      for (const KitKey& key : kit.keys) {
        const char* player = PlayerName(options.players[p]);
        if (!key.problem.empty()) {
          std::printf("%-28s %3d %-7s not measured: %s\n", kit.label.c_str(), key.key, player,
                      key.problem.c_str());
          continue;
        }
        const KeyFigures& xi = key.players[p];
        const KitKey* best = &key;
        for (const KitKey& other : kit.keys) {
          if (other.problem.empty() &&
              Correlation(xi.bands, other.bank.bands) > Correlation(xi.bands, best->bank.bands)) {
            best = &other;
          }
        }
        // A silent render's flat spectrum correlates with nothing, its own drum included.
        const bool matched = Correlation(best->bank.bands, key.bank.bands) >= kSameDrum &&
                             Correlation(xi.bands, key.bank.bands) > 0;
        const double half = xi.level_half - key.bank.level_half;
        const double end = xi.level_end - key.bank.level_end;
        const double loud = (xi.loudness - median) - (key.bank.loudness - bank_median);
        std::printf("%-28s %3d %-7s %5s %6.3f %6.3f %4d %+7.1f %+7.1f %+7.1f\n", kit.label.c_str(),
                    key.key, player, matched ? "yes" : "NO", Correlation(xi.bands, key.bank.bands),
                    Correlation(xi.bands, best->bank.bands), best->key, half, end, loud);
        const std::string where = kit.label + " key " + std::to_string(key.key);
        ++tally.keys;
        tally.matched += matched;
        tally.ringing += end > kRingingDb;
        tally.level_half.Add(half, where);
        tally.level_end.Add(end, where);
        tally.loudness.Add(loud, where);
      }
    }
    for (const KitKey& key : kit.keys) {
      if (key.key == kMetronomeBell && key.problem.empty()) PrintBell(kit, key, options);
    }
  }
  for (std::size_t p = 0; p < options.players.size(); ++p) {
    const Tally& tally = tallies[p];
    std::printf("\n== %s: summary over %zu kits\n", PlayerName(options.players[p]), kits.size());
    std::printf("keys matched: %d of %d\n", tally.matched, tally.keys);
    std::printf("level error at 0.5 s: %s\n", tally.level_half.Summary("dB", 1).c_str());
    std::printf("level error at 1 s: %s\n", tally.level_end.Summary("dB", 1).c_str());
    std::printf("keys ringing more than %.0f dB above the bank at 1 s: %d of %d\n", kRingingDb,
                tally.ringing, tally.keys);
    std::printf("loudness error: %s\n", tally.loudness.Summary("dB", 1).c_str());
  }
}

int Main(const std::vector<std::string>& args) {
  ToolOptions options;
  options.brumlet = BRUMLET_BINARY;
  if (const std::string error = ParseToolOptions(args, options); !error.empty()) {
    std::fprintf(stderr,
                 "kit_compare: %s\nusage: kit_compare BANK [--program B:P ...] [--keys K,K,...] "
                 "[--player openmpt|xmp|both] [--brumlet PATH] [--jobs N] [--cache DIR] "
                 "[--keep]\n",
                 error.c_str());
    return 2;
  }
  std::string error;
  const CompareSession session(options, neutralise::kModLfo | neutralise::kVibLfo, error);
  if (!error.empty()) {
    std::fprintf(stderr, "kit_compare: %s\n", error.c_str());
    return 1;
  }
  const Sf2Reader bank(options.bank);
  std::vector<Kit> kits;
  for (std::size_t p : DistinctPresets(bank)) {
    const Sf2Preset& preset = bank.presets[p];
    if (Chosen(options, preset.bank, preset.program) && IsKit(bank, preset)) {
      kits.push_back({&preset, PresetLabel(preset), "", {}});
    }
  }
  std::printf("kit_compare: %s, %zu kits; the program's run ended with %d\n\n",
              options.bank.c_str(), kits.size(), session.conversion().code);
  RunJobs(kits.size(), options.jobs, [&](std::size_t k, int worker) {
    MeasureKit(session, options, bank, kits[k], worker);
    std::fprintf(stderr, "kit_compare: %s measured\n", kits[k].label.c_str());
  });
  Report(kits, options);
  return 0;
}

}  // namespace
}  // namespace brumlet::measure

int main(int argc, char** argv) {
  try {
    return brumlet::measure::Main(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "kit_compare: %s\n", e.what());
    return 1;
  }
}
