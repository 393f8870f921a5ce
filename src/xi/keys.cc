#include "xi/keys.h"

#include <algorithm>
#include <cstdlib>

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

std::string TrackerNoteName(int key) {
  static constexpr std::string_view kNames[] = {"C-", "C#", "D-", "D#", "E-", "F-",
                                                "F#", "G-", "G#", "A-", "A#", "B-"};
  // The tracker's octave is the key's octave counted from key 0, one above the musician's.
  return std::string(kNames[key % 12]) + std::to_string(key / 12);
}

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

KeyMap KitKeyMap(int count) {
  KeyMap keys{};
  for (int key = 0; key < xi::kKeyCount; ++key) {
    keys[static_cast<std::size_t>(key)] =
        static_cast<std::uint8_t>(std::clamp(key - kMiddleC, 0, count - 1));
  }
  return keys;
}

KeyMap MultiKeyMap(std::span<const int> roots) {
  KeyMap keys{};
  for (int key = 0; key < xi::kKeyCount; ++key) {
    std::size_t best = 0;
    for (std::size_t slot = 1; slot < roots.size(); ++slot) {
      const int distance = std::abs(roots[slot] - key);
      const int best_distance = std::abs(roots[best] - key);
      if (distance < best_distance || (distance == best_distance && roots[slot] < roots[best])) {
        best = slot;
      }
    }
    keys[static_cast<std::size_t>(key)] = static_cast<std::uint8_t>(best);
  }
  return keys;
}

}  // namespace brumlet
