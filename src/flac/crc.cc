#include "flac/crc.h"

#include <array>

namespace brumlet::flac {
namespace {

constexpr std::array<std::uint8_t, 256> MakeCrc8Table() {
  std::array<std::uint8_t, 256> table{};
  for (unsigned byte = 0; byte < 256; ++byte) {
    unsigned crc = byte;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x80) != 0 ? (crc << 1) ^ 0x07 : crc << 1;
    table[byte] = static_cast<std::uint8_t>(crc);
  }
  return table;
}

// Eight tables, so that the frame's bytes are taken eight at a time: tables[k][x] is the CRC of
// byte x followed by k zero bytes. The CRC is linear, so the CRC of eight bytes (the running
// CRC folded into the first two) is the XOR of each byte's table entry for its distance from the
// end.
constexpr std::array<std::array<std::uint16_t, 256>, 8> MakeCrc16Tables() {
  std::array<std::array<std::uint16_t, 256>, 8> tables{};
  for (unsigned byte = 0; byte < 256; ++byte) {
    unsigned crc = byte << 8;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x8000) != 0 ? (crc << 1) ^ 0x8005 : crc << 1;
    tables[0][byte] = static_cast<std::uint16_t>(crc);
  }
  for (std::size_t k = 1; k < 8; ++k) {
    for (unsigned byte = 0; byte < 256; ++byte) {
      const unsigned previous = tables[k - 1][byte];
      tables[k][byte] = static_cast<std::uint16_t>((previous << 8) ^ tables[0][previous >> 8]);
    }
  }
  return tables;
}

constexpr auto kCrc8 = MakeCrc8Table();
constexpr auto kCrc16 = MakeCrc16Tables();

}  // namespace

std::uint8_t Crc8(const Byte* data, std::size_t size) {
  std::uint8_t crc = 0;
  for (std::size_t i = 0; i < size; ++i) crc = kCrc8[crc ^ data[i]];
  return crc;
}

std::uint16_t Crc16(std::uint16_t crc, const Byte* data, std::size_t size) {
  unsigned c = crc;
  for (; size >= 8; data += 8, size -= 8) {
    c = kCrc16[7][data[0] ^ (c >> 8)] ^ kCrc16[6][data[1] ^ (c & 0xFF)] ^ kCrc16[5][data[2]] ^
        kCrc16[4][data[3]] ^ kCrc16[3][data[4]] ^ kCrc16[2][data[5]] ^ kCrc16[1][data[6]] ^
        kCrc16[0][data[7]];
  }
  for (; size > 0; ++data, --size) c = ((c << 8) & 0xFFFF) ^ kCrc16[0][(c >> 8) ^ *data];
  return static_cast<std::uint16_t>(c);
}

}  // namespace brumlet::flac
