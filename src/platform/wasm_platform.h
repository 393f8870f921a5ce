// The Platform in a web page (WebAssembly): the POSIX layer over the in-memory file system that
// emscripten gives POSIX code, where the page puts the dropped files in a fresh working folder.
// That file system holds only what the page put there: no owners or permissions to refuse, no
// links, FIFOs or devices. Its console is the page: standard input is the text the page was given
// before the run, standard output reaches the page byte for byte (a prompt shows without a line
// end). What differs for the user is below.
#pragma once

#include "platform/posix_platform.h"

namespace brumlet {

class WasmPlatform : public PosixPlatform {
 public:
  /// No shell stands between the page and the program: a pattern always arrives whole.
  bool ShellExpandsWildcards() const override { return false; }
  /// The page has no manual page beside it; --help points to the README.
  bool HasManualPage() const override { return false; }
  /// The short date of the page's language (the browser's), which stands in for LC_TIME.
  std::string DateText() override;
};

}  // namespace brumlet
