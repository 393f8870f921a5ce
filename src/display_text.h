// Text from a file or the command line as the console may show it.
//
// Names in a bank, a WAV's title, a file name from a directory listing or an argument a shell
// passed on can hold any bytes, and a terminal acts on some of them: ESC ] 52 writes the
// clipboard, ESC [ 2 J clears the screen, C1 controls do the same in one byte or, in UTF-8, two.
// Such text reaches a message only as a DisplayText, which replaces every ASCII control character
// (0x00-0x1F, 0x7F), every UTF-8-encoded C1 control (C2 80..C2 9F) and every byte 0x80-0x9F that
// is not part of a valid UTF-8 sequence with "?". Everything else stays as it is: valid UTF-8, and
// the letters of legacy 8-bit code pages. The messages take DisplayText for every piece that comes
// from outside, so a message that forgets to filter one does not compile.
#pragma once

#include <string>
#include <string_view>

namespace brumlet {

class DisplayText {
 public:
  DisplayText() = default;
  /// Filters `raw`. Filtering is idempotent: a text built of filtered pieces and the program's
  /// own words passes through unchanged.
  explicit DisplayText(std::string_view raw);

  const std::string& str() const { return text_; }
  operator std::string_view() const { return text_; }
  bool empty() const { return text_.empty(); }
  bool operator==(const DisplayText&) const = default;

 private:
  std::string text_;
};

}  // namespace brumlet
