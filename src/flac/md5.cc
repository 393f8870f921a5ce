#include "flac/md5.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace brumlet::flac {
namespace {

// floor(2^32 x |sin(i + 1)|) for the 64 steps.
constexpr std::array<std::uint32_t, 64> kSines = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

// Each round's four rotations, used in turn.
constexpr int kRotations[4][4] = {
    {7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

// One round: 16 steps, each mixing one word of the block, chosen by `word(i)`, through the
// round's function `f`. The template makes every step's word, rotation and constant known to
// the compiler, which then unrolls the round.
template <int kRound, typename F>
inline void Round(std::uint32_t& a, std::uint32_t& b, std::uint32_t& c, std::uint32_t& d,
                  const std::uint32_t* x, F f) {
  for (int i = 0; i < 16; ++i) {
    constexpr int kFirst[4] = {0, 1, 5, 0}, kStride[4] = {1, 5, 3, 7};
    const int word = (kFirst[kRound] + kStride[kRound] * i) % 16;
    const std::uint32_t sum = a + f(b, c, d) + x[word] + kSines[16 * kRound + i];
    const std::uint32_t next = b + std::rotl(sum, kRotations[kRound][i % 4]);
    a = d;
    d = c;
    c = b;
    b = next;
  }
}

}  // namespace

void Md5::Compress(const Byte* block) {
  std::uint32_t x[16];
  for (int i = 0; i < 16; ++i) x[i] = LoadU32(block + 4 * i);
  std::uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
  Round<0>(a, b, c, d, x, [](auto x, auto y, auto z) { return z ^ (x & (y ^ z)); });
  Round<1>(a, b, c, d, x, [](auto x, auto y, auto z) { return y ^ (z & (x ^ y)); });
  Round<2>(a, b, c, d, x, [](auto x, auto y, auto z) { return x ^ y ^ z; });
  Round<3>(a, b, c, d, x, [](auto x, auto y, auto z) { return y ^ (x | ~z); });
  state_[0] += a;
  state_[1] += b;
  state_[2] += c;
  state_[3] += d;
}

void Md5::Update(const Byte* data, std::size_t size) {
  length_ += size;
  if (pending_size_ > 0) {
    const std::size_t take = std::min(size, pending_.size() - pending_size_);
    std::memcpy(pending_.data() + pending_size_, data, take);
    pending_size_ += take;
    data += take;
    size -= take;
    if (pending_size_ < pending_.size()) return;
    Compress(pending_.data());
    pending_size_ = 0;
  }
  for (; size >= 64; data += 64, size -= 64) Compress(data);
  std::memcpy(pending_.data(), data, size);
  pending_size_ = size;
}

Md5Digest Md5::Finish() {
  // The message is padded with a 1 bit and zeros up to 8 bytes short of a block, and its length
  // in bits follows, little-endian.
  const std::uint64_t bits = length_ * 8;
  const Byte one = 0x80;
  Update(&one, 1);
  const Byte zeros[64] = {};
  Update(zeros, (64 + 56 - pending_size_) % 64);
  Byte length[8];
  StoreU32(length, static_cast<std::uint32_t>(bits));
  StoreU32(length + 4, static_cast<std::uint32_t>(bits >> 32));
  Update(length, 8);
  Md5Digest digest;
  for (int i = 0; i < 4; ++i) StoreU32(digest.data() + 4 * i, state_[static_cast<std::size_t>(i)]);
  return digest;
}

}  // namespace brumlet::flac
