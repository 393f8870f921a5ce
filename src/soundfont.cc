#include "soundfont.h"

#include <algorithm>
#include <cstdio>
#include <numeric>
#include <optional>
#include <vector>

#include "messages.h"
#include "output_file.h"
#include "sampler/describe.h"
#include "sampler/key_render_source.h"
#include "sampler/plan.h"
#include "sampler/report_notes.h"
#include "sampler/work_budget.h"
#include "sf2/bank.h"
#include "sf2/preset_choice.h"
#include "sf2/preset_plan.h"
#include "xi/instrument.h"
#include "xi/instrument_writer.h"

namespace brumlet {
namespace {

constexpr std::string_view kListChoice = "--list";

// "000:025 Acoustic Guitar": how the report lines name a preset.
DisplayText PresetLabel(int bank, int program, std::string_view name) {
  char numbers[16];
  std::snprintf(numbers, sizeof numbers, "%03d:%03d ", bank, program);
  return DisplayText(numbers + std::string(name));
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

// The instrument description of one planned part: its samples are ranges of the bank's sample
// data, the bank being the one open file, or drum keys rendered by `renders` (one for each
// sample, empty where a plan is only measured).
Instrument Describe(const sf2::Bank& bank, const sampler::InstrumentPlan& part,
                    std::span<const std::unique_ptr<sampler::KeyRenderSource>> renders = {}) {
  Instrument instrument = sampler::DescribePlan(part);
  const auto offset = [&bank](const sampler::FrameRange& range) {
    return bank.sample_data_offset + 2 * range.first;
  };
  for (std::size_t i = 0; i < part.samples.size(); ++i) {
    const sampler::PlannedSample& planned = part.samples[i];
    if (planned.render) {
      instrument.samples[i].source = {0, i < renders.size() ? renders[i].get() : nullptr};
      continue;
    }
    Pcm16Source data{offset(planned.source.range), -1, 0};
    if (planned.source.partner) {
      data.mixed_with_offset = offset(*planned.source.partner);
      data.mixed_frames = planned.source.partner->frames;
    }
    instrument.samples[i].source = {0, data};
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

BankConversion::BankConversion(std::string bank_path, std::optional<std::string> choice,
                               bool verbose)
    : bank_path_(std::move(bank_path)), choice_(std::move(choice)), verbose_(verbose) {}

namespace {

// The bank's frames, as a rendered drum key reads its voices.
class BankFrames final : public sampler::FrameReader {
 public:
  BankFrames(File& file, std::int64_t sample_data_offset)
      : file_(file), sample_data_offset_(sample_data_offset) {}

  void Read(const sampler::FrameRange& range, std::span<std::int16_t> out) override {
    // Grown only: a resize to fewer bytes and back would clear the bytes between again.
    const std::size_t size = 2 * std::size_t{range.frames};
    if (bytes_.size() < size) bytes_.resize(size);
    file_.Seek(sample_data_offset_ + 2 * range.first, Site::kBankSeek);
    file_.ReadExact(bytes_.data(), size, Site::kSampleRead);
    // One bound, so that the compiler runs the loop on vectors.
    const std::size_t count = std::min<std::size_t>(out.size(), range.frames);
    const Byte* bytes = bytes_.data();
    for (std::size_t i = 0; i < count; ++i) out[i] = LoadI16(bytes + 2 * i);
  }

 private:
  File& file_;
  std::int64_t sample_data_offset_;
  std::vector<Byte> bytes_;
};

// A chosen preset, planned: what it becomes, or why it is skipped.
struct PlannedPreset {
  int bank = 0, program = 0;
  std::string name;
  DisplayText label;
  std::optional<DisplayText> skip;
  sampler::Plan plan;
  std::uint64_t bytes = 0;  ///< what its files will hold
  std::string lost_generators;
};

// Plans every preset of `order` before anything is written: a bank whose presets would take more
// work than the limit allows is refused as a whole, and what the files will hold is known.
std::vector<PlannedPreset> PlanAll(const sf2::Bank& bank, const std::vector<std::size_t>& order,
                                   const std::vector<std::optional<std::size_t>>& twins,
                                   const DisplayText& bank_name) {
  sf2::Flattener flattener(bank);
  sampler::WorkBudget budget(
      sampler::kPresetWorkLimit, sampler::kBankWorkLimit, sampler::kPresetRenderLimit,
      sampler::BankRenderLimit(
          static_cast<std::uint64_t>(std::max<std::int64_t>(bank.file_size, 0))));
  std::vector<PlannedPreset> planned;
  planned.reserve(order.size());
  for (std::size_t preset : order) {
    const sf2::PresetHeader& header = bank.presets[preset];
    PlannedPreset entry{header.bank, header.program,
                        header.name, PresetLabel(header.bank, header.program, header.name),
                        {},          {},
                        0,           {}};
    if (twins[preset]) {
      entry.skip = PresetAfterTwin(DisplayText(bank.presets[*twins[preset]].name));
      planned.push_back(std::move(entry));
      continue;
    }
    budget.StartPreset();
    sf2::PresetPlan planned_preset = sf2::PlanPreset(bank, flattener, preset, budget);
    // Skipped presets count too: thousands of presets that each fail late are as much work.
    if (budget.BankExceeded()) throw BankTooMuchWork(bank_name);
    if (planned_preset.skip) {
      entry.skip = planned_preset.skip->why;
    } else {
      entry.plan = std::move(planned_preset.plan);
      entry.lost_generators = std::move(planned_preset.lost_generators);
      for (const sampler::InstrumentPlan& part : entry.plan.instruments) {
        entry.bytes += WrittenBytes(Describe(bank, part));
      }
    }
    planned.push_back(std::move(entry));
  }
  return planned;
}

// Real banks write a few times their own size (the largest ratio seen: 5.5); a bank that would
// write more than this is crafted to fill the disk.
std::uint64_t OutputLimit(std::int64_t bank_bytes) {
  constexpr std::uint64_t kGiB = std::uint64_t{1} << 30;
  return std::max(kGiB, 16 * static_cast<std::uint64_t>(std::max<std::int64_t>(bank_bytes, 0)));
}

}  // namespace

int BankConversion::Run(Platform& platform) {
  if (!platform.IsExistingFile(bank_path_)) throw NothingMatches(DisplayText(bank_path_));
  const std::unique_ptr<File> file = platform.OpenRead(bank_path_, Site::kBankOpen);
  const DisplayText bank_name(platform.BareName(bank_path_));
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

  const bool listing = choice_ == kListChoice;
  if (!listing) {
    const sf2::PresetChoice choice = choice_ ? sf2::PresetChoice(*choice_) : sf2::PresetChoice();
    std::erase_if(order, [&](std::size_t preset) {
      const sf2::PresetHeader& header = bank.presets[preset];
      return !choice.Matches(header.bank, header.program, header.name);
    });
    if (order.empty()) {
      // A choice without wildcards is a whole name; where it is part of names, say of how many.
      std::string hint;
      if (choice_->find_first_of("*?:") == std::string::npos) {
        const std::string part = "*" + *choice_ + "*";
        const sf2::PresetChoice wider(part);
        std::size_t count = 0;
        for (std::size_t preset = 0; preset < bank.PresetCount(); ++preset) {
          const sf2::PresetHeader& header = bank.presets[preset];
          if (!twins[preset] && wider.Matches(header.bank, header.program, header.name)) ++count;
        }
        if (count > 0) {
          hint = WholeNameHint(DisplayText(part), count, platform.ShellExpandsWildcards());
        }
      }
      throw NoPresetChosen(DisplayText(*choice_), bank_name, hint);
    }
    console.Write(BankProcessingLine(DisplayText(bank_path_)));
  }

  const std::vector<PlannedPreset> planned = PlanAll(bank, order, twins, bank_name);
  std::uint64_t bytes = 0;
  for (const PlannedPreset& entry : planned) bytes += entry.bytes;

  if (listing) {
    std::size_t presets = 0, files = 0;
    for (const PlannedPreset& entry : planned) {
      if (entry.skip) {
        console.Write(PresetSkipLine(entry.label, *entry.skip));
        continue;
      }
      ++presets;
      files += entry.plan.instruments.size();
      console.Write(PresetListLine(entry.label, entry.plan.zones, entry.plan.samples, entry.bytes,
                                   verbose_ ? entry.lost_generators : std::string()));
    }
    console.Write(PresetListTotal(presets, files, bytes));
    file->Close(Site::kBankClose);
    return exit_code::kSuccess;
  }

  if (bytes > OutputLimit(bank.file_size)) {
    throw BankOutputTooLarge(bank_name, (bytes + 999'999) / 1'000'000);
  }

  int code = exit_code::kSuccess;
  BankFrames bank_frames(*file, bank.sample_data_offset);
  File* const sources[] = {file.get()};
  const File* const inputs[] = {file.get()};
  for (const PlannedPreset& entry : planned) {
    if (entry.skip) {
      console.Write(PresetSkipLine(entry.label, *entry.skip));
      code = exit_code::kBankRefused;
      continue;
    }
    const sampler::Plan& plan = entry.plan;
    for (const sampler::InstrumentPlan& part : plan.instruments) {
      const std::string name =
          PresetFileName(entry.bank, entry.program, entry.name, part.part, part.part_count);
      // Drum keys are rendered one at a time as the writer comes to them.
      std::vector<std::unique_ptr<sampler::KeyRenderSource>> renders(part.samples.size());
      for (std::size_t i = 0; i < renders.size(); ++i) {
        if (part.samples[i].render) {
          renders[i] = std::make_unique<sampler::KeyRenderSource>(*part.samples[i].render,
                                                                  bank_frames, renders_);
        }
      }
      const Instrument instrument = Describe(bank, part, renders);
      // A description the XI cannot hold is refused before its file is created or replaced.
      if (const std::string fault = InstrumentFault(instrument); !fault.empty()) {
        throw InstrumentNotWritable(DisplayText(instrument.name), fault);
      }
      RefuseToReplaceAForeignFile(name, platform);
      output_.Create(name, inputs, platform);
      WriteInstrument(instrument, sources, output_.file(), image_, buffers_);
      output_.Close();
      const auto scaled_down = std::count_if(renders.begin(), renders.end(),
                                             [](const auto& r) { return r && r->scaled_down(); });
      console.Write(
          PresetReportLine(entry.label, DisplayText(name), part.samples.size(),
                           sampler::ReportNotes(plan, part, static_cast<int>(scaled_down))));
    }
  }
  file->Close(Site::kBankClose);
  return code;
}

void BankConversion::AbortCurrentFile(Platform& platform) { output_.Abandon(platform); }

}  // namespace brumlet
