#include "wav/adpcm.h"

#include <algorithm>
#include <limits>

namespace brumlet {
namespace {

std::int16_t Clamp16(std::int64_t v) {
  return static_cast<std::int16_t>(std::clamp<std::int64_t>(v, -32768, 32767));
}

// ---- IMA ADPCM ---------------------------------------------------------------------------------

// Behind the headers, each channel's codes come in groups of four bytes (eight samples), the
// channels' groups in turn; within a byte the low nibble comes first.
constexpr int kImaGroupBytes = 4;
constexpr int kImaGroupSamples = 8;
constexpr int kMaxStepIndex = 88;

constexpr std::array<int, kMaxStepIndex + 1> kImaSteps = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,   21,    23,
    25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,   73,    80,
    88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,  253,   279,
    307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,  876,   963,
    1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749, 3024,  3327,
    3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493, 10442, 11487,
    12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};

// How far the step index moves after each code, by its magnitude (the low three bits).
constexpr std::array<int, 8> kImaIndexChange = {-1, -1, -1, -1, 2, 4, 6, 8};

struct ImaChannel {
  int sample;
  int index;

  // The difference is (2 x magnitude + 1) x step / 8, rounded down: the middle of the
  // magnitude's interval. The original description sums step/8, step/4, step/2 and step by
  // the magnitude's bits, which rounds each term down and lands a little lower; files are
  // decoded as the common decoders do it, this way.
  std::int16_t Decode(int code) {
    const int magnitude = code & 7;
    const int difference = ((2 * magnitude + 1) * kImaSteps[static_cast<std::size_t>(index)]) >> 3;
    sample = Clamp16((code & 8) != 0 ? sample - difference : sample + difference);
    index =
        std::clamp(index + kImaIndexChange[static_cast<std::size_t>(magnitude)], 0, kMaxStepIndex);
    return static_cast<std::int16_t>(sample);
  }
};

// ---- Microsoft ADPCM ---------------------------------------------------------------------------

// Behind the headers, one code a sample, the high nibble first, the channels' samples in turn.
// Each code is a signed 4-bit multiple of the channel's delta, which then scales by the code's
// factor / 256 and never falls below 16.
constexpr std::array<int, 16> kMsAdaptation = {230, 230, 230, 230, 307, 409, 512, 614,
                                               768, 614, 512, 409, 307, 230, 230, 230};
constexpr int kMinDelta = 16;
// Damaged data could grow the delta without end; it stops where delta x 768 still fits.
constexpr int kMaxDelta = std::numeric_limits<int>::max() / 768;

struct MsChannel {
  int first;  // the pair's coefficients
  int second;
  int delta;
  int sample1;  // the latest sample
  int sample2;  // the one before it

  std::int16_t Decode(int code) {
    const std::int64_t predicted =
        (std::int64_t{sample1} * first + std::int64_t{sample2} * second) / 256;
    const int signed_code = (code & 8) != 0 ? code - 16 : code;
    sample2 = sample1;
    sample1 = Clamp16(predicted + std::int64_t{signed_code} * delta);
    delta = std::clamp(delta * kMsAdaptation[static_cast<std::size_t>(code)] / 256, kMinDelta,
                       kMaxDelta);
    return static_cast<std::int16_t>(sample1);
  }
};

}  // namespace

MsAdpcmCoefficients StandardMsAdpcmCoefficients() {
  MsAdpcmCoefficients table;
  constexpr std::array<std::int16_t, MsAdpcmCoefficients::kStandardPairs> kFirst = {
      256, 512, 0, 192, 240, 460, 392};
  constexpr std::array<std::int16_t, MsAdpcmCoefficients::kStandardPairs> kSecond = {
      0, -256, 0, 64, 0, -208, -232};
  std::copy(kFirst.begin(), kFirst.end(), table.first.begin());
  std::copy(kSecond.begin(), kSecond.end(), table.second.begin());
  table.count = MsAdpcmCoefficients::kStandardPairs;
  return table;
}

std::int64_t ImaAdpcmFrames(std::int64_t size, int channels) {
  const std::int64_t header = std::int64_t{kImaHeaderBytes} * channels;
  if (size < header) return 0;
  return 1 + (size - header) / (kImaGroupBytes * channels) * kImaGroupSamples;
}

std::int64_t MsAdpcmFrames(std::int64_t size, int channels) {
  const std::int64_t header = std::int64_t{kMsHeaderBytes} * channels;
  if (size < header) return 0;
  return 2 + (size - header) * 2 / channels;
}

std::size_t DecodeImaAdpcmBlock(std::span<const Byte> block, int channels,
                                std::span<std::int16_t> out) {
  const auto n = static_cast<std::size_t>(channels);
  auto frames = std::min(
      static_cast<std::size_t>(ImaAdpcmFrames(static_cast<std::int64_t>(block.size()), channels)),
      out.size() / n);
  if (frames == 0) return 0;
  frames = 1 + (frames - 1) / kImaGroupSamples * kImaGroupSamples;  // whole groups only
  std::array<ImaChannel, 2> state{};
  for (std::size_t c = 0; c < n; ++c) {
    const Byte* header = block.data() + kImaHeaderBytes * c;
    state[c] = {LoadI16(header), std::min<int>(header[2], kMaxStepIndex)};
    out[c] = static_cast<std::int16_t>(state[c].sample);
  }
  const Byte* codes = block.data() + kImaHeaderBytes * n;
  for (std::size_t group = 0; 1 + group * kImaGroupSamples < frames; ++group) {
    for (std::size_t c = 0; c < n; ++c) {
      const Byte* bytes = codes + (group * n + c) * kImaGroupBytes;
      std::size_t at = (1 + group * kImaGroupSamples) * n + c;
      for (int k = 0; k < kImaGroupBytes; ++k, at += 2 * n) {
        out[at] = state[c].Decode(bytes[k] & 0x0F);
        out[at + n] = state[c].Decode(bytes[k] >> 4);
      }
    }
  }
  return frames;
}

std::size_t DecodeMsAdpcmBlock(std::span<const Byte> block, int channels,
                               const MsAdpcmCoefficients& coefficients,
                               std::span<std::int16_t> out) {
  const auto n = static_cast<std::size_t>(channels);
  const auto frames = std::min(
      static_cast<std::size_t>(MsAdpcmFrames(static_cast<std::int64_t>(block.size()), channels)),
      out.size() / n);
  if (frames == 0) return 0;
  std::array<MsChannel, 2> state{};
  for (std::size_t c = 0; c < n; ++c) {
    // A predictor index beyond the table predicts with the first pair, from the latest sample.
    const std::size_t pair = block[c] < coefficients.count ? block[c] : 0;
    state[c] = {coefficients.first[pair], coefficients.second[pair], LoadI16(&block[n + 2 * c]),
                LoadI16(&block[3 * n + 2 * c]), LoadI16(&block[5 * n + 2 * c])};
    out[c] = static_cast<std::int16_t>(state[c].sample2);
    out[n + c] = static_cast<std::int16_t>(state[c].sample1);
  }
  const Byte* codes = block.data() + kMsHeaderBytes * n;
  for (std::size_t i = 0; i < (frames - 2) * n; ++i) {
    const int code = (i % 2 == 0) ? codes[i / 2] >> 4 : codes[i / 2] & 0x0F;
    out[2 * n + i] = state[i % n].Decode(code);
  }
  return frames;
}

}  // namespace brumlet
