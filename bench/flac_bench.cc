// Decodes FLAC files as the converter will, to 16-bit samples (`--mono`: mixed to one channel as
// the SFZ reader takes them), and prints how long all of them took. bench/flac.sh times it
// against `flac -d`. Exits with 1, naming the file and the reason, at the first refused stream.
//
//   flac_bench [--mono] FILE...
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "flac/flac_decoder.h"
#include "platform/posix_platform.h"

int main(int argc, char** argv) {
  using namespace brumlet;
  const bool mono = argc > 1 && std::strcmp(argv[1], "--mono") == 0;
  PosixPlatform platform;
  std::uint64_t frames = 0;
  const auto start = std::chrono::steady_clock::now();
  for (int i = mono ? 2 : 1; i < argc; ++i) {
    const std::unique_ptr<File> file = platform.OpenRead(argv[i], Site::kSourceOpen);
    flac::Status status;
    if (mono) {
      const flac::Mono16 decoded =
          flac::ReadMono16(*file, std::uint64_t{1} << 32, Site::kSampleRead);
      status = decoded.status;
      frames += decoded.frames.size();
    } else {
      flac::Decoder decoder(*file, Site::kSampleRead);
      status = decoder.Open();
      std::vector<std::int16_t> block(decoder.max_block_samples());
      while (decoder.DecodeFrame(block) > 0) {
      }
      if (status.ok()) status = decoder.status();
      frames += decoder.frames_decoded();
    }
    if (!status.ok()) {
      std::fprintf(stderr, "%s: %s\n", argv[i], status.Reason().c_str());
      return 1;
    }
  }
  const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
  std::printf("%d files, %llu frames, %.3f s\n", argc - (mono ? 2 : 1),
              static_cast<unsigned long long>(frames), seconds.count());
  return 0;
}
