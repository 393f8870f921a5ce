// A ZIP archive of files stored as they are (no compression: XI sample data hardly shrinks, and
// every unzip tool reads stored entries). Names are UTF-8 (flag bit 11), and plain: a file's name,
// or a folder and a name, never a way out of the folder the archive is unpacked in.
//
// Layout: per file a local header (30 bytes + name) and its bytes; then per file a central
// directory entry (46 bytes + name); then the end record (22 bytes). Sizes and offsets are 32-bit,
// so an archive stops short of 4 GiB.
//
// The page builds its archive as the outputs arrive (ZipBuilder): it keeps each file's bytes as
// the program handed them over, without a copy, and a card reads its file from there. The CRCs
// are worked out meanwhile, a slice at a time while the page has nothing else to do, and the
// headers are written when the archive is taken.
(function (root) {
  'use strict';

  const kLocalHeaderSize = 30;
  const kCentralEntrySize = 46;
  const kEndRecordSize = 22;
  const kLimit = 0xffffffff;
  const kMaxEntries = 0xffff;

  // CRC-32 eight bytes at a time: table n holds the CRC of a byte followed by n zero bytes.
  const kCrcTables = (() => {
    const tables = Array.from({ length: 8 }, () => new Uint32Array(256));
    for (let n = 0; n < 256; ++n) {
      let c = n;
      for (let k = 0; k < 8; ++k) c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
      tables[0][n] = c;
    }
    for (let n = 0; n < 256; ++n) {
      for (let t = 1; t < 8; ++t) tables[t][n] = tables[0][tables[t - 1][n] & 0xff] ^ (tables[t - 1][n] >>> 8);
    }
    return tables;
  })();

  // MS-DOS time and date words, in local time, as unzip tools show them.
  function dosDateTime(date) {
    const time = (date.getHours() << 11) | (date.getMinutes() << 5) | (date.getSeconds() >> 1);
    const day = ((Math.max(1980, date.getFullYear()) - 1980) << 9) |
        ((date.getMonth() + 1) << 5) | date.getDate();
    return [time, day];
  }

  /// `name` as an entry's name that unzip tools take safely: its parts (split at "/") without "\",
  /// ":" or control characters (each becomes "_"), so that none is a drive, a Windows path or a
  /// way up; an empty part is dropped (no leading "/"), a part of dots alone becomes "_"s.
  function entryName(name) {
    const parts = String(name).split('/').filter((part) => part !== '').map((part) => {
      const clean = part.replace(/[\\:\u0000-\u001f\u007f]/g, '_');
      return /^\.+$/.test(clean) ? clean.replace(/\./g, '_') : clean;
    });
    return parts.length ? parts.join('/') : '_';
  }

  // Writes little-endian fields one after another.
  function writer(size) {
    const out = new Uint8Array(size);
    const view = new DataView(out.buffer);
    let at = 0;
    return {
      out,
      u16(value) { view.setUint16(at, value, true); at += 2; },
      u32(value) { view.setUint32(at, value, true); at += 4; },
      put(bytes) { out.set(bytes, at); at += bytes.length; },
    };
  }

  // The fields a local header and a central entry share, from "version needed" to the name's
  // length.
  function commonFields(w, entry, time, day) {
    w.u16(20); w.u16(0x0800); w.u16(0); w.u16(time); w.u16(day);
    w.u32(entry.crcValue); w.u32(entry.size); w.u32(entry.size); w.u16(entry.name.length);
  }

  // CRC-32 of `bytes` from `crc` (the value so far, 0 to start), `from` to `to`.
  function crc32Part(bytes, crc, from, to) {
    const [t0, t1, t2, t3, t4, t5, t6, t7] = kCrcTables;
    crc = ~crc;
    let i = from;
    for (const end = to - 8; i <= end; i += 8) {
      const low = crc ^ (bytes[i] | (bytes[i + 1] << 8) | (bytes[i + 2] << 16) | (bytes[i + 3] << 24));
      crc = t7[low & 0xff] ^ t6[(low >>> 8) & 0xff] ^ t5[(low >>> 16) & 0xff] ^ t4[low >>> 24] ^
          t3[bytes[i + 4]] ^ t2[bytes[i + 5]] ^ t1[bytes[i + 6]] ^ t0[bytes[i + 7]];
    }
    for (; i < to; ++i) crc = t0[(crc ^ bytes[i]) & 0xff] ^ (crc >>> 8);
    return ~crc >>> 0;
  }

  const crc32 = (bytes) => crc32Part(bytes, 0, 0, bytes.length);

  // Works out CRCs a megabyte at a time, each slice a task of its own, so that the page stays
  // free to answer: crcLater(bytes) gives a Promise of the CRC.
  const kSlice = 1 << 20;
  const waiting = [];
  function crcLater(bytes) {
    return new Promise((resolve) => {
      waiting.push({ bytes, crc: 0, at: 0, resolve });
      if (waiting.length === 1) setTimeout(crcSlice, 0);
    });
  }
  function crcSlice() {
    const job = waiting[0];
    const to = Math.min(job.bytes.length, job.at + kSlice);
    job.crc = crc32Part(job.bytes, job.crc, job.at, to);
    job.at = to;
    if (job.at === job.bytes.length) {
      waiting.shift();
      job.resolve(job.crc);
    }
    if (waiting.length) setTimeout(crcSlice, 0);
  }

  /// An archive built entry by entry.
  class ZipBuilder {
    constructor(date = new Date()) {
      [this.time, this.day] = dosDateTime(date);
      this.entries = new Map();  // entry name: {name (UTF-8), size, bytes, crc (a Promise)}
      this.bytes = kEndRecordSize;
    }

    /// Adds `bytes` as `name` (cleaned by entryName), or with `replace` in place of the entry of
    /// that name, and returns the entry's name. The archive keeps `bytes`, which are not to be
    /// changed afterwards. Throws an Error naming the name where it is taken (and not to be
    /// replaced), or where the archive would grow past what a ZIP holds.
    add(name, bytes, replace = false) {
      const clean = entryName(name);
      const old = this.entries.get(clean);
      if (old && !replace) throw new Error(`two files are named ${clean}`);
      const encoded = new TextEncoder().encode(clean);
      const cost = (entry) => kLocalHeaderSize + kCentralEntrySize + 2 * entry.name.length + entry.size;
      const entry = { name: encoded, size: bytes.length, bytes };
      const grown = this.bytes - (old ? cost(old) : 0) + cost(entry);
      if (grown > kLimit || (!old && this.entries.size >= kMaxEntries)) {
        throw new Error(`${clean} does not fit: a ZIP file holds less than 4 GiB`);
      }
      entry.crc = crcLater(bytes);
      this.entries.delete(clean);
      this.entries.set(clean, entry);
      this.bytes = grown;
      return clean;
    }

    /// The bytes of the entry `name` (as add returned it).
    file(name) {
      return this.entries.get(name).bytes;
    }

    /// The bytes the entries' files hold together.
    get fileBytes() {
      let sum = 0;
      for (const entry of this.entries.values()) sum += entry.size;
      return sum;
    }

    /// The archive as it stands: a Promise of a Blob.
    async blob() {
      const entries = [...this.entries.values()];
      const parts = [];
      let offset = 0;
      let centralSize = 0;
      for (const entry of entries) {
        entry.crcValue = await entry.crc;
        entry.offset = offset;
        const w = writer(kLocalHeaderSize + entry.name.length);
        w.u32(0x04034b50); commonFields(w, entry, this.time, this.day); w.u16(0); w.put(entry.name);
        parts.push(w.out, entry.bytes);
        offset += w.out.length + entry.size;
        centralSize += kCentralEntrySize + entry.name.length;
      }
      const w = writer(centralSize + kEndRecordSize);
      for (const entry of entries) {
        w.u32(0x02014b50); w.u16(20); commonFields(w, entry, this.time, this.day);
        w.u16(0); w.u16(0); w.u16(0); w.u16(0); w.u32(0); w.u32(entry.offset); w.put(entry.name);
      }
      w.u32(0x06054b50); w.u16(0); w.u16(0); w.u16(entries.length); w.u16(entries.length);
      w.u32(centralSize); w.u32(offset); w.u16(0);
      return new Blob([...parts, w.out], { type: 'application/zip' });
    }

    /// The buffers of every file, for others to use: the archive is empty afterwards.
    release() {
      const buffers = [...this.entries.values()].map((entry) => entry.bytes.buffer);
      this.entries.clear();
      this.bytes = kEndRecordSize;
      return buffers;
    }
  }

  /// The archive of `entries`, an array of {name, bytes}, in that order, each under its
  /// entryName: a Promise of a Blob. Throws an Error naming the name where two entries would have
  /// the same one.
  function makeZip(entries, date = new Date()) {
    const zip = new ZipBuilder(date);
    for (const { name, bytes } of entries) zip.add(name, bytes);
    return zip.blob();
  }

  root.brumletZip = { ZipBuilder, makeZip, entryName, crc32 };
})(typeof self !== 'undefined' ? self : globalThis);
