#include "xi/sampleinit.h"

#include <algorithm>

#include "utf8.h"

namespace brumlet {
namespace {

// A sample header, 40 bytes:
//   0 length   4 loop start   8 loop length (all in bytes, signed 32-bit)
//   12 volume   13 finetune   14 type   15 panning   16 relative note
//   17 name length   18 name, 22 bytes, zero-padded
constexpr int kLengthOffset = 0;
constexpr int kLoopStartOffset = 4;
constexpr int kLoopLengthOffset = 8;
constexpr int kVolumeOffset = 12;
constexpr int kFinetuneOffset = 13;
constexpr int kTypeOffset = 14;
constexpr int kPanningOffset = 15;
constexpr int kRelativeNoteOffset = 16;
constexpr int kNameLengthOffset = 17;
constexpr int kNameOffset = 18;
static_assert(kNameOffset + xi::kNameSize == xi::kSampleHeaderSize);

// Names are cut to the field; a UTF-8 name never inside a character (see CutToBytes).
std::string_view Cut(std::string_view name) { return CutToBytes(name, xi::kNameSize); }

}  // namespace

void InitSampleHeader(XiSampleHeader header, std::int32_t length, std::int32_t loop_start,
                      std::int32_t loop_length, std::uint8_t volume, std::int8_t finetune,
                      std::uint8_t type, std::uint8_t panning, std::int8_t relative_note) {
  StoreI32(&header[kLengthOffset], length);
  StoreI32(&header[kLoopStartOffset], loop_start);
  StoreI32(&header[kLoopLengthOffset], loop_length);
  header[kVolumeOffset] = volume;
  header[kFinetuneOffset] = static_cast<Byte>(finetune);
  header[kTypeOffset] = type;
  header[kPanningOffset] = panning;
  header[kRelativeNoteOffset] = static_cast<Byte>(relative_note);
}

void SetSampleName(XiSampleHeader header, std::string_view name) {
  name = Cut(name);
  header[kNameLengthOffset] = static_cast<Byte>(name.size());
  std::fill_n(&header[kNameOffset], xi::kNameSize, Byte{0});
  std::copy(name.begin(), name.end(), &header[kNameOffset]);
}

void SetInstrumentName(XiHeaderBlock& image, std::string_view name) {
  name = Cut(name);
  std::copy(name.begin(), name.end(), &image.bytes[xi::kInstrumentNameOffset]);
}

}  // namespace brumlet
