#include "platform/wasm_platform.h"

#include <emscripten/emscripten.h>

// The page's language decides the date format, as the user's settings do on a desktop: the short
// date of that language (12/7/26 in American English, 07.12.26 in German). Writes at most `size`
// bytes, the terminating zero included, and returns the length of the text.
EM_JS(int, BrowserShortDate, (char* buffer, int size), {
  return stringToUTF8(new Date().toLocaleDateString(undefined, {dateStyle : 'short'}), buffer, size);
});

namespace brumlet {

std::string WasmPlatform::DateText() {
  char text[128];
  const int length = BrowserShortDate(text, sizeof text);
  return std::string(text, static_cast<std::size_t>(length));
}

}  // namespace brumlet
