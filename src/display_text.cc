#include "display_text.h"

#include "utf8.h"

namespace brumlet {

DisplayText::DisplayText(std::string_view raw) {
  text_.reserve(raw.size());
  for (std::size_t at = 0; at < raw.size();) {
    const auto byte = static_cast<unsigned char>(raw[at]);
    if (byte < 0x20 || byte == 0x7F) {
      text_ += '?';
      ++at;
      continue;
    }
    const std::size_t length = Utf8SequenceLength(raw, at);
    if (length == 0) {
      // Not UTF-8 here: a code page's letter stays, a C1 control byte does not.
      text_ += byte <= 0x9F ? '?' : raw[at];
      ++at;
    } else if (length == 2 && byte == 0xC2 && static_cast<unsigned char>(raw[at + 1]) <= 0x9F) {
      text_ += '?';  // U+0080..U+009F
      at += 2;
    } else {
      text_.append(raw, at, length);
      at += length;
    }
  }
}

}  // namespace brumlet
