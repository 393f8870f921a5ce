// The Platform in a web page (WebAssembly): the POSIX layer over the in-memory file system that
// emscripten gives POSIX code, where the page puts the dropped files in a fresh working folder.
// That file system holds only what the page put there: no owners or permissions to refuse, no
// links, FIFOs or devices. Its console is the page: standard input is the text the page was given
// before the run, standard output reaches the page byte for byte (a prompt shows without a line
// end). What differs for the user is below.
//
// Outputs leave the module as they are finished, so that a bank of hundreds of instruments never
// sits in the page's memory twice: once an output is closed (and the run has gone on to create
// the next one, or ended), the page takes its bytes and leaves the file truncated to nothing in
// its place. The file keeps its inode, so the checks that compare files by identity still hold;
// no run reads an output back once it is closed, and the only name a run creates twice (two
// sources "a.b.wav" and "a.c.wav" of the plain conversion) is replaced without being read.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

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

  /// Creates an output as the POSIX layer does; closing it (or letting it go) finishes it.
  std::unique_ptr<File> Create(const std::string& path, Site site) override;
  /// A finished output that is removed before the page has taken it never reaches the page.
  void Remove(const std::string& path) override;

  /// Marks the output `path` finished; the one finished before it goes to the page now.
  void Finished(const std::string& path);
  /// Hands the finished output that waits, if any, to the page. Called once the run has ended.
  void HandOverFinished();
  /// For a bank run's progress bar: how the file names of the presets the run converts begin
  /// ("000-025"), in the run's order. The page learns how many there are now, and how far the run
  /// has got with each output handed over.
  void ExpectPresets(std::vector<std::string> file_prefixes);

 private:
  std::optional<std::string> finished_;
  std::vector<std::string> presets_;
  std::size_t presets_done_ = 0;
};

}  // namespace brumlet
