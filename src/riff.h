// What the RIFF files the program reads (WAVE files and SoundFont banks) share: a chunk header of
// a four-byte id and a little-endian size, and the way a chunk id is shown to the user.
//
// The walks over the chunks stay with their formats, for they differ on purpose: a WAV's walk
// steps over a pad byte after an odd-sized data chunk only where the samples can be odd-sized
// and takes a zero after a LIST entry as its pad, as the files in the wild need; a bank's walk
// pads every odd chunk as RIFF says and tolerates a missing pad where the next id shows it. Each
// reports its failures at sites of its own.
#pragma once

#include <array>
#include <string>

#include "bytes.h"
#include "platform/platform.h"

namespace brumlet {

/// A chunk header: four-byte id, then the size of the data that follows (not counting these 8).
struct ChunkHeader {
  static constexpr int kSize = 8;
  static constexpr int kIdOffset = 0;
  static constexpr int kSizeOffset = 4;
  std::array<Byte, 4> id{};
  std::uint32_t size = 0;

  bool Is(const char (&name)[5]) const { return IdEquals(id.data(), name); }
};

/// The chunk header at `file`'s position; a file that ends before it is a short read at `site`.
inline ChunkHeader ReadChunkHeader(File& file, Site site) {
  Byte raw[ChunkHeader::kSize];
  file.ReadExact(raw, sizeof raw, site);
  ChunkHeader header;
  std::copy_n(raw + ChunkHeader::kIdOffset, 4, header.id.begin());
  header.size = LoadU32(raw + ChunkHeader::kSizeOffset);
  return header;
}

/// A chunk id as a message shows it: printable ASCII as it is, every other byte as "?". An id
/// is four bytes of a file, so it gets its own strict rule rather than a name's.
inline std::string PrintableId(const Byte* id) {
  std::string text;
  for (int i = 0; i < 4; ++i) {
    text.push_back(id[i] >= 0x20 && id[i] < 0x7F ? static_cast<char>(id[i]) : '?');
  }
  return text;
}

}  // namespace brumlet
