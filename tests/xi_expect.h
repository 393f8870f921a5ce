// Independent expectations of XI headers, written out field by field as the format documents
// them, for comparing whole images byte for byte.
#pragma once

#include <string>
#include <string_view>

#include "riff_builder.h"

namespace brumlet::testing {

// The instrument header as a tracker documents it, written out field by field.
inline Bytes ExpectedInstrumentHeader(bool stereo, std::string_view name = "", int count = 0) {
  Bytes b;
  PutText(b, "Extended Instrument: ");
  std::string padded(name);
  padded.resize(22, ' ');
  PutText(b, padded);
  b.push_back(0x1A);
  PutText(b, "Brumlet             ");
  Put16(b, 0x0102);
  for (int key = 0; key < 96; ++key) b.push_back(stereo && key >= 72 ? 1 : 0);
  for (int v :
       {0, 64, 5, 16, 14, 13, 25, 7, 40, 6, 102, 0, 60, 0, 70, 0, 80, 0, 90, 0, 100, 0, 110, 0}) {
    Put16(b, static_cast<std::uint32_t>(v));
  }
  b.resize(b.size() + 48, 0);  // panning envelope
  for (int v : {6, 0, 0, 0, 0, 0, 0, 0, 3, 0, 0, 0, 0, 0})
    b.push_back(static_cast<std::uint8_t>(v));
  Put16(b, 261);
  b.resize(b.size() + 22, 0);
  Put16(b, static_cast<std::uint32_t>(count));  // stored only when the header is written
  return b;
}

inline Bytes ExpectedSampleHeader(std::int32_t length, std::int32_t loop_start,
                                  std::int32_t loop_length, int finetune, int type, int panning,
                                  int relative_note) {
  Bytes b;
  Put32(b, static_cast<std::uint32_t>(length));
  Put32(b, static_cast<std::uint32_t>(loop_start));
  Put32(b, static_cast<std::uint32_t>(loop_length));
  for (int v : {64, finetune, type, panning, relative_note})
    b.push_back(static_cast<std::uint8_t>(v));
  b.resize(b.size() + 23, 0);
  return b;
}

/// ExpectedSampleHeader with a name: its length byte, its bytes and zeros behind them.
inline Bytes Named(Bytes header, std::string_view name) {
  header[17] = static_cast<std::uint8_t>(name.size());
  std::copy(name.begin(), name.end(), header.begin() + 18);
  return header;
}

}  // namespace brumlet::testing
