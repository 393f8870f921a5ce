#include "platform/wildcard.h"

namespace brumlet {
namespace {

bool IsLower(char c) { return c >= 'a' && c <= 'z'; }
bool IsUpper(char c) { return c >= 'A' && c <= 'Z'; }
bool IsLetter(char c) { return IsLower(c) || IsUpper(c); }
char OtherCase(char c) { return static_cast<char>(c ^ 0x20); }  // for letters only

// The set of a bracket opened at `open`: up to the next "]", where a "]" first in the set (after
// a "!" or "^") is one of its characters; npos where nothing closes it, and "[" is a character.
std::size_t BracketEnd(std::string_view pattern, std::size_t open) {
  std::size_t at = open + 1;
  if (at < pattern.size() && (pattern[at] == '!' || pattern[at] == '^')) ++at;
  if (at < pattern.size() && pattern[at] == ']') ++at;
  return pattern.find(']', at);
}

}  // namespace

std::string EitherCasePattern(std::string_view pattern) {
  const std::size_t slash = pattern.rfind('/');
  const std::size_t start = slash == std::string_view::npos ? 0 : slash + 1;
  const std::string_view last = pattern.substr(start);
  if (last.find("[:") != std::string_view::npos || last.find("[=") != std::string_view::npos ||
      last.find("[.") != std::string_view::npos) {
    return std::string(pattern);
  }
  std::string either(pattern.substr(0, start));
  for (std::size_t i = start; i < pattern.size(); ++i) {
    char c = pattern[i];
    const std::size_t close = c == '[' ? BracketEnd(pattern, i) : std::string_view::npos;
    if (close != std::string_view::npos) {
      const std::string_view set = pattern.substr(i + 1, close - i - 1);
      either.append(pattern.substr(i, close - i));
      for (std::size_t k = 0; k < set.size(); ++k) {
        const bool range = k + 2 < set.size() && set[k + 1] == '-';
        if (range && ((IsLower(set[k]) && IsLower(set[k + 2])) ||
                      (IsUpper(set[k]) && IsUpper(set[k + 2])))) {
          either += {OtherCase(set[k]), '-', OtherCase(set[k + 2])};
          k += 2;
        } else if (IsLetter(set[k])) {
          either += OtherCase(set[k]);
        }
      }
      either += ']';
      i = close;
      continue;
    }
    if (c == '\\' && i + 1 < pattern.size()) {  // an escaped character stands for itself
      c = pattern[++i];
      if (!IsLetter(c)) either += '\\';
    }
    if (IsLetter(c)) {
      either += {'[', static_cast<char>(c | 0x20), static_cast<char>(c & ~0x20), ']'};
    } else {
      either += c;
    }
  }
  return either;
}

}  // namespace brumlet
