// Reads an XI instrument from its bytes, as a tracker loads it: what the card shows and the
// player plays. The header is read at once; a sample's data only when asked for.
//
// Layout (integers little-endian):
//
//     0  21  magic "Extended Instrument: "
//    21  22  instrument name, blank-padded
//    66  96  key map: the sample number each key 0..95 plays
//   162  48  12 volume envelope points, each a 16-bit tick and a 16-bit value 0..64
//   258   1  volume points in use
//   260   3  volume sustain point, loop start point, loop end point
//   266   1  volume envelope flags: bit 0 on, bit 1 sustain, bit 2 loop
//   268   4  auto-vibrato type (0 sine, 1 square, 2 ramp down, 3 ramp up), sweep, depth, rate
//   272   2  fade-out
//   296   2  number of sample headers that follow
//   298  40  per sample, one header:
//              0  4  length of the sample data in bytes
//              4  4  loop start in bytes
//              8  4  loop length in bytes
//             12  1  volume 0..64     13  1  finetune (signed, 1/128 semitone)
//             14  1  type: bits 0-1 loop (0 none, 1 forward, 2 ping-pong), bit 4 16-bit data
//             15  1  panning 0..255   16  1  relative note (signed)
//             17  1  name length      18 22  name
//   then the samples' data in header order, each value stored as its difference to the one
//   before (the first to 0), 8-bit or 16-bit, wrapping around.
(function (root) {
  'use strict';

  const kMagic = 'Extended Instrument: ';
  const kNameOffset = 21;
  const kNameSize = 22;
  const kKeyMapOffset = 66;
  const kKeyCount = 96;
  const kEnvelopeOffset = 162;
  const kEnvelopePoints = 12;
  const kPointCountOffset = 258;
  const kSustainOffset = 260;
  const kLoopStartOffset = 261;
  const kLoopEndOffset = 262;
  const kEnvelopeFlagsOffset = 266;
  const kVibratoOffset = 268;
  const kFadeOutOffset = 272;
  const kSampleCountOffset = 296;
  const kSampleHeadersOffset = 298;
  const kSampleHeaderSize = 40;
  const kMaxSamples = 16;
  const kSampleNameLengthOffset = 17;
  const kSampleNameOffset = 18;
  const kSixteenBit = 0x10;
  const kLoopBits = 0x03;

  const latin1 = new TextDecoder('latin1');
  const text = (bytes, offset, size) =>
    latin1.decode(bytes.subarray(offset, offset + size)).replace(/[\0 ]+$/, '');

  /// The header of the instrument in `bytes` (at least its first kHeaderBytes(bytes) bytes), or an
  /// Error naming what is missing. `size`: the whole file's size, when `bytes` holds only its start.
  function readXi(bytes, size = bytes.length) {
    const view = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
    if (bytes.length < kSampleHeadersOffset || latin1.decode(bytes.subarray(0, kMagic.length)) !== kMagic) {
      throw new Error('not an XI instrument (no XI header)');
    }
    const count = view.getUint16(kSampleCountOffset, true);
    let data = kSampleHeadersOffset + count * kSampleHeaderSize;
    if (count > kMaxSamples || data > bytes.length) throw new Error('the sample headers are cut short');
    const samples = [];
    for (let i = 0; i < count; ++i) {
      const at = kSampleHeadersOffset + i * kSampleHeaderSize;
      const type = bytes[at + 14];
      const sixteenBit = (type & kSixteenBit) !== 0;
      const length = view.getUint32(at, true);
      if (data + length > size) throw new Error(`the data of sample ${i} is cut short`);
      const unit = sixteenBit ? 2 : 1;
      samples.push({
        // The bytes past the name's length are not part of it (they may hold anything).
        name: text(bytes, at + kSampleNameOffset, Math.min(kNameSize, bytes[at + kSampleNameLengthOffset])),
        dataOffset: data,
        bytes: length,
        frames: Math.floor(length / unit),
        loop: type & kLoopBits,
        loopStart: Math.floor(view.getUint32(at + 4, true) / unit),
        loopLength: Math.floor(view.getUint32(at + 8, true) / unit),
        volume: bytes[at + 12],
        finetune: view.getInt8(at + 13),
        panning: bytes[at + 15],
        relativeNote: view.getInt8(at + 16),
        sixteenBit,
      });
      data += length;
    }
    const points = [];
    for (let p = 0; p < Math.min(kEnvelopePoints, bytes[kPointCountOffset]); ++p) {
      points.push({ tick: view.getUint16(kEnvelopeOffset + 4 * p, true), value: view.getUint16(kEnvelopeOffset + 4 * p + 2, true) });
    }
    const flags = bytes[kEnvelopeFlagsOffset];
    return {
      name: text(bytes, kNameOffset, kNameSize),
      keyMap: bytes.slice(kKeyMapOffset, kKeyMapOffset + kKeyCount),
      envelope: {
        on: (flags & 1) !== 0, sustain: (flags & 2) !== 0, loop: (flags & 4) !== 0, points,
        sustainPoint: bytes[kSustainOffset], loopStart: bytes[kLoopStartOffset], loopEnd: bytes[kLoopEndOffset],
      },
      fadeOut: view.getUint16(kFadeOutOffset, true),
      vibrato: {
        type: bytes[kVibratoOffset], sweep: bytes[kVibratoOffset + 1],
        depth: bytes[kVibratoOffset + 2], rate: bytes[kVibratoOffset + 3],
      },
      samples,
      size: data,
    };
  }

  /// How many bytes from the start of an XI file hold its whole header, at most.
  const kHeaderBytes = kSampleHeadersOffset + kMaxSamples * kSampleHeaderSize;

  /// Calls visit(value) for each value of `sample` in `bytes` (the whole file), -1..1, in order:
  /// the data decoded as it is read, without a copy.
  function forEachValue(bytes, sample, visit) {
    const view = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
    let value = 0;
    if (sample.sixteenBit) {
      for (let n = 0, at = sample.dataOffset; n < sample.frames; ++n, at += 2) {
        value = (value + view.getInt16(at, true)) << 16 >> 16;
        visit(value / 32768);
      }
    } else {
      for (let n = 0, at = sample.dataOffset; n < sample.frames; ++n, ++at) {
        value = (value + bytes[at]) << 24 >> 24;
        visit(value / 128);
      }
    }
  }

  /// The values of `sample`, -1..1.
  function sampleValues(bytes, sample) {
    const values = new Float32Array(sample.frames);
    let n = 0;
    forEachValue(bytes, sample, (value) => { values[n++] = value; });
    return values;
  }

  const api = { readXi, forEachValue, sampleValues, kHeaderBytes, kKeyCount };
  if (typeof module === 'object' && module.exports) module.exports = api;
  else root.brumletXiRead = api;
})(typeof self !== 'undefined' ? self : globalThis);
