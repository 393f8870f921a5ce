#include "sf2/preset_choice.h"

#include <charconv>

namespace brumlet::sf2 {
namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// A number of at most three digits (banks and programs run to 128 and 127), nothing else.
std::optional<int> SmallNumber(std::string_view text) {
  int value = 0;
  if (text.empty() || text.size() > 3) return std::nullopt;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

}  // namespace

PresetChoice::PresetChoice(std::string_view text) {
  if (const std::size_t colon = text.find(':'); colon != std::string_view::npos) {
    const std::optional<int> bank = SmallNumber(text.substr(0, colon));
    const std::string_view program = text.substr(colon + 1);
    if (bank && program == "*") {
      bank_ = bank;
      return;
    }
    if (bank && SmallNumber(program)) {
      bank_ = bank;
      program_ = SmallNumber(program);
      return;
    }
  }
  pattern_ = std::string(text);
}

bool PresetChoice::Matches(int bank, int program, std::string_view name) const {
  if (pattern_) return WildcardMatchesIgnoringCase(*pattern_, name);
  return (!bank_ || *bank_ == bank) && (!program_ || *program_ == program);
}

bool WildcardMatchesIgnoringCase(std::string_view pattern, std::string_view text) {
  // Greedy with one point of return: the last "*" seen, and where in the text it took up.
  std::size_t p = 0;
  std::size_t t = 0;
  std::size_t star = std::string_view::npos;
  std::size_t resume = 0;
  while (t < text.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || Lower(pattern[p]) == Lower(text[t]))) {
      ++p;
      ++t;
    } else if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = t;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      t = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

}  // namespace brumlet::sf2
