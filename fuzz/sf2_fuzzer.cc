// Fuzzes the SoundFont side: the bank reader, then the plan of every preset, within the work
// budgets the program plans with. Whatever the bytes, the reader either refuses the bank with exit
// code 245 or reads it without reading outside the file, and every plan either skips its preset or
// stays inside the bank: at most 16 samples, a key map that names only them, and frames, partners
// and loops inside the sample data.
#include <cstdint>
#include <cstdlib>

#include "fake_platform.h"
#include "messages.h"
#include "sf2/preset_plan.h"

namespace {

using namespace brumlet;

void Check(bool condition) {
  if (!condition) std::abort();
}

void CheckRange(const sf2::Bank& bank, const sf2::FrameRange& range) {
  const std::int64_t first = bank.sample_data_offset;
  const std::int64_t end = first + 2 * std::int64_t{bank.sample_frames};
  Check(range.frames > 0 && range.file_offset >= first &&
        range.file_offset + 2 * std::int64_t{range.frames} <= end);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  testing::FakePlatform platform;
  platform.AddFile("b.sf2", testing::Bytes(data, data + size));
  sf2::Bank bank;
  try {
    bank = sf2::ReadBank(*platform.OpenRead("b.sf2", Site::kSourceOpen), DisplayText("b.sf2"));
  } catch (const Rejection& rejection) {
    Check(rejection.exit_code() == exit_code::kBankRefused);
    return 0;
  }  // a RunFailure (a read past the end of the file) ends the run as a crash
  sf2::Flattener flattener(bank);
  sampler::WorkBudget budget;
  for (std::size_t p = 0; p < bank.PresetCount() && !budget.BankExceeded(); ++p) {
    budget.StartPreset();
    const sf2::PresetPlan plan = sf2::PlanPreset(bank, flattener, p, budget);
    Check(plan.skip.has_value() == plan.instruments.empty());
    for (const sf2::InstrumentPlan& instrument : plan.instruments) {
      Check(instrument.samples.size() <= xi::kSampleSlots);
      for (std::uint8_t slot : instrument.key_map) {
        Check(slot < instrument.samples.size() || (slot == 0 && instrument.samples.empty()));
      }
      for (const sf2::PlannedSample& sample : instrument.samples) {
        CheckRange(bank, sample.source.range);
        if (sample.source.partner_sample) CheckRange(bank, sample.source.partner_range);
        if (sample.loop) {
          Check(sample.loop->length > 0 &&
                sample.loop->start + std::uint64_t{sample.loop->length} <=
                    sample.source.range.frames);
        }
        Check(sample.volume <= 64 && sample.pitch.finetune >= -64 && sample.pitch.finetune < 64);
      }
    }
  }
  return 0;
}
