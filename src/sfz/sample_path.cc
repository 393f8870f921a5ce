#include "sfz/sample_path.h"

#include <vector>

namespace brumlet::sfz {
namespace {

// `text` as a wildcard pattern that matches it alone, its letters in either case when
// `fold_case` is set.
std::string Pattern(std::string_view text, bool fold_case) {
  std::string pattern;
  pattern.reserve(text.size() * 4);
  for (const char c : text) {
    const bool lower = c >= 'a' && c <= 'z', upper = c >= 'A' && c <= 'Z';
    if (fold_case && (lower || upper)) {
      pattern += '[';
      pattern += c;
      pattern += static_cast<char>(lower ? c - 'a' + 'A' : c - 'A' + 'a');
      pattern += ']';
    } else if (c == '*' || c == '?' || c == '[') {
      pattern += '[';
      pattern += c;
      pattern += ']';
    } else {
      pattern += c;
    }
  }
  return pattern;
}

}  // namespace

std::string CaseInsensitivePattern(std::string_view text) { return Pattern(text, true); }

std::optional<std::string> FindFile(Platform& platform, std::string_view folder,
                                    std::string_view relative) {
  std::string path(folder);
  path += relative;
  if (platform.IsExistingFile(path)) return path;
  const std::vector<Match> found =
      platform.Search(Pattern(folder, false) + CaseInsensitivePattern(relative));
  if (found.empty()) return std::nullopt;
  return found.front().path;
}

}  // namespace brumlet::sfz
