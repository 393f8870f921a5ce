// Fuzzes the whole conversion of one source: the WAV scan, the header, the default naming and the
// encoders, run by the driver over an in-memory platform. Whatever the bytes, the run must end
// with one of its documented exit codes, and a converted file must hold the sample data its
// header declares.
#include <cstdint>
#include <cstdlib>

#include "brumlet.h"
#include "fake_platform.h"
#include "xi_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace brumlet;
  testing::FakePlatform platform;
  // A data chunk may claim 2 GiB that the file does not hold, which a real disk stores as a
  // sparse file; in memory that would be real, so outputs stop at a size limit ("Disk full").
  platform.file_size_limit = 1 << 20;
  platform.disk_room = 4 << 20;  // a run that writes more ends as with a full disk
  platform.AddFile("in.wav", testing::Bytes(data, data + size));
  const int code = RunBrumlet({"in.wav"}, "brumlet", platform);
  switch (code) {
    case 0: {
      // Every declared byte is there. A stereo source with an odd data length leaves its last
      // byte behind the right channel's sample, which both headers declare at half the length.
      const testing::Bytes& bytes = platform.Contents("in.xi");
      const measure::XiFile xi = measure::ParseXi(std::string(bytes.begin(), bytes.end()));
      const bool stereo = xi.key_map[72] == 1;
      if (!xi.complete && !(stereo && xi.trailing == 1)) std::abort();
      break;
    }
    case 1:
    case 248:
    case 253:
      if (code != 1 && platform.Has("in.xi")) std::abort();  // a rejected output is deleted
      break;
    default:
      std::abort();
  }
  return 0;
}
