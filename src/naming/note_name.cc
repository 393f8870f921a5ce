#include "naming/note_name.h"

#include <cstddef>

namespace brumlet {
namespace {

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Semitones above C of the letters A to G.
int LetterSemitone(char letter) {
  constexpr int kFromA[] = {9, 11, 0, 2, 4, 5, 7};
  const char upper = letter >= 'a' ? static_cast<char>(letter - 'a' + 'A') : letter;
  return upper >= 'A' && upper <= 'G' ? kFromA[upper - 'A'] : -1;
}

// The note name that starts at `at`, if one does: its key, and where it ends.
std::optional<int> NoteAt(std::string_view name, std::size_t at, std::size_t& end) {
  if (at > 0 && (IsAsciiLetter(name[at - 1]) || IsDigit(name[at - 1]))) return std::nullopt;
  const int semitone = LetterSemitone(name[at]);
  if (semitone < 0) return std::nullopt;
  std::size_t next = at + 1;
  int accidental = 0;
  if (next < name.size() && (name[next] == '#' || name[next] == 'b')) {
    accidental = name[next] == '#' ? 1 : -1;
    ++next;
  }
  if (next >= name.size() || !IsDigit(name[next])) return std::nullopt;
  const int octave = name[next] - '0';
  end = next + 1;
  if (end < name.size() && (IsAsciiLetter(name[end]) || IsDigit(name[end]))) return std::nullopt;
  // C4 is key 60: the octave below C0 starts at key 0.
  return (octave + 1) * 12 + semitone + accidental;
}

}  // namespace

std::optional<int> RootKeyInName(std::string_view file_name) {
  if (const std::size_t dot = file_name.rfind('.'); dot != std::string_view::npos) {
    file_name = file_name.substr(0, dot);
  }
  std::optional<int> last;
  for (std::size_t at = 0; at < file_name.size(); ++at) {
    std::size_t end = 0;
    if (const std::optional<int> key = NoteAt(file_name, at, end)) last = key;
  }
  return last;
}

}  // namespace brumlet
