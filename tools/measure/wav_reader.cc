#include "wav_reader.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <iterator>

#include "bytes.h"

namespace brumlet::measure {
namespace {

// A RIFF WAVE file: the 12-byte header ("RIFF", size, "WAVE"), then chunks of a 4-byte id, a
// 32-bit size, the body and a pad byte after an odd size. The fmt chunk's fields:
constexpr std::size_t kRiffHeader = 12;
constexpr std::size_t kChunkHeader = 8;
constexpr std::size_t kFormatTag = 0, kChannels = 2, kRate = 4, kBitsPerSample = 14;
constexpr std::size_t kFmtMinimum = 16;
constexpr int kFloat = 3;  // 16-bit data is read as PCM whatever the tag

const Byte* At(const std::string& bytes, std::size_t at) {
  return reinterpret_cast<const Byte*>(bytes.data()) + at;
}

}  // namespace

Rendered ReadWav16(const std::string& bytes) {
  Rendered wav;
  if (bytes.size() < kRiffHeader || bytes.compare(0, 4, "RIFF") != 0 ||
      bytes.compare(8, 4, "WAVE") != 0) {
    return wav;
  }
  int format = 0, channels = 0, rate = 0, bits = 0;
  for (std::size_t at = kRiffHeader; at + kChunkHeader <= bytes.size();) {
    const std::size_t body = at + kChunkHeader;
    const std::size_t size = std::min<std::size_t>(LoadU32(At(bytes, at + 4)), bytes.size() - body);
    if (IdEquals(At(bytes, at), "fmt ") && size >= kFmtMinimum) {
      format = LoadU16(At(bytes, body + kFormatTag));
      channels = LoadU16(At(bytes, body + kChannels));
      rate = static_cast<int>(LoadU32(At(bytes, body + kRate)));
      bits = LoadU16(At(bytes, body + kBitsPerSample));
    } else if (IdEquals(At(bytes, at), "data") &&
               (bits == 16 || (bits == 32 && format == kFloat)) &&
               (channels == 1 || channels == 2)) {
      wav.rate = rate;
      wav.channels = channels;
      const std::size_t width = static_cast<std::size_t>(bits / 8);
      const std::size_t frame_bytes = width * static_cast<std::size_t>(channels);
      const std::size_t frames = size / frame_bytes;
      wav.mono.reserve(frames);
      if (channels == 2) {
        wav.left.reserve(frames);
        wav.right.reserve(frames);
      }
      auto value = [&](std::size_t at) {
        return bits == 16 ? LoadI16(At(bytes, at)) / 32768.0
                          : static_cast<double>(std::bit_cast<float>(LoadU32(At(bytes, at))));
      };
      for (std::size_t f = body; f + frame_bytes <= body + size; f += frame_bytes) {
        if (channels == 1) {
          wav.mono.push_back(value(f));
          continue;
        }
        const double left = value(f), right = value(f + width);
        wav.left.push_back(left);
        wav.right.push_back(right);
        wav.mono.push_back((left + right) / 2);
      }
      return wav;
    }
    at = body + size + (size & 1);
  }
  return wav;
}

Rendered ReadWavFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return ReadWav16(std::string(std::istreambuf_iterator<char>(in), {}));
}

std::size_t FrameAt(const Rendered& signal, double seconds) {
  const double frame = std::max(0.0, std::round(seconds * signal.rate));
  return std::min(signal.mono.size(), static_cast<std::size_t>(frame));
}

Rendered Slice(const Rendered& signal, std::size_t first, std::size_t frames) {
  Rendered part{signal.rate, signal.channels, {}, {}, {}};
  auto cut = [&](const std::vector<double>& from, std::vector<double>& to) {
    if (from.empty()) return;
    to.assign(frames, 0.0);
    for (std::size_t i = 0; i < frames && first + i < from.size(); ++i) to[i] = from[first + i];
  };
  cut(signal.mono, part.mono);
  cut(signal.left, part.left);
  cut(signal.right, part.right);
  return part;
}

}  // namespace brumlet::measure
