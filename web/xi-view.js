// Reads an XI instrument back for the page's picture of it: the name, the key map and each
// sample's header and waveform. Only what the picture needs is read.
//
// Layout (integers little-endian):
//
//     0  21  magic "Extended Instrument: "
//    21  22  instrument name, blank-padded
//    66  96  key map: the sample number each key 0..95 plays
//   296   2  number of sample headers that follow
//   298  40  per sample, one header:
//              0  4  length of the sample data in bytes
//              4  4  loop start in bytes
//              8  4  loop length in bytes
//             12  1  volume          13  1  finetune (signed)
//             14  1  type: bits 0-1 loop (0 none, 1 forward, 2 ping-pong), bit 4 16-bit data
//             15  1  panning         16  1  relative note (signed)
//             17  1  name length
//             18 22  name
//   then the samples' data in header order, each value stored as its difference to the one
//   before (the first to 0), 8-bit or 16-bit, wrapping around.
(function (root) {
  'use strict';

  const kMagic = 'Extended Instrument: ';
  const kNameOffset = 21;
  const kNameSize = 22;
  const kKeyMapOffset = 66;
  const kKeyCount = 96;
  const kSampleCountOffset = 296;
  const kSampleHeadersOffset = 298;
  const kSampleHeaderSize = 40;
  const kSampleNameLengthOffset = 17;
  const kSampleNameOffset = 18;
  const kSixteenBit = 0x10;
  const kLoopBits = 0x03;

  const latin1 = new TextDecoder('latin1');
  const text = (bytes, offset, size) =>
    latin1.decode(bytes.subarray(offset, offset + size)).replace(/[\0 ]+$/, '');

  /// The instrument in `bytes`, or an Error naming what is missing.
  function parseXi(bytes) {
    const view = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
    if (bytes.length < kSampleHeadersOffset ||
        latin1.decode(bytes.subarray(0, kMagic.length)) !== kMagic) {
      throw new Error('not an XI instrument (no XI header)');
    }
    const count = view.getUint16(kSampleCountOffset, true);
    let data = kSampleHeadersOffset + count * kSampleHeaderSize;
    if (count > 16 || data > bytes.length) throw new Error('the sample headers are cut short');
    const samples = [];
    for (let i = 0; i < count; ++i) {
      const at = kSampleHeadersOffset + i * kSampleHeaderSize;
      const type = bytes[at + 14];
      const sixteen = (type & kSixteenBit) !== 0;
      const length = view.getUint32(at, true);
      if (data + length > bytes.length) throw new Error(`the data of sample ${i} is cut short`);
      const unit = sixteen ? 2 : 1;
      const frames = Math.floor(length / unit);
      const values = new Float32Array(frames);
      let value = 0;
      for (let n = 0; n < frames; ++n) {
        if (sixteen) {
          value = (value + view.getInt16(data + 2 * n, true)) << 16 >> 16;
          values[n] = value / 32768;
        } else {
          value = (value + view.getInt8(data + n)) << 24 >> 24;
          values[n] = value / 128;
        }
      }
      data += length;
      samples.push({
        // The bytes past the name's length are not part of it (they may hold anything).
        name: text(bytes, at + kSampleNameOffset, Math.min(kNameSize, bytes[at + kSampleNameLengthOffset])),
        loop: type & kLoopBits,
        loopStart: Math.floor(view.getUint32(at + 4, true) / unit),
        loopLength: Math.floor(view.getUint32(at + 8, true) / unit),
        sixteenBit: sixteen,
        values,
      });
    }
    return {
      name: text(bytes, kNameOffset, kNameSize),
      keyMap: bytes.slice(kKeyMapOffset, kKeyMapOffset + kKeyCount),
      samples,
    };
  }

  const kNoteNames = ['C-', 'C#', 'D-', 'D#', 'E-', 'F-', 'F#', 'G-', 'G#', 'A-', 'A#', 'B-'];
  /// A key as a tracker names it: key 60 is C-5.
  const keyName = (key) => kNoteNames[key % 12] + Math.floor(key / 12);

  // Sixteen colours that stay apart from each other on a light and on a dark background.
  const kColours = ['#1f77b4', '#ff7f0e', '#2ca02c', '#d62728', '#9467bd', '#8c564b', '#e377c2',
    '#7f7f7f', '#bcbd22', '#17becf', '#393b79', '#637939', '#8c6d31', '#843c39', '#7b4173',
    '#3182bd'];
  const colourOf = (sample) => kColours[sample % kColours.length];

  /// "C-0..B-5: sample 0; C-6..B-7: sample 1": the key map in words, for the strip's label.
  function describeKeys(keyMap) {
    const runs = [];
    for (let key = 0; key < keyMap.length; ++key) {
      const last = runs[runs.length - 1];
      if (last && last.sample === keyMap[key]) last.to = key;
      else runs.push({ from: key, to: key, sample: keyMap[key] });
    }
    return runs.map((run) => (run.from === run.to ? keyName(run.from)
      : `${keyName(run.from)}..${keyName(run.to)}`) + `: sample ${run.sample}`).join('; ');
  }

  function sizeCanvas(canvas) {
    const scale = root.devicePixelRatio || 1;
    canvas.width = Math.max(1, Math.round(canvas.clientWidth * scale));
    canvas.height = Math.max(1, Math.round(canvas.clientHeight * scale));
    return canvas.getContext('2d');
  }

  /// The 96 keys, each filled in its sample's colour, the Cs marked below.
  function drawKeys(canvas, keyMap) {
    const g = sizeCanvas(canvas);
    const w = canvas.width / keyMap.length;
    const h = canvas.height;
    keyMap.forEach((sample, key) => {
      g.fillStyle = colourOf(sample);
      g.fillRect(Math.floor(key * w), 0, Math.ceil(w), h);
      if ([1, 3, 6, 8, 10].includes(key % 12)) {  // black keys darker
        g.fillStyle = 'rgba(0,0,0,0.35)';
        g.fillRect(Math.floor(key * w), 0, Math.ceil(w), h * 0.6);
      }
      if (key % 12 === 0) {
        g.fillStyle = '#000';
        g.fillRect(Math.floor(key * w), h * 0.8, Math.max(1, w / 4), h * 0.2);
      }
    });
  }

  /// The waveform as a band from each column's lowest to highest value, the loop shaded and its
  /// ends marked.
  function drawWave(canvas, sample, colour) {
    const g = sizeCanvas(canvas);
    const { width, height } = canvas;
    const values = sample.values;
    const frames = Math.max(1, values.length);
    if (sample.loop && sample.loopLength > 0) {
      const x0 = (sample.loopStart / frames) * width;
      const x1 = ((sample.loopStart + sample.loopLength) / frames) * width;
      g.fillStyle = 'rgba(255, 200, 0, 0.25)';
      g.fillRect(x0, 0, Math.max(1, x1 - x0), height);
      g.fillStyle = '#b07800';
      g.fillRect(x0, 0, 1, height);
      g.fillRect(Math.min(width - 1, x1), 0, 1, height);
    }
    g.fillStyle = colour;
    const mid = height / 2;
    for (let x = 0; x < width; ++x) {
      const from = Math.floor((x / width) * values.length);
      const to = Math.max(from + 1, Math.floor(((x + 1) / width) * values.length));
      let low = 1;
      let high = -1;
      for (let n = from; n < to && n < values.length; ++n) {
        low = Math.min(low, values[n]);
        high = Math.max(high, values[n]);
      }
      if (high < low) continue;
      g.fillRect(x, mid - high * mid, 1, Math.max(1, (high - low) * mid));
    }
  }

  root.brumletXi = { parseXi, keyName, colourOf, describeKeys, drawKeys, drawWave };
})(typeof window !== 'undefined' ? window : globalThis);
