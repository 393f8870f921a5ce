// Fuzzes the SoundFont side: the bank reader, then the plan of every preset, within the work
// budgets the program plans with. Whatever the bytes, the reader either refuses the bank with exit
// code 245 or reads it without reading outside the file, and every plan either skips its preset or
// stays inside the bank: 1 to 16 samples, a key map that names only them, and frames, partners,
// drum voices and loops inside the sample data.
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

// Frames of the bank's sample data: the plan's addresses are frame indices into it.
void CheckRange(const sf2::Bank& bank, const sampler::FrameRange& range) {
  Check(range.frames > 0 && range.first >= 0 &&
        range.first + std::int64_t{range.frames} <= std::int64_t{bank.sample_frames});
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
    Check(plan.skip.has_value() == plan.plan.instruments.empty());
    for (const sampler::InstrumentPlan& instrument : plan.plan.instruments) {
      Check(!instrument.samples.empty() && instrument.samples.size() <= xi::kSampleSlots);
      for (std::uint8_t slot : instrument.key_map) Check(slot < instrument.samples.size());
      for (const sampler::PlannedSample& sample : instrument.samples) {
        if (sample.render) {  // a drum key: its voices' frames are read, not the source's
          for (const sampler::PlannedVoice& voice : sample.render->voices) {
            CheckRange(bank, voice.frames);
            if (voice.mixed_with) CheckRange(bank, *voice.mixed_with);
          }
          Check(sample.render->layout.frames == sample.source.range.frames);
        } else {
          CheckRange(bank, sample.source.range);
          if (sample.source.partner) CheckRange(bank, *sample.source.partner);
        }
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
