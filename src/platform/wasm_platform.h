// The Platform in a web page (WebAssembly): the POSIX layer over the in-memory file system that
// emscripten gives POSIX code, where the page puts the dropped files in a fresh working folder.
// That file system has no owners, permissions or links that a user made, and its console is the
// page: standard input is the text the page was given before the run, standard output goes to
// the page byte for byte (a prompt shows without its line end). What the user sees differently
// is said here.
#pragma once

#include "platform/posix_platform.h"

namespace brumlet {

class WasmPlatform : public PosixPlatform {
 public:
  /// No shell stands between the page and the program: a pattern always arrives whole.
  bool ShellExpandsWildcards() const override { return false; }
  /// The page has no manual page beside it; --help points to the README.
  bool HasManualPage() const override { return false; }
};

}  // namespace brumlet
