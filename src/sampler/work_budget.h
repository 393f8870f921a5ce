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
/// than a planning unit, and is counted when the key is planned (its length is known then).
/// FluidR3_GM's kits take 145,225,368 units (the busiest, Orchestra Kit, 5,448,623), TimGM6mb's
/// 39,263,502 (Orchestra, 8,179,491). Real banks render in proportion to their sample data, so
/// the bank's limit grows with its size (65 times FluidR3_GM's need, 10 times TimGM6mb's), while
/// a crafted bank of a megabyte renders at most the least limit.
#ifndef BRUMLET_SMALL_RENDER_LIMITS
inline constexpr std::uint64_t kPresetRenderLimit = 100'000'000;
inline constexpr std::uint64_t kLeastBankRenderLimit = 200'000'000;
inline constexpr std::uint64_t kRenderPerBankByte = 64;
#else
// The fuzz build's: its sanitizers make a unit some twenty times dearer.
inline constexpr std::uint64_t kPresetRenderLimit = 5'000'000;
inline constexpr std::uint64_t kLeastBankRenderLimit = 10'000'000;
inline constexpr std::uint64_t kRenderPerBankByte = 3;
#endif

/// The render limit of a bank of `bank_bytes` bytes.
constexpr std::uint64_t BankRenderLimit(std::uint64_t bank_bytes) {
  return bank_bytes > kLeastBankRenderLimit / kRenderPerBankByte ? kRenderPerBankByte * bank_bytes
                                                                 : kLeastBankRenderLimit;
}

class WorkBudget {
 public:
  WorkBudget(std::uint64_t per_preset = kPresetWorkLimit, std::uint64_t per_bank = kBankWorkLimit,
             std::uint64_t render_per_preset = kPresetRenderLimit,
             std::uint64_t render_per_bank = kLeastBankRenderLimit)
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
