// How much work planning may take. A bank of a megabyte can describe billions of zone pairs (a
// preset zone over every zone of its instrument, for thousands of presets), and a page or a
// console must not freeze on it. The work is counted as it is done, in units that cost about the
// same: a zone pair visited while flattening, a zone looked at for one key while planning. Each
// preset has a limit of its own, which skips that preset alone; the bank has one for all its
// presets together, skipped ones included, which refuses the bank before anything is written.
#pragma once

#include <cstdint>

namespace brumlet::sampler {

/// Far above what real banks need (FluidR3_GM's busiest preset takes 69,840 units and the whole
/// bank 1,640,767; TimGM6mb's 12,222 and 200,111: 14 and 10 times below these), and low enough
/// that a bank of a megabyte is planned in a small part of a second.
inline constexpr std::uint64_t kPresetWorkLimit = 1'000'000;
inline constexpr std::uint64_t kBankWorkLimit = 17'000'000;

/// Rendering a drum key costs a voice times an output frame, a unit of its own that costs more
/// than a planning unit: FluidR3_GM's kits take RENDER_FLUID units (its busiest RENDER_FLUID_KIT),
/// TimGM6mb's RENDER_TIM (RENDER_TIM_KIT).
inline constexpr std::uint64_t kPresetRenderLimit = 2'000'000'000;
inline constexpr std::uint64_t kBankRenderLimit = 20'000'000'000;

class WorkBudget {
 public:
  WorkBudget(std::uint64_t per_preset = kPresetWorkLimit, std::uint64_t per_bank = kBankWorkLimit,
             std::uint64_t render_per_preset = kPresetRenderLimit,
             std::uint64_t render_per_bank = kBankRenderLimit)
      : per_preset_(per_preset),
        per_bank_(per_bank),
        render_per_preset_(render_per_preset),
        render_per_bank_(render_per_bank) {}

  /// Starts counting the next preset's work; the bank's count goes on.
  void StartPreset() {
    preset_used_ = 0;
    preset_rendered_ = 0;
  }

  /// Counts `units` of rendering; false once the preset's or the bank's limit is passed.
  bool SpendRender(std::uint64_t units) {
    preset_rendered_ += units;
    bank_rendered_ += units;
    return !Exceeded();
  }
  std::uint64_t preset_rendered() const { return preset_rendered_; }
  std::uint64_t bank_rendered() const { return bank_rendered_; }

  /// Counts `units`; false once the preset's or the bank's limit is passed, and from then on.
  bool Spend(std::uint64_t units) {
    preset_used_ += units;
    bank_used_ += units;
    return !Exceeded();
  }

  bool Exceeded() const {
    return preset_used_ > per_preset_ || preset_rendered_ > render_per_preset_ || BankExceeded();
  }
  bool BankExceeded() const { return bank_used_ > per_bank_ || bank_rendered_ > render_per_bank_; }
  std::uint64_t preset_used() const { return preset_used_; }
  std::uint64_t bank_used() const { return bank_used_; }

 private:
  std::uint64_t per_preset_;
  std::uint64_t per_bank_;
  std::uint64_t render_per_preset_;
  std::uint64_t render_per_bank_;
  std::uint64_t preset_used_ = 0;
  std::uint64_t bank_used_ = 0;
  std::uint64_t preset_rendered_ = 0;
  std::uint64_t bank_rendered_ = 0;
};

}  // namespace brumlet::sampler
