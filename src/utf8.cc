#include "utf8.h"

namespace brumlet {

std::size_t Utf8SequenceLength(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  if (lead < 0x80) return 1;
  // The lead byte gives the length and the smallest and largest second byte that keep the
  // sequence from being overlong, a surrogate (U+D800..U+DFFF) or above U+10FFFF.
  std::size_t length;
  unsigned char low = 0x80, high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (text.size() - at < length) return 0;
  if (byte(at + 1) < low || byte(at + 1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (byte(at + i) < 0x80 || byte(at + i) > 0xBF) return 0;
  }
  return length;
}

bool IsValidUtf8(std::string_view text) {
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t length = Utf8SequenceLength(text, at);
    if (length == 0) return false;
    at += length;
  }
  return true;
}

std::string_view CutToBytes(std::string_view text, std::size_t size) {
  if (text.size() <= size) return text;
  if (!IsValidUtf8(text)) return text.substr(0, size);
  std::size_t end = 0;
  while (end < size) {
    const std::size_t next = end + Utf8SequenceLength(text, end);
    if (next > size) break;
    end = next;
  }
  return text.substr(0, end);
}

}  // namespace brumlet
