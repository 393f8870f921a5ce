// Wraps an XI instrument into a minimal one-pattern XM module that plays one note, so that a
// real tracker engine can load and render it. The XM instrument record is the XI header
// repacked: the 230 bytes from the key map to the reserved bytes (XI offsets 66..295) are the
// same, and the sample headers and delta-encoded sample data follow unchanged.
#pragma once

#include <cstdint>
#include <string>

namespace brumlet::measure {

/// A module of two channels and one pattern of `rows` rows (1..256) whose first row plays
/// `left_note` on the first channel and, unless it is 0, `right_note` on the second (1 = C-0,
/// 61 = C-5), both with instrument 1, at 125 BPM (50 ticks a second) and `speed` ticks a row
/// (0.12 s at the default 6). Unless it is 0, row `note_off_row` releases both notes.
inline std::string XmFromXi(const std::string& xi, int left_note, int right_note = 0,
                            int rows = 16, int note_off_row = 0, int speed = 6) {
  std::string xm;
  auto put = [&xm](std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) xm += static_cast<char>(v >> (8 * i) & 0xFF);
  };
  auto text = [&xm](const std::string& s, std::size_t width) {
    std::string field = s.substr(0, width);
    field.resize(width, '\0');
    xm += field;
  };
  // Module header: id, name, 0x1A, tracker, version 0x0104, header size 276 (counted from its
  // own field), then song length, restart, channels, patterns, instruments, flags (linear
  // frequencies), tempo, BPM and the 256-entry order table.
  text("Extended Module: ", 17);
  text("brumlet test", 20);
  xm += '\x1A';
  text("brumlet tests", 20);
  put(0x0104, 2);
  put(276, 4);
  put(1, 2);
  put(0, 2);
  put(2, 2);
  put(1, 2);
  put(1, 2);
  put(1, 2);
  put(static_cast<std::uint32_t>(speed), 2);
  put(125, 2);
  xm += std::string(256, '\0');

  // One pattern: header length 9, packing 0, rows, packed size; the first row holds the notes
  // with the instrument, the note-off row the key-off note (97) on both channels, every other
  // cell is empty (0x80).
  std::string cells;
  for (int note : {left_note, right_note}) {
    if (note == 0) {
      cells += static_cast<char>(0x80);
      continue;
    }
    cells += static_cast<char>(0x83);  // note and instrument follow
    cells += static_cast<char>(note);
    cells += '\x01';
  }
  for (int cell = 2; cell < 2 * rows; ++cell) {
    cells += cell / 2 == note_off_row ? std::string("\x81\x61") : std::string(1, '\x80');
  }
  put(9, 4);
  xm += '\0';
  put(static_cast<std::uint32_t>(rows), 2);
  put(static_cast<std::uint32_t>(cells.size()), 2);
  xm += cells;

  // The instrument: size 263, name, type 0, sample count, sample header size 40, then the XI
  // bytes from the key map on, the sample headers and the data.
  const int samples = static_cast<std::uint8_t>(xi[296]) | static_cast<std::uint8_t>(xi[297]) << 8;
  put(263, 4);
  xm += xi.substr(21, 22);
  xm += '\0';
  put(static_cast<std::uint32_t>(samples), 2);
  put(40, 4);
  xm += xi.substr(66, 296 - 66);
  xm += xi.substr(298);
  return xm;
}

}  // namespace brumlet::measure
