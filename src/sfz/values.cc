#include "sfz/values.h"

#include <cmath>
#include <limits>

namespace brumlet::sfz {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Digits beyond these cannot change a double; they only scale the number.
constexpr int kKeptDigits = 19;
// An exponent past this makes every mantissa infinite or zero; bounding it keeps the sum small.
constexpr int kMaxExponent = 400;

}  // namespace

std::optional<double> ParseNumber(std::string_view text) {
  std::size_t at = 0;
  bool negative = false;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
  std::uint64_t mantissa = 0;
  int kept = 0, scale = 0, digits = 0;
  bool in_fraction = false;
  for (; at < text.size(); ++at) {
    const char c = text[at];
    if (c == '.' && !in_fraction) {
      in_fraction = true;
      continue;
    }
    if (!IsDigit(c)) break;
    ++digits;
    if (kept < kKeptDigits) {
      if (mantissa != 0 || c != '0') ++kept;
      mantissa = mantissa * 10 + static_cast<std::uint64_t>(c - '0');
      if (in_fraction) --scale;
    } else if (!in_fraction) {
      ++scale;
    }
  }
  if (digits == 0) return std::nullopt;
  if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
    ++at;
    bool negative_exponent = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
      negative_exponent = text[at++] == '-';
    }
    if (at == text.size() || !IsDigit(text[at])) return std::nullopt;
    int exponent = 0;
    for (; at < text.size() && IsDigit(text[at]); ++at) {
      if (exponent < kMaxExponent) exponent = exponent * 10 + (text[at] - '0');
    }
    scale += negative_exponent ? -exponent : exponent;
  }
  if (at != text.size()) return std::nullopt;
  double value = static_cast<double>(mantissa);
  // Dividing by an exact power of ten rounds once, so "0.1" is the double nearest 0.1.
  if (scale < 0) {
    value /= std::pow(10.0, -scale);
  } else if (scale > 0) {
    value *= std::pow(10.0, scale);
  }
  if (!std::isfinite(value)) return std::nullopt;
  return negative ? -value : value;
}

std::optional<int> ParseInteger(std::string_view text) {
  const std::optional<double> value = ParseNumber(text);
  if (!value || std::fabs(*value) >= 2147483648.0) return std::nullopt;
  return static_cast<int>(*value);
}

std::optional<std::int64_t> ParseFrame(std::string_view text) {
  const std::optional<double> value = ParseNumber(text);
  if (!value || std::fabs(*value) >= 4.6e18) return std::nullopt;
  return static_cast<std::int64_t>(*value);
}

std::optional<int> ParseKey(std::string_view text) {
  if (text.empty()) return std::nullopt;
  constexpr int kFromA[] = {9, 11, 0, 2, 4, 5, 7};  // semitones above C of A to G
  const char letter = text[0] >= 'a' ? static_cast<char>(text[0] - 'a' + 'A') : text[0];
  if (letter < 'A' || letter > 'G') return ParseInteger(text);
  int key = kFromA[letter - 'A'];
  std::size_t at = 1;
  if (at < text.size() && (text[at] == '#' || text[at] == 'b')) key += text[at++] == '#' ? 1 : -1;
  const std::string_view octave = text.substr(at);
  if (octave == "-1") return key;
  if (octave.size() != 1 || !IsDigit(octave[0])) return std::nullopt;
  return key + (octave[0] - '0' + 1) * 12;
}

}  // namespace brumlet::sfz
