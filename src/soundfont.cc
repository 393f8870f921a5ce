#include "soundfont.h"

#include <algorithm>
#include <cstdio>
#include <numeric>
#include <optional>
#include <vector>

#include "messages.h"
#include "output_file.h"
#include "sf2/bank.h"
#include "sf2/generators.h"
#include "sf2/preset_choice.h"
#include "sf2/preset_plan.h"
#include "xi/instrument.h"
#include "xi/instrument_writer.h"

namespace brumlet {
namespace {

constexpr std::string_view kListChoice = "--list";

// "000:025 Acoustic Guitar": how the report lines name a preset.
std::string PresetLabel(const sf2::PresetSummary& summary) {
  char numbers[16];
  std::snprintf(numbers, sizeof numbers, "%03d:%03d ", summary.bank, summary.program);
  return numbers + summary.name;
}

// For each preset, the first earlier one of the same bank and program, if any: players use the
// first of them, so the others are skipped (named alike, they would write over its file).
// `order` holds the presets by their numbers, in the bank's order among equals.
std::vector<std::optional<std::size_t>> EarlierTwins(const sf2::Bank& bank,
                                                     const std::vector<std::size_t>& order) {
  std::vector<std::optional<std::size_t>> twins(bank.PresetCount());
  for (std::size_t i = 1; i < order.size(); ++i) {
    const sf2::PresetHeader& a = bank.presets[order[i - 1]];
    const sf2::PresetHeader& b = bank.presets[order[i]];
    if (a.bank == b.bank && a.program == b.program) {
      twins[order[i]] = twins[order[i - 1]].value_or(order[i - 1]);
    }
  }
  return twins;
}

// The skip line of a preset that comes after its twin.
std::string TwinSkipLine(const sf2::Bank& bank, std::size_t preset, std::size_t first) {
  const sf2::PresetHeader& h = bank.presets[preset];
  return PresetSkipLine(PresetLabel({h.bank, h.program, h.name, 0, 0}),
                        PresetAfterTwin(bank.presets[first].name));
}

// What the report line says was left out or merged: the preset's on its first part only.
std::string Notes(const sf2::PresetPlan& plan, const sf2::InstrumentPlan& part) {
  std::vector<std::string> notes;
  auto count = [&notes](int n, std::string_view one, std::string_view many, std::string_view what) {
    if (n > 0) notes.push_back(CountNote(n, one, many, what));
  };
  if (part.part == 1) {
    count(plan.velocity_layers_left_out, "velocity layer", "velocity layers", "left out");
    count(plan.layers_left_out, "layer", "layers", "left out");
    count(plan.zones_above_keyboard, "zone", "zones", "above B-7 left out");
  }
  count(part.pairs_mixed, "stereo pair", "stereo pairs", "mixed");
  count(part.samples_merged, "sample", "samples", "beyond 16 merged");
  count(part.loops_dropped, "loop", "loops", "outside its sample dropped");
  count(part.scale_tunings_lost, "scale tuning", "scale tunings", "over several keys not kept");
  if (!part.unmapped_generators.empty()) {
    std::string names;
    for (int oper : part.unmapped_generators) {
      if (!names.empty()) names += ' ';
      names += sf2::GeneratorName(oper);
    }
    notes.push_back(UnmappedGeneratorsNote(names));
  }
  if (part.envelope_compressed) notes.emplace_back(kEnvelopeCompressedNote);
  std::string joined;
  for (const std::string& note : notes) joined += joined.empty() ? note : ", " + note;
  return joined;
}

// The instrument description of one planned part: its samples are ranges of the bank's sample
// data, the bank being the one open file.
Instrument Describe(const sf2::InstrumentPlan& part) {
  Instrument instrument;
  instrument.name = part.name;
  instrument.envelope = part.envelope.value_or(PluckedEnvelope());
  instrument.vibrato = part.vibrato.value_or(xi::AutoVibrato{});
  std::copy(part.key_map.begin(), part.key_map.end(), instrument.keys.begin());
  for (const sf2::PlannedSample& planned : part.samples) {
    InstrumentSample sample;
    sample.name = planned.name;
    sample.root_key = planned.root_key;
    sample.relative_note = planned.pitch.relative_note;
    sample.finetune = planned.pitch.finetune;
    sample.sixteen_bit = true;
    sample.frames = planned.source.range.frames;
    if (planned.loop) {
      sample.loop = SampleLoop::kForward;
      sample.loop_start = planned.loop->start;
      sample.loop_length = planned.loop->length;
    }
    sample.volume = planned.volume;
    sample.panning = planned.panning;
    Pcm16Source data{planned.source.range.file_offset, -1, 0};
    if (planned.source.partner_sample) {
      data.mixed_with_offset = planned.source.partner_range.file_offset;
      data.mixed_frames = planned.source.partner_range.frames;
    }
    sample.source = {0, data};
    instrument.samples.push_back(std::move(sample));
  }
  return instrument;
}

}  // namespace

std::string PresetFileName(int bank, int program, std::string_view name, int part, int parts) {
  std::string clean;
  for (char c : name) {
    const auto u = static_cast<unsigned char>(c);
    const bool refused =
        u < 0x20 || u == 0x7F || std::string_view("<>:\"/\\|?*").find(c) != std::string_view::npos;
    clean += refused ? '_' : c;
  }
  while (!clean.empty() && (clean.back() == '.' || clean.back() == ' ')) clean.pop_back();
  char numbers[16];
  std::snprintf(numbers, sizeof numbers, "%03d-%03d", bank, program);
  std::string file = numbers;
  if (!clean.empty()) file += " " + clean;
  if (parts > 1) file += " (" + std::to_string(part) + " of " + std::to_string(parts) + ")";
  return file + ".xi";
}

BankConversion::BankConversion(std::string bank_path, std::optional<std::string> choice)
    : bank_path_(std::move(bank_path)), choice_(std::move(choice)) {}

int BankConversion::Run(Platform& platform) {
  if (!platform.IsExistingFile(bank_path_)) throw NothingMatches(bank_path_);
  const std::unique_ptr<File> file = platform.OpenRead(bank_path_, Site::kBankOpen);
  const std::string bank_name(platform.BareName(bank_path_));
  const sf2::Bank bank = sf2::ReadBank(*file, bank_name);
  Console& console = platform.console();

  // Presets in the order of their numbers, as a user looks for them.
  std::vector<std::size_t> order(bank.PresetCount());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(), [&bank](std::size_t a, std::size_t b) {
    const sf2::PresetHeader& x = bank.presets[a];
    const sf2::PresetHeader& y = bank.presets[b];
    return x.bank != y.bank ? x.bank < y.bank : x.program < y.program;
  });

