// Fuzzes the FLAC decoder over a stream in memory: whatever the bytes, it reads them to the end of
// the stream or to a refusal without reading or writing outside its buffers, never gives a frame
// larger than STREAMINFO allows, and refuses with a reason. Both output forms are taken in turn,
// and the mono reader reads the same bytes. A stream may decode to far more samples than it has
// bytes, as a caller that bounds its samples stops it, so does this one.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "fake_platform.h"
#include "flac/flac_decoder.h"

namespace {

constexpr std::uint64_t kMaxFrames = 1 << 20;

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace brumlet;
  const testing::Faults no_faults;
  auto node = std::make_shared<testing::MemNode>();
  node->bytes.assign(data, data + size);
  testing::MemFile file(node, no_faults);
  flac::Decoder decoder(file, Site::kSampleRead);
  if (decoder.Open().ok()) {
    std::vector<std::int32_t> wide(decoder.max_block_samples());
    std::vector<std::int16_t> narrow(decoder.max_block_samples());
    for (bool even = true; decoder.frames_decoded() < kMaxFrames; even = !even) {
      const std::size_t frames = even ? decoder.DecodeFrame(wide) : decoder.DecodeFrame(narrow);
      if (frames == 0) break;
      Check(frames <= decoder.info().max_block_size);
    }
  }
  Check(decoder.status().ok() || !decoder.status().Reason().empty());

  testing::MemFile again(node, no_faults);
  const flac::Mono16 mono = flac::ReadMono16(again, kMaxFrames, Site::kSampleRead);
  Check(mono.frames.size() <= kMaxFrames);
  Check(mono.status.ok() || !mono.status.Reason().empty());
  return 0;
}
