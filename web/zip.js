// A ZIP archive of files stored as they are (no compression: XI sample data hardly shrinks, and
// every unzip tool reads stored entries). Names are UTF-8 (flag bit 11), and plain: a file's name,
// or a folder and a name, never a way out of the folder the archive is unpacked in.
//
// Layout: per file a local header (30 bytes + name) and its bytes; then per file a central
// directory entry (46 bytes + name); then the end record (22 bytes). Sizes and offsets are 32-bit,
// so an archive stops short of 4 GiB.
(function (root) {
  'use strict';

  const kCrcTable = new Uint32Array(256).map((_, n) => {
    let c = n;
    for (let k = 0; k < 8; ++k) c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
    return c;
  });

  function crc32(bytes) {
    let crc = 0xffffffff;
    for (let i = 0; i < bytes.length; ++i) crc = kCrcTable[(crc ^ bytes[i]) & 0xff] ^ (crc >>> 8);
    return (crc ^ 0xffffffff) >>> 0;
  }

  // MS-DOS time and date words, in local time, as unzip tools show them.
  function dosDateTime(date) {
    const time = (date.getHours() << 11) | (date.getMinutes() << 5) | (date.getSeconds() >> 1);
    const day = ((Math.max(1980, date.getFullYear()) - 1980) << 9) |
        ((date.getMonth() + 1) << 5) | date.getDate();
    return [time, day];
  }

  /// `name` as an entry's name that unzip tools take safely: its parts (split at "/") without "\\",
  /// ":" or control characters (each becomes "_"), so that none is a drive, a Windows path or a
  /// way up; an empty part is dropped (no leading "/"), a part of dots alone becomes "_"s.
  function entryName(name) {
    const parts = String(name).split('/').filter((part) => part !== '').map((part) => {
      const clean = part.replace(/[\\:\u0000-\u001f\u007f]/g, '_');
      return /^\.+$/.test(clean) ? clean.replace(/\./g, '_') : clean;
    });
    return parts.length ? parts.join('/') : '_';
  }

  /// The archive of `entries`, an array of {name, bytes}, in that order, each under its
  /// entryName. Throws an Error naming the name where two entries would have the same one.
  function makeZip(entries, date = new Date()) {
    const encoder = new TextEncoder();
    const [time, day] = dosDateTime(date);
    const seen = new Set();
    const files = entries.map(({ name, bytes }) => {
      const clean = entryName(name);
      if (seen.has(clean)) throw new Error(`two files are named ${clean}`);
      seen.add(clean);
      return { name: encoder.encode(clean), bytes, crc: crc32(bytes) };
    });
    const localSize = files.reduce((sum, f) => sum + 30 + f.name.length + f.bytes.length, 0);
    const centralSize = files.reduce((sum, f) => sum + 46 + f.name.length, 0);
    const total = localSize + centralSize + 22;
    if (total > 0xffffffff || files.length > 0xffff) throw new Error('too large for one ZIP file');
    const out = new Uint8Array(total);
    const view = new DataView(out.buffer);
    let at = 0;
    const u16 = (value) => { view.setUint16(at, value, true); at += 2; };
    const u32 = (value) => { view.setUint32(at, value, true); at += 4; };
    const put = (bytes) => { out.set(bytes, at); at += bytes.length; };
    // The fields a local header and a central entry share, from "version needed" to the name's
    // length.
    const common = (f) => {
      u16(20); u16(0x0800); u16(0); u16(time); u16(day);
      u32(f.crc); u32(f.bytes.length); u32(f.bytes.length); u16(f.name.length);
    };
    for (const f of files) {
      f.offset = at;
      u32(0x04034b50); common(f); u16(0); put(f.name); put(f.bytes);
    }
    for (const f of files) {
      u32(0x02014b50); u16(20); common(f);
      u16(0); u16(0); u16(0); u16(0); u32(0); u32(f.offset); put(f.name);
    }
    u32(0x06054b50); u16(0); u16(0); u16(files.length); u16(files.length);
    u32(centralSize); u32(localSize); u16(0);
    return out;
  }

  root.brumletZip = { makeZip, entryName, crc32 };
})(typeof window !== 'undefined' ? window : globalThis);
