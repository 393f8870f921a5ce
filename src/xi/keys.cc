#include "xi/keys.h"

#include <algorithm>
#include <cstdlib>

namespace brumlet {

std::string TrackerNoteName(int key) {
  static constexpr std::string_view kNames[] = {"C-", "C#", "D-", "D#", "E-", "F-",
                                                "F#", "G-", "G#", "A-", "A#", "B-"};
  // The tracker's octave is the key's octave counted from key 0, one above the musician's.
  return std::string(kNames[key % 12]) + std::to_string(key / 12);
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
