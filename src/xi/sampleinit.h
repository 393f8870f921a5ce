// Setting up sample headers and storing names into the header image.
#pragma once

#include <cstdint>
#include <string_view>

#include "xi/xi_header.h"

namespace brumlet {

/// Writes bytes 0..16 of `header`: length, loop start and loop length in bytes, then volume,
/// finetune, type, panning and relative note. The name is left alone.
void InitSampleHeader(XiSampleHeader header, std::int32_t length, std::int32_t loop_start,
                      std::int32_t loop_length, std::uint8_t volume, std::int8_t finetune,
                      std::uint8_t type, std::uint8_t panning, std::int8_t relative_note);

/// Stores `name`, cut to 22 bytes, with its length byte; the rest of the field becomes zero.
void SetSampleName(XiSampleHeader header, std::string_view name);

/// Stores `name`, cut to 22 bytes, over the front of the blank-filled instrument name.
void SetInstrumentName(XiHeaderBlock& image, std::string_view name);

}  // namespace brumlet
