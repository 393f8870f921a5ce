// Fuzzes the name file and the console answers: the line reader, identifiers, sample numbers and
// token expansion, over two sources so that the name file is rewound. The run must end with a
// documented exit code, and a converted file must be complete.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>

#include "brumlet.h"
#include "fake_platform.h"
#include "riff_builder.h"
#include "xi_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace brumlet;
  using namespace brumlet::testing;
  using namespace brumlet::measure;
  FuzzedDataProvider input(data, size);
  FakePlatform platform;
  platform.fake_console().input = input.ConsumeRandomLengthString(256);
  const std::vector<std::uint8_t> names = input.ConsumeRemainingBytes<std::uint8_t>();
  platform.AddFile("names", Bytes(names.begin(), names.end()));
  platform.AddFile("a.wav", Wav(FmtData(2, 44100, 16), {Chunk("data", Repeat(64, 1))}));
  Bytes title = Chunk("LIST", Concat({Bytes{'I', 'N', 'F', 'O'}, Chunk("INAM", {'T', 0})}));
  platform.AddFile("b.wav", Wav(FmtData(1, 8000, 8), {title, Chunk("data", Repeat(33, 0x80))}));
  const int code = RunBrumlet({"*.wav", "names"}, "brumlet", platform);
  auto complete = [&platform](const char* name) {
    const Bytes& xi = platform.Contents(name);
    return ParseXi(std::string(xi.begin(), xi.end())).complete;
  };
  if (code == 0) {
    if (!complete("a.xi") || !complete("b.xi")) std::abort();
  } else if (code >= 249 && code <= 252) {
    // The source being named is deleted; the one before it stays, whole.
    if (platform.Has("b.xi") || (platform.Has("a.xi") && !complete("a.xi"))) std::abort();
  } else {
    std::abort();  // nothing here can fail as a file operation
  }
  return 0;
}
