// brumlet in a web page: the page (or Node) calls this main once per fresh instance of the
// program, with the command line as an array of strings and the files in the current folder.
#include <string>
#include <vector>

#include "launch.h"
#include "platform/wasm_platform.h"

int main(int argc, char** argv) {
  // The runtime's own program name is a placeholder ("./this.program") or, under Node, the
  // loader script's path. The program has one name in a page, the one its Linux build has.
  constexpr std::string_view kModule = "brumlet";
  const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);

  brumlet::WasmPlatform platform;
  // Launch guards the run as on every system: an exception the program does not expect ends it
  // with the failure report and exit code 1, not by aborting the instance. A page is never an
  // Explorer launch.
  return brumlet::Launch(args, kModule, platform);
}
