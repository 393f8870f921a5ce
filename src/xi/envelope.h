// An XI instrument's volume envelope, fade-out and auto-vibrato, field for field as the header
// stores them (offsets from the file's start):
//
//   162  48  12 volume points, each a 16-bit tick and a 16-bit value of 0..64
//   258   1  volume points in use
//   260   3  volume sustain point, loop start point, loop end point
//   266   1  volume flags: bit 0 on, bit 1 sustain, bit 2 loop
//   268   4  vibrato type, sweep, depth (0..15), rate (0..63)
//   272   2  fade-out, 0..0xFFF, acting only while the volume envelope is on
//
// All 12 points are stored whatever the count says, so an envelope is kept whole here: two
// instruments that play alike can still differ in the points past the count.
#pragma once

#include <array>
#include <cstdint>

namespace brumlet::xi {

inline constexpr int kEnvelopePointCount = 12;

namespace envelope_flag {
inline constexpr std::uint8_t kOn = 1;
inline constexpr std::uint8_t kSustain = 2;
inline constexpr std::uint8_t kLoop = 4;
}  // namespace envelope_flag

struct EnvelopePoint {
  std::uint16_t tick = 0;
  std::uint16_t value = 0;  ///< 0..64

  friend bool operator==(const EnvelopePoint&, const EnvelopePoint&) = default;
};

struct VolumeEnvelope {
  std::array<EnvelopePoint, kEnvelopePointCount> points{};
  std::uint8_t count = 0;  ///< points in use
  std::uint8_t sustain = 0;
  std::uint8_t loop_start = 0;
  std::uint8_t loop_end = 0;
  std::uint8_t flags = 0;      ///< envelope_flag bits
  std::uint16_t fade_out = 0;  ///< 0..0xFFF

  friend bool operator==(const VolumeEnvelope&, const VolumeEnvelope&) = default;
};

struct AutoVibrato {
  std::uint8_t type = 0;  ///< 0 sine, 1 square, 2 ramp down, 3 ramp up
  std::uint8_t sweep = 0;
  std::uint8_t depth = 0;  ///< 0..15
  std::uint8_t rate = 0;   ///< 0..63

  friend bool operator==(const AutoVibrato&, const AutoVibrato&) = default;
};

}  // namespace brumlet::xi