  const std::vector<std::optional<std::size_t>> twins = EarlierTwins(bank, order);

  if (choice_ == kListChoice) {
    for (std::size_t preset : order) {
      if (twins[preset]) {
        console.Write(TwinSkipLine(bank, preset, *twins[preset]));
        continue;
      }
      const sf2::PresetPlan plan = sf2::PlanPreset(bank, preset);
      console.Write(plan.skip ? PresetSkipLine(PresetLabel(plan.summary), plan.skip->why)
                              : PresetListLine(PresetLabel(plan.summary), plan.summary.zones,
                                               plan.summary.samples));
    }
    file->Close(Site::kBankClose);
    return exit_code::kSuccess;
  }

  const sf2::PresetChoice choice = choice_ ? sf2::PresetChoice(*choice_) : sf2::PresetChoice();
  std::erase_if(order, [&](std::size_t preset) {
    const sf2::PresetHeader& header = bank.presets[preset];
    return !choice.Matches(header.bank, header.program, header.name);
  });
  if (order.empty()) throw NoPresetChosen(*choice_, bank_name);

  console.Write(BankProcessingLine(bank_path_));
  int code = exit_code::kSuccess;
  File* const sources[] = {file.get()};
  const File* const inputs[] = {file.get()};
  for (std::size_t preset : order) {
    if (twins[preset]) {
      console.Write(TwinSkipLine(bank, preset, *twins[preset]));
      code = exit_code::kBankRefused;
      continue;
    }
    const sf2::PresetPlan plan = sf2::PlanPreset(bank, preset);
    const std::string label = PresetLabel(plan.summary);
    // A preset that plays nothing (no zone at velocity 100 on a tracker's keys) has one part
    // without samples, which no XI can hold: it is skipped before an output is created.
    if (plan.skip || plan.instruments.empty() || plan.instruments.front().samples.empty()) {
      console.Write(PresetSkipLine(
          label, plan.skip ? std::string_view(plan.skip->why) : kPresetPlaysNothing));
      code = exit_code::kBankRefused;
      continue;
    }
    for (const sf2::InstrumentPlan& part : plan.instruments) {
      const std::string name = PresetFileName(plan.summary.bank, plan.summary.program,
                                              plan.summary.name, part.part, part.part_count);
      RefuseToReplaceAForeignFile(name, platform);
      const std::unique_ptr<File> output = CreateOutput(name, inputs, platform);
      WriteInstrument(Describe(part), sources, *output, image_, buffers_);
      output->Close(Site::kOutputClose);
      console.Write(PresetReportLine(label, name, part.samples.size(), Notes(plan, part)));
    }
  }
  file->Close(Site::kBankClose);
  return code;
}

}  // namespace brumlet
