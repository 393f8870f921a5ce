#include "flac/frame_header.h"

#include <array>

#include "flac/big_endian.h"
#include "flac/crc.h"

namespace brumlet::flac {
namespace {

constexpr std::size_t kCodesAt = 2;
constexpr std::size_t kLayoutAt = 3;
constexpr std::size_t kNumberAt = 4;

// Block size codes 6 and 7 store the size minus 1 in 8 and 16 bits; codes 12, 13 and 14 store
// the sample rate in kHz (8 bits), in Hz and in tens of Hz (16 bits).
constexpr int kBlockSize8 = 6, kBlockSize16 = 7;
constexpr int kRateKhz = 12, kRateHz = 13, kRateTensOfHz = 14, kRateForbidden = 15;
constexpr std::array<std::uint32_t, 12> kRates = {0,     88200, 176400, 192000, 8000,  16000,
                                                  22050, 24000, 32000,  44100,  48000, 96000};
// Bit depth codes; 0 is STREAMINFO's depth, -1 reserved.
constexpr std::array<int, 8> kDepths = {0, 8, 12, -1, 16, 20, 24, 32};

// Reads the coded number at `bytes`: its length from the first byte's leading ones (0 or 2 to
// 7), then six bits from each byte after it; 0 length where the bytes are no such number.
std::size_t ReadCodedNumber(std::span<const Byte> bytes, std::uint64_t& number) {
  const int ones = std::countl_one(bytes[0]);
  if (ones == 1 || ones == 8) return 0;
  const auto length = static_cast<std::size_t>(ones == 0 ? 1 : ones);
  if (bytes.size() < length) return length;  // cut: the caller tells by the size
  number = bytes[0] & (0x7Fu >> ones);
  for (std::size_t i = 1; i < length; ++i) {
    if ((bytes[i] & 0xC0) != 0x80) return 0;
    number = number << 6 | (bytes[i] & 0x3Fu);
  }
  return length;
}

}  // namespace

Fault ParseFrameHeader(std::span<const Byte> bytes, FrameHeader& header) {
  if (bytes.size() < 2 || bytes[0] != 0xFF || (bytes[1] & 0xFE) != 0xF8) return Fault::kNoSync;
  if (bytes.size() <= kNumberAt) return Fault::kTruncatedFrame;
  header.variable_block_size = (bytes[1] & 1) != 0;
  const std::size_t number_size = ReadCodedNumber(bytes.subspan(kNumberAt), header.number);
  if (number_size == 0) return Fault::kReservedValue;
  const int block_code = bytes[kCodesAt] >> 4, rate_code = bytes[kCodesAt] & 0xF;
  const std::size_t block_at = kNumberAt + number_size;
  const std::size_t rate_at = block_at + (block_code == kBlockSize8    ? 1
                                          : block_code == kBlockSize16 ? 2
                                                                       : 0);
  header.size = rate_at +
                (rate_code == kRateKhz                                ? 1
                 : rate_code == kRateHz || rate_code == kRateTensOfHz ? 2
                                                                      : 0) +
                1;
  if (bytes.size() < header.size) return Fault::kTruncatedFrame;
  if (Crc8(bytes.data(), header.size - 1) != bytes[header.size - 1]) return Fault::kHeaderCrc;
  // A frame number has at most 31 bits, six bytes coded.
  if (!header.variable_block_size && number_size > 6) return Fault::kReservedValue;

  if (block_code == 0) return Fault::kReservedValue;
  if (block_code == 1) {
    header.block_size = 192;
  } else if (block_code <= 5) {
    header.block_size = 144u << block_code;
  } else if (block_code == kBlockSize8) {
    header.block_size = bytes[block_at] + 1u;
  } else if (block_code == kBlockSize16) {
    header.block_size = LoadBe16(&bytes[block_at]) + 1;
    if (header.block_size > 65535) return Fault::kReservedValue;
  } else {
    header.block_size = 1u << block_code;
  }

  if (rate_code == kRateForbidden) return Fault::kReservedValue;
  if (rate_code == kRateKhz) {
    header.sample_rate = bytes[rate_at] * 1000u;
  } else if (rate_code == kRateHz) {
    header.sample_rate = LoadBe16(&bytes[rate_at]);
  } else if (rate_code == kRateTensOfHz) {
    header.sample_rate = LoadBe16(&bytes[rate_at]) * 10;
  } else {
    header.sample_rate = kRates[static_cast<std::size_t>(rate_code)];
  }

  const int channel_code = bytes[kLayoutAt] >> 4;
  if (channel_code > 10) return Fault::kReservedValue;
  header.channels = channel_code < 8 ? channel_code + 1 : 2;
  header.layout =
      channel_code < 8 ? ChannelLayout::kIndependent : static_cast<ChannelLayout>(channel_code - 7);
  header.bits_per_sample = kDepths[static_cast<std::size_t>(bytes[kLayoutAt] >> 1 & 7)];
  if (header.bits_per_sample < 0 || (bytes[kLayoutAt] & 1) != 0) return Fault::kReservedValue;
  return Fault::kNone;
}

}  // namespace brumlet::flac
