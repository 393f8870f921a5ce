// Sample data that exists only once it is made: a drum key rendered, a compressed file decoded.
#pragma once

#include <cstdint>
#include <span>

namespace brumlet {

/// 16-bit mono frames made on demand. The writer asks for them once, in order from the first,
/// as many in all as the sample's length, in pieces of any size.
class FrameSource {
 public:
  virtual ~FrameSource() = default;
  /// Fills `out` with the next frames. Throws RunFailure where reading a file fails.
  virtual void Read(std::span<std::int16_t> out) = 0;
};

}  // namespace brumlet
