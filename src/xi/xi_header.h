// The XI instrument header, built in memory for every source and written in one piece.
//
// Layout of the image (all integers little-endian):
//
//     0  21  magic "Extended Instrument: "
//    21  22  instrument name, blank-padded, no length byte
//    43   1  0x1A, so that typing the file on a console stops after the name
//    44  20  tracker name, blank-padded
//    64 232  the constant template: version, key map, envelopes, their counts and types,
//            vibrato, fade-out, reserved bytes (HeaderTemplate); an instrument of many samples
//            stores its own key map, volume envelope, vibrato and fade-out over it
//            (see xi/envelope.h for their layout)
//   296   2  number of sample headers that follow
//   298 640  16 sample headers of 40 bytes, slot n at 298 + 40 n; only the first
//            "number of samples" of them are written
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "bytes.h"
#include "platform/platform.h"
#include "xi/envelope.h"

namespace brumlet {

namespace xi {
/// What every XI file starts with, and what tells one from any other file.
inline constexpr std::string_view kMagic = "Extended Instrument: ";
inline constexpr int kMagicOffset = 0;
inline constexpr int kInstrumentNameOffset = 21;
inline constexpr int kNameSize = 22;
inline constexpr int kEndOfTextOffset = 43;
inline constexpr int kTrackerNameOffset = 44;
inline constexpr int kTrackerNameSize = 20;
inline constexpr int kTemplateOffset = 64;
inline constexpr int kTemplateSize = 232;
inline constexpr int kVersionOffset = 64;
inline constexpr int kKeyMapOffset = 66;
inline constexpr int kKeyCount = 96;
inline constexpr int kVolumeEnvelopeOffset = 162;
inline constexpr int kPanningEnvelopeOffset = 210;
inline constexpr int kEnvelopePoints = 12;
inline constexpr int kVolumePointCountOffset = 258;
inline constexpr int kVolumeSustainOffset = 260;
inline constexpr int kVolumeLoopStartOffset = 261;
inline constexpr int kVolumeLoopEndOffset = 262;
inline constexpr int kVolumeTypeOffset = 266;
inline constexpr int kVibratoTypeOffset = 268;
inline constexpr int kVibratoSweepOffset = 269;
inline constexpr int kVibratoDepthOffset = 270;
inline constexpr int kVibratoRateOffset = 271;
inline constexpr int kFadeOutOffset = 272;
inline constexpr int kReservedOffset = 274;
inline constexpr int kSampleCountOffset = 296;
inline constexpr int kInstrumentHeaderSize = 298;
inline constexpr int kSampleHeaderSize = 40;
inline constexpr int kSampleSlots = 16;
inline constexpr int kImageSize = kInstrumentHeaderSize + kSampleSlots * kSampleHeaderSize;

static_assert(kMagicOffset + kMagic.size() == kInstrumentNameOffset);
static_assert(kInstrumentNameOffset + kNameSize == kEndOfTextOffset);
static_assert(kTrackerNameOffset + kTrackerNameSize == kTemplateOffset);
static_assert(kKeyMapOffset + kKeyCount == kVolumeEnvelopeOffset);
static_assert(kVolumeEnvelopeOffset + kEnvelopePoints * 4 == kPanningEnvelopeOffset);
static_assert(kPanningEnvelopeOffset + kEnvelopePoints * 4 == kVolumePointCountOffset);
static_assert(kTemplateOffset + kTemplateSize == kSampleCountOffset);
static_assert(kSampleCountOffset + 2 == kInstrumentHeaderSize);
static_assert(kImageSize == 938);
static_assert(kEnvelopePoints == kEnvelopePointCount);
static_assert(kVibratoRateOffset + 1 == kFadeOutOffset);

/// A stereo WAV split in two plays its right channel (sample 1) on the top 24 notes.
inline constexpr int kFirstRightChannelKey = 72;

/// Every sample plays at full volume; mono samples sit in the middle.
inline constexpr std::uint8_t kFullVolume = 64;
inline constexpr std::uint8_t kCentrePanning = 128;
}  // namespace xi

/// The 938-byte header image: the instrument header and room for all 16 sample headers.
struct XiHeaderBlock {
  std::array<Byte, xi::kImageSize> bytes{};
};

/// One 40-byte sample header inside the image.
using XiSampleHeader = std::span<Byte, xi::kSampleHeaderSize>;

/// The sample header of `slot` (0..15).
XiSampleHeader SampleHeaderAt(XiHeaderBlock& image, int slot);

/// The constant instrument settings copied to offsets 64..295 of every image.
extern const std::array<Byte, xi::kTemplateSize> HeaderTemplate;

/// The volume envelope of the constant template: a short plucked decay, sustained at full volume
/// on its first point, fade-out 261.
xi::VolumeEnvelope PluckedEnvelope();

/// Stores `envelope` and `vibrato` over the template's in `image`.
void StoreEnvelope(XiHeaderBlock& image, const xi::VolumeEnvelope& envelope,
                   const xi::AutoVibrato& vibrato);

/// Clears `image` and writes what every instrument starts from: magic, blank name, tracker
/// name, the template, and in every slot a sample header of length 0 with full volume and
/// centred panning.
void InitHeaderImage(XiHeaderBlock& image);

/// Stores `count` as the number of sample headers and writes the instrument header and as many
/// sample headers to `output` in one write. Returns the number of bytes written, where the
/// sample data starts.
std::int64_t WriteHeaderImage(int count, XiHeaderBlock& image, File& output);

}  // namespace brumlet
