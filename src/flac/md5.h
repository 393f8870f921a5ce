// The MD5 message digest (RFC 1321), which a FLAC stream's STREAMINFO holds of its decoded
// samples so that a decoder can prove it got every sample back.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "bytes.h"

namespace brumlet::flac {

using Md5Digest = std::array<Byte, 16>;

class Md5 {
 public:
  /// Takes `size` more bytes of the message.
  void Update(const Byte* data, std::size_t size);
  /// The digest of the message so far. The object is spent: make a new one for a new message.
  Md5Digest Finish();

 private:
  void Compress(const Byte* block);

  std::array<std::uint32_t, 4> state_{0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
  std::uint64_t length_ = 0;  ///< bytes taken so far
  std::array<Byte, 64> pending_{};
  std::size_t pending_size_ = 0;
};

}  // namespace brumlet::flac
