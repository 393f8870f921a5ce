// Builds RIFF WAVE images in memory for the tests, byte by byte, so that every test states the
// exact file it feeds the program.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace brumlet::testing {

using Bytes = std::vector<std::uint8_t>;

inline void Put16(Bytes& b, std::uint32_t v) {
  b.push_back(static_cast<std::uint8_t>(v));
  b.push_back(static_cast<std::uint8_t>(v >> 8));
}

inline void Put32(Bytes& b, std::uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}

inline void PutText(Bytes& b, std::string_view text) {
  for (char c : text) b.push_back(static_cast<std::uint8_t>(c));
}

/// A chunk: id, size (the data's length unless given), data, and nothing else: pad bytes are
/// added by the caller where a test wants them.
inline Bytes Chunk(std::string_view id, const Bytes& data, std::int64_t size = -1) {
  Bytes b;
  b.reserve(8 + data.size());
  PutText(b, id.substr(0, 4));
  Put32(b, static_cast<std::uint32_t>(size < 0 ? static_cast<std::int64_t>(data.size()) : size));
  b.insert(b.end(), data.begin(), data.end());
  return b;
}

/// The 16 standard bytes of a fmt chunk's data, followed by `extra` bytes.
inline Bytes FmtData(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits,
                     std::uint16_t format_tag = 1, const Bytes& extra = {}) {
  Bytes b;
  const std::uint32_t block_align = channels * ((bits + 7u) / 8u);
  Put16(b, format_tag);
  Put16(b, channels);
  Put32(b, rate);
  Put32(b, rate * block_align);
  Put16(b, block_align);
  Put16(b, bits);
  b.insert(b.end(), extra.begin(), extra.end());
  return b;
}

/// smpl chunk data: the 36-byte sampler header with `loop_count`, then one loop record per
/// entry of `loops` (type, start, end).
struct Loop {
  std::uint32_t type, start, end;
};
inline Bytes SmplData(std::uint32_t loop_count, std::initializer_list<Loop> loops,
                      const Bytes& tail = {}) {
  Bytes b;
  for (int i = 0; i < 7; ++i) Put32(b, 0);  // manufacturer .. SMPTE offset
  Put32(b, loop_count);
  Put32(b, 0);  // sampler data size
  for (const Loop& loop : loops) {
    Put32(b, 0);  // cue point id
    Put32(b, loop.type);
    Put32(b, loop.start);
    Put32(b, loop.end);
    Put32(b, 0);  // fraction
    Put32(b, 0);  // play count
  }
  b.insert(b.end(), tail.begin(), tail.end());
  return b;
}

inline Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes b;
  for (const Bytes& part : parts) b.insert(b.end(), part.begin(), part.end());
  return b;
}

/// A RIFF WAVE file: the head with its fmt chunk, then `chunks` as given.
inline Bytes Wav(const Bytes& fmt_data, std::initializer_list<Bytes> chunks) {
  Bytes body{'W', 'A', 'V', 'E'};
  Bytes fmt = Chunk("fmt ", fmt_data);
  std::size_t size = body.size() + fmt.size();
  for (const Bytes& chunk : chunks) size += chunk.size();
  body.reserve(size);
  body.insert(body.end(), fmt.begin(), fmt.end());
  for (const Bytes& chunk : chunks) body.insert(body.end(), chunk.begin(), chunk.end());
  return Chunk("RIFF", body);
}

inline Bytes Repeat(std::size_t count, std::uint8_t value) { return Bytes(count, value); }

/// 16-bit little-endian samples.
inline Bytes Samples16(std::initializer_list<std::int16_t> values) {
  Bytes b;
  for (std::int16_t v : values) Put16(b, static_cast<std::uint16_t>(v));
  return b;
}

// The data chunk (or the chunk `id`) of a WAV, found by a plain RIFF walk of the test's own.
inline Bytes DataChunkOf(const std::string& wav, std::string_view id = "data") {
  std::size_t at = 12;
  while (at + 8 <= wav.size()) {
    const std::uint32_t size =
        static_cast<std::uint8_t>(wav[at + 4]) | static_cast<std::uint8_t>(wav[at + 5]) << 8 |
        static_cast<std::uint8_t>(wav[at + 6]) << 16 |
        static_cast<std::uint32_t>(static_cast<std::uint8_t>(wav[at + 7])) << 24;
    if (wav.compare(at, 4, id) == 0)
      return Bytes(wav.begin() + at + 8, wav.begin() + at + 8 + size);
    at += 8 + size + (size & 1);
  }
  return {};
}

}  // namespace brumlet::testing
