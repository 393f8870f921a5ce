// Reads a FLAC stream bit by bit from a File, through one buffer that is refilled as the stream
// is consumed: a stream of any length is read in 64 KiB pieces and never held whole.
//
// The bits come out of a 64-bit cache that holds the next bits left-aligned; `bits_` of them are
// counted. The cache is refilled eight bytes at a time without a branch per byte: the bytes
// beyond the counted ones land in the low bits as well, which is harmless, since every later
// refill ORs the very same bits into the very same places. Whatever takes bytes without the
// cache (PeekBytes, SkipBytes) first empties it, which keeps that true.
//
// The reader also keeps the CRC-16 of a frame: the bytes from StartCrc16 on are folded in as the
// buffer moves past them, and the rest when Crc16 is asked.
//
// Past the end of the file the reader gives zero bits and sets overrun(): the decoder checks the
// flag where a frame ends (or fails) and reports a cut file, so no loop needs a test per bit.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>
#include <type_traits>
#include <vector>

#include "flac/big_endian.h"
#include "platform/platform.h"

namespace brumlet::flac {

class BitReader {
 public:
  static constexpr std::size_t kBufferSize = 64 * 1024;
  /// The most bytes PeekBytes gives.
  static constexpr std::size_t kMaxPeek = 64;

  /// Reads `file` from its current position; every read names `site`.
  BitReader(File& file, Site site) : file_(file), site_(site), buffer_(kBufferSize) {}

  // ---- Bytes, where the stream is byte-aligned.

  /// The next `count` (at most kMaxPeek) bytes, not consumed; fewer only at the end of the file.
  std::span<const Byte> PeekBytes(std::size_t count);
  /// Consumes `count` bytes, reading through the file; past its end, sets overrun().
  void SkipBytes(std::uint64_t count);

  // ---- Bits.

  /// The next `count` bits (0 to 32) as an unsigned number.
  std::uint32_t ReadBits(int count) {
    if (bits_ < count) Refill();
    if (count == 0) return 0;
    const auto value = static_cast<std::uint32_t>(cache_ >> (64 - count));
    Consume(count);
    return value;
  }
  /// The next `count` bits (0 to 32) as a two's complement number; 0 bits give 0.
  std::int32_t ReadSigned(int count) {
    if (count == 0) return 0;
    const std::uint32_t value = ReadBits(count) << (32 - count);
    return static_cast<std::int32_t>(value) >> (32 - count);
  }
  /// The same for up to 33 bits, the width of a side channel of 32-bit audio.
  std::int64_t ReadSigned64(int count) {
    if (count <= 32) return ReadSigned(count);
    const std::uint64_t high = ReadBits(count - 32);
    const std::uint64_t value = (high << 32 | ReadBits(32)) << (64 - count);
    return static_cast<std::int64_t>(value) >> (64 - count);
  }
  /// A unary number: the zero bits before the next one bit, which is consumed too. A run longer
  /// than `limit` gives limit + 1 and leaves the reader anywhere in it.
  std::uint64_t ReadUnary(std::uint64_t limit);
  /// Skips to the next byte boundary; false when a skipped bit was not 0.
  bool AlignToByte() { return ReadBits(bits_ % 8) == 0; }

  /// Decodes `count` Rice codes of parameter `parameter` (0 to 30) into residuals. False when one
  /// is beyond what a residual may be, a 32-bit value other than -2^31 (then the others are
  /// anything); the folded values are checked together, after the loop.
  template <typename T>
  bool ReadRice(T* out, std::size_t count, int parameter) {
    // The hot loop of the decoder. The reader's state lives in locals here, which the compiler
    // keeps in registers: as members they would be stored and reloaded around every write to
    // `out`, which might alias them for all it knows.
    std::uint64_t cache = cache_;
    int bits = bits_;
    std::size_t pos = pos_;
    const Byte* const data = buffer_.data();
    std::uint64_t out_of_range = 0;
    for (std::size_t i = 0; i < count; ++i) {
      if (pos + 8 <= end_) [[likely]] {
        cache |= LoadBe64(data + pos) >> bits;
        pos += static_cast<std::size_t>(63 - bits) >> 3;
        bits |= 56;
      } else {
        cache_ = cache, bits_ = bits, pos_ = pos;
        SlowRefill();
        cache = cache_, bits = bits_, pos = pos_;
      }
      // Zeros, a one, `parameter` low bits. With the one counted among the low bits, the value is
      // (zeros << parameter) + low = top + ((zeros - 1) << parameter), all modulo 2^64.
      const int zeros = std::countl_zero(cache);
      const int used = zeros + 1 + parameter;
      std::uint64_t folded;
      if (used <= bits) [[likely]] {
        folded = ((cache << zeros) >> (63 - parameter)) +
                 ((static_cast<std::uint64_t>(zeros) - 1) << parameter);
        cache <<= used;
        bits -= used;
      } else {
        cache_ = cache, bits_ = bits, pos_ = pos;
        folded = SlowRice(parameter);
        cache = cache_, bits = bits_, pos = pos_;
      }
      out_of_range |= (folded + 1) >> 32;
      const auto f = static_cast<std::uint32_t>(folded);
      out[i] = static_cast<T>(static_cast<std::int32_t>((f >> 1) ^ (0u - (f & 1))));
    }
    cache_ = cache, bits_ = bits, pos_ = pos;
    return out_of_range == 0;
  }

  // ---- The CRC-16 of a frame.

  /// Starts the CRC at the current byte (byte-aligned).
  void StartCrc16();
  /// The CRC of the bytes from StartCrc16 up to the current byte (byte-aligned).
  std::uint16_t Crc16();

  /// True once a read went past the end of the file. The zero bytes that a refill counts in
  /// beyond it are only a fault once bits of them are consumed.
  bool overrun() const { return overrun_ || static_cast<std::size_t>(bits_) < 8 * phantom_; }

 private:
  void Consume(int count) {
    cache_ <<= count;
    bits_ -= count;
  }
  /// Makes 56 to 63 bits counted (zeros past the end of the file).
  void Refill() {
    if (pos_ + 8 <= end_) [[likely]] {
      cache_ |= LoadBe64(buffer_.data() + pos_) >> bits_;
      pos_ += static_cast<std::size_t>(63 - bits_) >> 3;
      bits_ |= 56;
    } else {
      SlowRefill();
    }
  }
  void SlowRefill();
  /// Keeps the bytes not yet wholly consumed, moved to the front, and fills the rest of the
  /// buffer from the file.
  void Reload();
  /// Puts the cache's whole bytes back (byte-aligned), so that pos_ is the next unread byte.
  void EmptyCache();
  std::uint64_t SlowRice(int parameter);

  File& file_;
  Site site_;
  std::vector<Byte> buffer_;
  std::size_t end_ = 0;  ///< bytes in the buffer
  std::size_t pos_ = 0;  ///< the next byte to go into the cache
  std::uint64_t cache_ = 0;
  int bits_ = 0;             ///< counted bits in the cache, 0 to 63
  std::size_t phantom_ = 0;  ///< zero bytes counted into the cache past the end of the file
  bool end_of_file_ = false;
  bool overrun_ = false;  ///< a skip or an emptied cache went past the end
  std::uint16_t crc_ = 0;
  std::size_t crc_from_ = 0;  ///< the first byte in the buffer not yet folded into crc_
};

}  // namespace brumlet::flac
