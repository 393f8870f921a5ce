// Which presets of a bank a run converts: `B:P` (bank and program numbers), `B:*` (a whole bank),
// or a wildcard pattern on preset names (`*Piano*`), matched without regard to case.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace brumlet::sf2 {

class PresetChoice {
 public:
  /// Every preset.
  PresetChoice() = default;
  /// The choice `text` names: numbers when it is digits, ":" and digits or "*", else a pattern.
  explicit PresetChoice(std::string_view text);

  bool Matches(int bank, int program, std::string_view name) const;

 private:
  std::optional<int> bank_;
  std::optional<int> program_;
  std::optional<std::string> pattern_;
};

/// `*` any run of characters, `?` any one; letters match either case.
bool WildcardMatchesIgnoringCase(std::string_view pattern, std::string_view text);

}  // namespace brumlet::sf2
