#include "xi_one_key.h"

#include <cstdint>

#include "bytes.h"

namespace brumlet::measure {
namespace {

// An XI file: a 298-byte instrument header, whose key map (a sample number for each of keys
// 0..95) lies at 66 and sample count (u16) at 296; then a 40-byte header for each sample, whose
// first field is the length of its data in bytes (u32); then each sample's data in that order.
constexpr std::size_t kKeyMap = 66, kKeys = 96, kSampleCount = 296, kInstrumentHeader = 298;
constexpr std::size_t kSampleHeader = 40;
static_assert(kKeyMap + kKeys <= kSampleCount && kSampleCount + 2 == kInstrumentHeader);

const Byte* At(const std::string& bytes, std::size_t at) {
  return reinterpret_cast<const Byte*>(bytes.data()) + at;
}

}  // namespace

std::string XiOfOneKey(const std::string& xi, int key) {
  if (xi.size() < kInstrumentHeader || key < 0 || key >= static_cast<int>(kKeys)) return xi;
  const std::size_t count = LoadU16(At(xi, kSampleCount));
  const auto chosen = static_cast<std::uint8_t>(xi[kKeyMap + static_cast<std::size_t>(key)]);
  if (chosen >= count || xi.size() < kInstrumentHeader + count * kSampleHeader) return xi;
  std::size_t data = kInstrumentHeader + count * kSampleHeader;
  for (std::size_t s = 0; s < chosen; ++s) {
    data += LoadU32(At(xi, kInstrumentHeader + s * kSampleHeader));
  }
  const std::size_t header = kInstrumentHeader + chosen * kSampleHeader;
  const std::size_t length = LoadU32(At(xi, header));
  if (data > xi.size() || length > xi.size() - data) return xi;
  std::string one = xi.substr(0, kInstrumentHeader);
  one.replace(kKeyMap, kKeys, kKeys, '\0');
  StoreU16(reinterpret_cast<Byte*>(one.data()) + kSampleCount, 1);
  one += xi.substr(header, kSampleHeader);
  one += xi.substr(data, length);
  return one;
}

}  // namespace brumlet::measure
