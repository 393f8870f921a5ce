// One run of the program: a fresh instance over an in-memory file system of its own, the files put
// into its working folder, main called with the command line. The entry point (brumlet-api.js)
// runs it in a Web Worker in a page (brumlet-worker.js) and in the same thread under Node.
//
// Outputs leave the instance as they are finished: the program tells when (each output once it is
// closed and the run has gone on, src/platform/wasm_platform.h), and the bytes are taken out of the
// file system, the file left in place truncated to nothing, so that it keeps its identity for the
// program's own checks. They go to hooks.output, or without it are put back into the run's list of
// files at its end.
(function (root) {
  'use strict';

  const kWorkFolder = '/work';
  const onNode = typeof process === 'object' && typeof require === 'function' &&
      typeof window === 'undefined' && typeof importScripts === 'undefined';

  /// The parts of `name`, a plain relative file name: no empty part, no "." or "..", no leading
  /// "/". Throws TypeError for any other.
  function checkedName(name) {
    const parts = String(name).split('/');
    if (parts.some((part) => part === '' || part === '.' || part === '..')) {
      throw new TypeError(`brumlet.run: not a plain relative file name: ${JSON.stringify(name)}`);
    }
    return parts;
  }

  /// Throws TypeError for arguments that are not an array of strings or a file name that is not a
  /// plain relative one; the refusals of brumlet.run that come before the program runs.
  function checkRun(args, files) {
    if (!Array.isArray(args) || !args.every((arg) => typeof arg === 'string')) {
      throw new TypeError('brumlet.run: args must be an array of strings');
    }
    Object.keys(files || {}).forEach(checkedName);
  }

  function listFiles(FS, folder, prefix, found) {
    for (const name of FS.readdir(folder).sort()) {
      if (name === '.' || name === '..') continue;
      const path = `${folder}/${name}`;
      const mode = FS.lstat(path).mode;
      if (FS.isDir(mode)) listFiles(FS, path, `${prefix}${name}/`, found);
      else if (FS.isFile(mode)) found[prefix + name] = FS.readFile(path);
    }
    return found;
  }

  // Buffers for the files' contents, kept from output to output, from run to run, and given back
  // by the page once it lets go of the outputs of a conversion: memory touched for the first time
  // costs more than a copy into it. The free ones, smallest first.
  const pool = [];
  const kPoolLimit = 512 << 20;

  // A buffer of at least `size` bytes, and whether it is fresh (all zeros); with `most`, none of
  // more than `most` bytes (nothing when the pool has none that fits).
  function fromPool(size, most = Infinity) {
    const at = pool.findIndex((buffer) => buffer.byteLength >= size);
    if (at >= 0 && pool[at].byteLength <= most) return { buffer: pool.splice(at, 1)[0], fresh: false };
    return most === Infinity ? { buffer: new ArrayBuffer(size), fresh: true } : null;
  }

  /// Gives `buffer`, which nothing else will use, to the pool.
  function recycle(buffer) {
    if (!(buffer instanceof ArrayBuffer) || !buffer.byteLength ||
        pool.reduce((sum, b) => sum + b.byteLength, buffer.byteLength) > kPoolLimit) return;
    const at = pool.findIndex((b) => b.byteLength >= buffer.byteLength);
    pool.splice(at < 0 ? pool.length : at, 0, buffer);
  }

  // MEMFS's expandFileStorage: a file's contents grow to twice their size (or what is asked,
  // if more) in a buffer of the pool. Past the bytes in use the contents hold zeros, as a seek
  // past the end and a write there expect.
  function grow(node, capacity) {
    const have = node.contents ? node.contents.length : 0;
    if (have >= capacity) return;
    const { buffer, fresh } = fromPool(Math.max(capacity, 2 * have, 4096));
    const contents = new Uint8Array(buffer);
    if (node.usedBytes) contents.set(node.contents.subarray(0, node.usedBytes));
    if (!fresh) contents.fill(0, node.usedBytes);
    if (node.pooled) recycle(node.contents.buffer);
    node.contents = contents;
    node.pooled = true;
  }

  // An output's bytes, taken out of its file, which stays in place truncated to nothing. Contents
  // that fill less than four fifths of their buffer are copied into one that fits them better,
  // and the buffer goes back to the pool.
  function takeContents(node) {
    const used = node.usedBytes;
    let bytes = node.contents ? node.contents.subarray(0, used) : new Uint8Array(0);
    if (node.pooled && 5 * used < 4 * node.contents.length) {
      const fits = fromPool(used, Math.ceil(1.25 * used));
      const copy = new Uint8Array(fits ? fits.buffer : new ArrayBuffer(used), 0, used);
      copy.set(bytes);
      recycle(node.contents.buffer);
      bytes = copy;
    }
    node.contents = null;
    node.usedBytes = 0;
    node.pooled = false;
    return bytes;
  }

  /// Runs the program once and resolves to {exitCode, stdout, files}.
  ///   factory: the module factory of brumlet.js (createBrumlet); wasm: the compiled module.
  ///   files: name to Uint8Array or Blob; owned: true when the arrays are the run's to keep (a
  ///     worker's copies), so that the file system takes them without copying.
  ///   hooks: text(chunk) the console text line by line as it is written; output(name, bytes) each
  ///     output as it is finished (a later one of the same name replaces it), and files is then
  ///     empty; progress(done, total) a bank run's presets.
  async function runInstance(factory, wasm, args, files, stdinText, { owned = false, hooks = {} } = {}) {
    checkRun(args, files);
    const entries = await Promise.all(Object.entries(files || {}).map(async ([name, data]) =>
      (typeof Blob !== 'undefined' && data instanceof Blob
        ? [checkedName(name), new Uint8Array(await data.arrayBuffer()), true]
        : [checkedName(name), data, owned])));
    const input = new TextEncoder().encode(stdinText || '');
    let read = 0;
    const output = [];
    let shown = 0;
    const text = () => new TextDecoder().decode(new Uint8Array(output));
    // The console text up to its last line end; a line end never falls inside a UTF-8 character.
    const showText = (all) => {
      if (!hooks.text || shown === output.length) return;
      const end = all ? output.length : output.lastIndexOf(10) + 1;
      if (end <= shown) return;
      hooks.text(new TextDecoder().decode(new Uint8Array(output.slice(shown, end))));
      shown = end;
    };
    const taken = new Map();
    let FS = null;
    // Under Node, every instance hooks the process's error events; unhooked after the run, so
    // that a finished instance can be collected.
    const events = ['uncaughtException', 'unhandledRejection'];
    const hooked = onNode ? events.map((event) => process.listeners(event)) : [];
    let program;
    try {
      program = await factory({
        thisProgram: 'brumlet',
        noInitialRun: true,
        instantiateWasm(imports, receive) {
          WebAssembly.instantiate(wasm, imports).then((instance) => receive(instance, wasm));
          return {};
        },
        // Byte by byte, so that a prompt without its line end shows as it is.
        stdin: () => (read < input.length ? input[read++] : null),
        stdout: (byte) => {
          output.push(byte);
          if (byte === 10) showText(false);
        },
        stderr: (byte) => output.push(byte),
        // The end of main is not the end of the page (or of Node).
        quit: (status, reason) => { throw reason; },
        brumletOutput(path) {
          const found = FS.analyzePath(path);
          if (!found.exists || !found.path.startsWith(`${kWorkFolder}/`) || !FS.isFile(found.object.mode)) return;
          const bytes = takeContents(found.object);
          const name = found.path.slice(kWorkFolder.length + 1);
          showText(false);
          if (hooks.output) hooks.output(name, bytes);
          else taken.set(name, bytes);
        },
        brumletProgress(done, total) {
          if (hooks.progress) hooks.progress(done, total);
        },
      });
    } finally {
      if (onNode) events.forEach((event, i) => {
        for (const listener of process.listeners(event)) {
          if (!hooked[i].includes(listener)) process.removeListener(event, listener);
        }
      });
    }
    FS = program.FS;
    // Emscripten's in-memory files grow by an eighth at a time past 1 MiB, each time into fresh
    // memory, copied whole: an output of 64 MiB would be copied 35 times, and fresh memory costs
    // more than the copy into it. They double instead, into buffers of the pool.
    const memfs = FS.filesystems && FS.filesystems.MEMFS;
    if (memfs) memfs.expandFileStorage = grow;
    FS.mkdir(kWorkFolder);
    for (const [parts, bytes, own] of entries) {
      let folder = kWorkFolder;
      for (const part of parts.slice(0, -1)) {
        folder += `/${part}`;
        if (!FS.analyzePath(folder).exists) FS.mkdir(folder);
      }
      FS.writeFile(`${folder}/${parts[parts.length - 1]}`, bytes, { canOwn: own });
    }
    FS.chdir(kWorkFolder);
    let exitCode;
    try {
      exitCode = program.callMain(args);
    } catch (error) {  // a fault of the runtime: what the program printed before it still counts
      showText(true);
      error.stdout = text();
      throw error;
    }
    showText(true);
    let found = {};
    if (!hooks.output) {
      found = listFiles(FS, kWorkFolder, '', {});
      for (const [name, bytes] of taken) if (name in found) found[name] = bytes;
    }
    return { exitCode, stdout: text(), files: found };
  }

  const api = { runInstance, checkRun, checkedName, recycle };
  if (onNode) module.exports = api;
  else root.brumletInstance = api;
})(typeof self !== 'undefined' ? self : globalThis);
