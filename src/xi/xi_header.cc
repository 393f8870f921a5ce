#include "xi/xi_header.h"

#include <algorithm>
#include <string_view>

#include "xi/sampleinit.h"

namespace brumlet {
namespace {

using xi::kMagic;
constexpr std::string_view kTrackerName = "Brumlet";

constexpr std::uint16_t kFormatVersion = 0x0102;
// An empty slot's sample type: no loop, 8-bit.
constexpr std::uint8_t kEmptyType = 0;

// A short plucked decay: full volume at once, falling quickly to silence. Only the first six
// points are in use (count 6, sustain on point 0); the rest are stored all the same.
constexpr xi::VolumeEnvelope kPluckedEnvelope = {
    .points = {{{0, 64},
                {5, 16},
                {14, 13},
                {25, 7},
                {40, 6},
                {102, 0},
                {60, 0},
                {70, 0},
                {80, 0},
                {90, 0},
                {100, 0},
                {110, 0}}},
    .count = 6,
    .sustain = 0,
    .loop_start = 0,
    .loop_end = 0,
    .flags = xi::envelope_flag::kOn | xi::envelope_flag::kSustain,
    .fade_out = 261,
};

// Stores the volume envelope and the vibrato at their offsets, through `put8` and `put16`
// (offset, value), so that the constant template and a live image share one layout.
template <typename Put8, typename Put16>
constexpr void PutEnvelope(const xi::VolumeEnvelope& envelope, const xi::AutoVibrato& vibrato,
                           Put8 put8, Put16 put16) {
  for (int p = 0; p < xi::kEnvelopePoints; ++p) {
    put16(xi::kVolumeEnvelopeOffset + 4 * p, envelope.points[static_cast<std::size_t>(p)].tick);
    put16(xi::kVolumeEnvelopeOffset + 4 * p + 2,
          envelope.points[static_cast<std::size_t>(p)].value);
  }
  put8(xi::kVolumePointCountOffset, envelope.count);
  put8(xi::kVolumeSustainOffset, envelope.sustain);
  put8(xi::kVolumeLoopStartOffset, envelope.loop_start);
  put8(xi::kVolumeLoopEndOffset, envelope.loop_end);
  put8(xi::kVolumeTypeOffset, envelope.flags);
  put8(xi::kVibratoTypeOffset, vibrato.type);
  put8(xi::kVibratoSweepOffset, vibrato.sweep);
  put8(xi::kVibratoDepthOffset, vibrato.depth);
  put8(xi::kVibratoRateOffset, vibrato.rate);
  put16(xi::kFadeOutOffset, envelope.fade_out);
}

constexpr std::array<Byte, xi::kTemplateSize> MakeHeaderTemplate() {
  std::array<Byte, xi::kTemplateSize> t{};
  auto at = [](int offset) { return static_cast<std::size_t>(offset - xi::kTemplateOffset); };
  auto put16 = [&t](std::size_t i, std::uint16_t v) {
    t[i] = static_cast<Byte>(v & 0xFF);
    t[i + 1] = static_cast<Byte>(v >> 8);
  };
  put16(at(xi::kVersionOffset), kFormatVersion);
  PutEnvelope(
      kPluckedEnvelope, xi::AutoVibrato{}, [&](int offset, std::uint8_t v) { t[at(offset)] = v; },
      [&](int offset, std::uint16_t v) { put16(at(offset), v); });
  return t;
}

}  // namespace

const std::array<Byte, xi::kTemplateSize> HeaderTemplate = MakeHeaderTemplate();

xi::VolumeEnvelope PluckedEnvelope() { return kPluckedEnvelope; }

void StoreEnvelope(XiHeaderBlock& image, const xi::VolumeEnvelope& envelope,
                   const xi::AutoVibrato& vibrato) {
  Byte* b = image.bytes.data();
  PutEnvelope(
      envelope, vibrato, [b](int offset, std::uint8_t v) { b[offset] = v; },
      [b](int offset, std::uint16_t v) { StoreU16(b + offset, v); });
}

XiSampleHeader SampleHeaderAt(XiHeaderBlock& image, int slot) {
  return XiSampleHeader(&image.bytes[xi::kInstrumentHeaderSize + slot * xi::kSampleHeaderSize],
                        xi::kSampleHeaderSize);
}

void InitHeaderImage(XiHeaderBlock& image) {
  image.bytes.fill(0);
  for (int slot = 0; slot < xi::kSampleSlots; ++slot) {
    InitSampleHeader(SampleHeaderAt(image, slot), 0, 0, 0, xi::kFullVolume, 0, kEmptyType,
                     xi::kCentrePanning, 0);
  }
  Byte* b = image.bytes.data();
  std::copy(kMagic.begin(), kMagic.end(), b + xi::kMagicOffset);
  std::fill_n(b + xi::kInstrumentNameOffset, xi::kNameSize, Byte{' '});
  b[xi::kEndOfTextOffset] = 0x1A;
  std::fill_n(b + xi::kTrackerNameOffset, xi::kTrackerNameSize, Byte{' '});
  std::copy(kTrackerName.begin(), kTrackerName.end(), b + xi::kTrackerNameOffset);
  std::copy(HeaderTemplate.begin(), HeaderTemplate.end(), b + xi::kTemplateOffset);
}

std::int64_t WriteHeaderImage(int count, XiHeaderBlock& image, File& output) {
  StoreU16(&image.bytes[xi::kSampleCountOffset], static_cast<std::uint16_t>(count));
  const int length = xi::kInstrumentHeaderSize + count * xi::kSampleHeaderSize;
  output.Write(image.bytes.data(), static_cast<std::size_t>(length), Site::kHeaderWrite);
  return length;
}

}  // namespace brumlet
