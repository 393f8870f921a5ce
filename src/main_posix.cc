// brumlet: converts RIFF WAVE files into XI instruments.
#include <csignal>
#include <string>
#include <vector>

#include "launch.h"
#include "platform/posix_platform.h"

int main(int argc, char** argv) {
  // A closed pipe or a file-size limit must surface as a failed write with its report, not as a
  // silent death by signal.
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);

  std::string module = argc > 0 && argv[0] != nullptr ? argv[0] : "brumlet";
  if (const std::size_t slash = module.rfind('/'); slash != std::string::npos) {
    module.erase(0, slash + 1);
  }
  const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);

  brumlet::PosixPlatform platform;
  return brumlet::Launch(args, module, platform);
}
