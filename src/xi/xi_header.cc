#include "xi/xi_header.h"

#include <algorithm>
#include <string_view>

#include "xi/pitch.h"
#include "xi/sampleinit.h"

namespace brumlet {
namespace {

using xi::kMagic;
constexpr std::string_view kTrackerName = "Brumlet";

constexpr std::uint16_t kFormatVersion = 0x0102;
using xi::kFullVolume;
constexpr std::uint8_t kCentre = xi::kCentrePanning;
constexpr std::uint8_t kHardLeft = 0;
constexpr std::uint8_t kHardRight = 255;

// Sample type: bits 0-1 the loop mode, bit 4 16-bit data.
constexpr std::uint8_t kNoLoopType = 0;
constexpr std::uint8_t kForwardLoopType = 1;
constexpr std::uint8_t kPingPongLoopType = 2;
constexpr std::uint8_t kSixteenBitType = 16;

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
    InitSampleHeader(SampleHeaderAt(image, slot), 0, 0, 0, kFullVolume, 0, kNoLoopType, kCentre, 0);
  }
  Byte* b = image.bytes.data();
  std::copy(kMagic.begin(), kMagic.end(), b + xi::kMagicOffset);
  std::fill_n(b + xi::kInstrumentNameOffset, xi::kNameSize, Byte{' '});
  b[xi::kEndOfTextOffset] = 0x1A;
  std::fill_n(b + xi::kTrackerNameOffset, xi::kTrackerNameSize, Byte{' '});
  std::copy(kTrackerName.begin(), kTrackerName.end(), b + xi::kTrackerNameOffset);
  std::copy(HeaderTemplate.begin(), HeaderTemplate.end(), b + xi::kTemplateOffset);
}

std::uint8_t SampleType(const WavInfo& info) {
  std::uint8_t type = kForwardLoopType;  // every loop kind without a word of its own loops forward
  if (info.LoopType == LoopKind::PingPong) type = kPingPongLoopType;
  if (info.LoopType == LoopKind::NoLoop) type = kNoLoopType;
  if (StoredAsSixteenBit(info)) type += kSixteenBitType;
  return type;
}

LoopBytes SampleLoopBytes(const WavInfo& info) {
  if (info.LoopType == LoopKind::NoLoop) return {};
  // Each channel becomes a sample of its own (or both become one), so the loop is measured in
  // one stored sample's bytes: two for a source converted to 16-bit, whatever its own width.
  // Loop points come straight from the file and are not checked; the arithmetic wraps rather
  // than overflows.
  const auto bytes_per_sample = static_cast<std::uint32_t>(StoredAsSixteenBit(info) ? 2 : 1);
  const std::uint32_t frames =
      static_cast<std::uint32_t>(info.LoopEnd) - static_cast<std::uint32_t>(info.LoopStart) + 1u;
  return {static_cast<std::int32_t>(static_cast<std::uint32_t>(info.LoopStart) * bytes_per_sample),
          static_cast<std::int32_t>(frames * bytes_per_sample)};
}

void BuildHeaderImage(const WavInfo& info, XiHeaderBlock& image, StereoHandling stereo) {
  InitHeaderImage(image);
  const Pitch pitch = ComputePitch(info.SampleRate);
  const std::uint8_t type = SampleType(info);
  const LoopBytes loop = SampleLoopBytes(info);

  if (!TwoSamples(info, stereo)) {
    InitSampleHeader(SampleHeaderAt(image, 0), SampleDataLength(info, stereo), loop.start,
                     loop.length, kFullVolume, pitch.finetune, type, kCentre, pitch.relative_note);
    return;
  }
  Byte* b = image.bytes.data();
  std::fill(b + xi::kKeyMapOffset + xi::kFirstRightChannelKey,
            b + xi::kKeyMapOffset + xi::kKeyCount, Byte{1});
  const std::int32_t half = SampleDataLength(info) / 2;
  InitSampleHeader(SampleHeaderAt(image, 0), half, loop.start, loop.length, kFullVolume,
                   pitch.finetune, type, kHardLeft, pitch.relative_note);
  // The right channel's sample is tuned an octave below the left's, so that it too plays at its
  // own rate on the first key it owns.
  const auto right_note =
      static_cast<std::int8_t>(static_cast<std::uint8_t>(pitch.relative_note) - 12u);
  InitSampleHeader(SampleHeaderAt(image, 1), half, loop.start, loop.length, kFullVolume,
                   pitch.finetune, type, kHardRight, right_note);
}

int WrittenSampleCount(std::uint8_t sample_count, bool two_samples) {
  return std::clamp<int>(sample_count, two_samples ? 2 : 1, xi::kSampleSlots);
}

std::int64_t WriteHeaderImage(std::uint8_t sample_count, bool two_samples, XiHeaderBlock& image,
                              File& output) {
  const int count = WrittenSampleCount(sample_count, two_samples);
  StoreU16(&image.bytes[xi::kSampleCountOffset], static_cast<std::uint16_t>(count));
  const int length = xi::kInstrumentHeaderSize + count * xi::kSampleHeaderSize;
  output.Write(image.bytes.data(), static_cast<std::size_t>(length), Site::kHeaderWrite);
  return length;
}

}  // namespace brumlet
