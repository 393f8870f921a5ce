#include "xi/g711.h"

namespace brumlet {

// Mu-law bytes are stored complemented. Segment s spans steps of 2^(s + 3) starting from a bias
// of 132 (0x84), which is taken off again, so that the byte 0xFF decodes to 0.
std::int16_t MuLawToSample(Byte coded) {
  const int u = ~coded & 0xFF;
  const int segment = (u & 0x70) >> 4;
  const int magnitude = (((u & 0x0F) << 3) + 0x84) << segment;
  return static_cast<std::int16_t>((u & 0x80) != 0 ? 0x84 - magnitude : magnitude - 0x84);
}

// A-law bytes have their even bits inverted (XOR 0x55). Segments 0 and 1 share steps of 16;
// each segment above doubles the step. Every value lies in the middle of its step, and a set
// sign bit means a positive value.
std::int16_t ALawToSample(Byte coded) {
  const int a = coded ^ 0x55;
  const int segment = (a & 0x70) >> 4;
  int magnitude = (a & 0x0F) << 4;
  if (segment == 0) {
    magnitude += 8;
  } else {
    magnitude = (magnitude + 0x108) << (segment - 1);
  }
  return static_cast<std::int16_t>((a & 0x80) != 0 ? magnitude : -magnitude);
}

}  // namespace brumlet
