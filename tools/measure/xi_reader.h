// Reads XI files back for the tests and the measuring tools: the header fields and each sample's
// data decoded the standard way (a running sum of deltas from 0), as a tracker loads it.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace brumlet::measure {

struct XiSample {
  std::int32_t length = 0, loop_start = 0, loop_length = 0;
  int volume = 0, finetune = 0, type = 0, panning = 0, relative_note = 0;
  std::string name;
  std::vector<int> data;  ///< decoded values, signed 8- or 16-bit
};

/// The volume envelope, fade-out and auto-vibrato, as the header stores them.
struct XiEnvelope {
  std::array<int, 12> ticks{}, values{};  ///< all 12 points, whatever the count says
  int count = 0, sustain = 0, loop_start = 0, loop_end = 0, flags = 0, fade_out = 0;
  int vibrato_type = 0, vibrato_sweep = 0, vibrato_depth = 0, vibrato_rate = 0;
};

struct XiFile {
  std::string instrument_name;  ///< blanks behind it kept
  std::vector<int> key_map;
  XiEnvelope envelope;
  int sample_count = 0;
  std::vector<XiSample> samples;
  bool complete = false;  ///< the file held every byte its header declares, and no more
  /// Bytes behind the declared samples; negative when the file is shorter than its header says.
  std::int64_t trailing = 0;
};

/// Sample data decoded the standard way, as a tracker loads it: a running sum of the deltas from
/// 0, modulo 2^16 for 16-bit data or 2^8 for 8-bit data, as signed values. Takes every whole
/// sample among the `length` bytes from `begin`, as far as `bytes` holds them.
template <typename ByteContainer>
std::vector<int> DecodeSampleData(const ByteContainer& bytes, std::size_t begin, std::size_t length,
                                  bool sixteen_bit) {
  auto u8 = [&](std::size_t at) { return static_cast<std::uint8_t>(bytes[at]); };
  const std::size_t step = sixteen_bit ? 2 : 1;
  std::vector<int> values;
  int sum = 0;
  for (std::size_t i = 0; i + step <= length && begin + i + step <= bytes.size(); i += step) {
    if (sixteen_bit) {
      sum = static_cast<std::int16_t>(sum + (u8(begin + i) | u8(begin + i + 1) << 8));
    } else {
      sum = static_cast<std::int8_t>(sum + u8(begin + i));
    }
    values.push_back(sum);
  }
  return values;
}

inline XiFile ParseXi(const std::string& bytes) {
  auto u8 = [&](std::size_t at) { return static_cast<std::uint8_t>(bytes.at(at)); };
  auto i8 = [&](std::size_t at) { return static_cast<int>(static_cast<std::int8_t>(u8(at))); };
  auto u16 = [&](std::size_t at) { return u8(at) | u8(at + 1) << 8; };
  auto i32 = [&](std::size_t at) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(u16(at)) |
                                     static_cast<std::uint32_t>(u16(at + 2)) << 16);
  };
  XiFile xi;
  xi.instrument_name = bytes.substr(21, 22);
  for (int key = 0; key < 96; ++key) xi.key_map.push_back(u8(66 + key));
  XiEnvelope& e = xi.envelope;
  for (std::size_t point = 0; point < e.ticks.size(); ++point) {
    e.ticks[point] = u16(162 + 4 * point);
    e.values[point] = u16(164 + 4 * point);
  }
  e.count = u8(258);
  e.sustain = u8(260);
  e.loop_start = u8(261);
  e.loop_end = u8(262);
  e.flags = u8(266);
  e.vibrato_type = u8(268);
  e.vibrato_sweep = u8(269);
  e.vibrato_depth = u8(270);
  e.vibrato_rate = u8(271);
  e.fade_out = u16(272);
  xi.sample_count = u16(296);
  std::size_t data = 298 + 40 * static_cast<std::size_t>(xi.sample_count);
  for (int n = 0; n < xi.sample_count; ++n) {
    const std::size_t h = 298 + 40 * static_cast<std::size_t>(n);
    XiSample s;
    s.length = i32(h);
    s.loop_start = i32(h + 4);
    s.loop_length = i32(h + 8);
    s.volume = u8(h + 12);
    s.finetune = i8(h + 13);
    s.type = u8(h + 14);
    s.panning = u8(h + 15);
    s.relative_note = i8(h + 16);
    s.name = bytes.substr(h + 18, u8(h + 17));
    xi.samples.push_back(s);
  }
  for (XiSample& s : xi.samples) {
    s.data = DecodeSampleData(bytes, data, static_cast<std::size_t>(s.length), (s.type & 16) != 0);
    data += static_cast<std::size_t>(s.length);
  }
  xi.trailing = static_cast<std::int64_t>(bytes.size()) - static_cast<std::int64_t>(data);
  xi.complete = xi.trailing == 0;
  return xi;
}

}  // namespace brumlet::measure
