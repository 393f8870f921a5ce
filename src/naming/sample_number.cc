#include "naming/sample_number.h"

#include <limits>

namespace brumlet {
namespace {

int DigitValue(char c, int base) {
  int value = base;  // not a digit
  if (c >= '0' && c <= '9') value = c - '0';
  if (base == 16 && c >= 'a' && c <= 'f') value = c - 'a' + 10;
  if (base == 16 && c >= 'A' && c <= 'F') value = c - 'A' + 10;
  return value < base ? value : -1;
}

}  // namespace

std::optional<std::int32_t> ParseSampleNumber(std::string_view field) {
  std::size_t i = 0;
  while (i < field.size() && field[i] == ' ') ++i;
  bool negative = false;
  int base = 10;
  if (i < field.size() && (field[i] == '$' || field[i] == 'x' || field[i] == 'X')) {
    base = 16;
    ++i;
  } else if (i + 1 < field.size() && field[i] == '0' &&
             (field[i + 1] == 'x' || field[i + 1] == 'X')) {
    base = 16;
    i += 2;
  } else if (i < field.size() && (field[i] == '+' || field[i] == '-')) {
    negative = field[i] == '-';
    ++i;
  }
  if (i == field.size()) return std::nullopt;  // no digits
  std::int64_t value = 0;
  for (; i < field.size(); ++i) {
    const int digit = DigitValue(field[i], base);
    if (digit < 0) return std::nullopt;
    value = value * base + digit;
    if (value > std::numeric_limits<std::int32_t>::max()) return std::nullopt;
  }
  return static_cast<std::int32_t>(negative ? -value : value);
}

}  // namespace brumlet
