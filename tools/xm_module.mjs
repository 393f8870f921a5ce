// Wraps an XI instrument into a one-pattern XM module, as tests/xm_module.h does for the C++
// tests, so that openmpt123 can play it: the XM instrument record is the XI header repacked (the
// 230 bytes from the key map to the reserved bytes are the same), and the sample headers and data
// follow unchanged.

/// A module of one pattern of `rows` rows (1..256) at 125 BPM (50 ticks a second) and `speed`
/// ticks a row. `cells`: {row, channel, key} plays key (0..95, the key map's count) with
/// instrument 1; {row, channel, off: true} releases the channel's note.
export function xmFromXi(xi, cells, rows, speed = 6, channels = 2) {
  const bytes = [];
  const put = (value, size) => { for (let i = 0; i < size; ++i) bytes.push((value >>> (8 * i)) & 0xff); };
  const text = (string, width) => { for (let i = 0; i < width; ++i) bytes.push(i < string.length ? string.charCodeAt(i) : 0); };
  const copy = (from, to) => { for (let i = from; i < to; ++i) bytes.push(xi[i]); };
  // Module header: id, name, 0x1A, tracker, version 0x0104, header size 276 (counted from its own
  // field), song length, restart, channels, patterns, instruments, flags (linear frequencies),
  // tempo, BPM and the 256-entry order table.
  text('Extended Module: ', 17);
  text('brumlet test', 20);
  bytes.push(0x1a);
  text('brumlet tests', 20);
  put(0x0104, 2); put(276, 4); put(1, 2); put(0, 2); put(channels, 2); put(1, 2); put(1, 2); put(1, 2);
  put(speed, 2); put(125, 2);
  text('', 256);
  // The pattern, packed: a cell is 0x80 (empty), 0x83 note and instrument, or 0x81 and the
  // key-off note (97). XM notes count from 1 (C-0).
  const packed = [];
  for (let row = 0; row < rows; ++row) {
    for (let channel = 0; channel < channels; ++channel) {
      const cell = cells.find((c) => c.row === row && (c.channel || 0) === channel);
      if (!cell) packed.push(0x80);
      else if (cell.off) packed.push(0x81, 97);
      else packed.push(0x83, cell.key + 1, 1);
    }
  }
  put(9, 4); bytes.push(0); put(rows, 2); put(packed.length, 2);
  bytes.push(...packed);
  // The instrument: size 263, name, type 0, sample count, sample header size 40, then the XI
  // bytes from the key map on (the reserved bytes included), the sample headers and the data.
  put(263, 4);
  copy(21, 43);
  bytes.push(0);
  put(xi[296] | (xi[297] << 8), 2);
  put(40, 4);
  copy(66, 296);
  const out = new Uint8Array(bytes.length + xi.length - 298);
  out.set(bytes);
  out.set(xi.subarray(298), bytes.length);
  return out;
}
