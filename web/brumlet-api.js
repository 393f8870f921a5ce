// The program as a JavaScript function:
//
//   const { exitCode, stdout, files } = await brumlet.run(args, files, stdinText);
//
// args: the command line without the program's name, as an array of strings.
// files: an object of file name to Uint8Array, put into a fresh working folder before the run; a
//   name with "/" goes into that subfolder, which is made.
// stdinText: the console input, read by the %ASK prompts (at its end an answer is empty).
// It resolves to the exit code, the console text (everything the program writes goes to standard
// output) and every file in the working folder after the run, by the same relative names.
//
// Every call is a fresh instance of the program over its own in-memory file system: nothing
// carries over from one run to the next. The wasm is compiled once and kept. In a page this file
// is loaded after brumlet.js and sets window.brumlet; under Node, require() it beside brumlet.js.
(function (root) {
  'use strict';

  const kWorkFolder = '/work';
  const onNode = typeof window === 'undefined' && typeof process === 'object' &&
      typeof require === 'function';
  // The folder that holds brumlet.js and brumlet.wasm.
  const here = onNode ? __dirname + '/'
      : new URL('.', (document.currentScript && document.currentScript.src) || location.href).href;
  const factory = onNode ? require(here + 'brumlet.js') : root.createBrumlet;
  let compiled = null;

  function compileOnce() {
    if (!compiled) {
      compiled = onNode
          ? Promise.resolve(require('fs').readFileSync(here + 'brumlet.wasm')).then(WebAssembly.compile)
          : fetch(here + 'brumlet.wasm').then((response) => {
            if (!response.ok) throw new Error(`brumlet.wasm: ${response.status} ${response.statusText}`);
            return response.arrayBuffer();
          }).then(WebAssembly.compile);
      compiled.catch(() => { compiled = null; });  // a failed load may be tried again
    }
    return compiled;
  }

  // Only plain relative names: no empty part, no "." or "..", no leading "/".
  function checkedName(name) {
    const parts = name.split('/');
    if (parts.some((part) => part === '' || part === '.' || part === '..')) {
      throw new TypeError(`brumlet.run: not a plain relative file name: ${JSON.stringify(name)}`);
    }
    return parts;
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

  async function run(args, files = {}, stdinText = '') {
    if (!Array.isArray(args) || !args.every((arg) => typeof arg === 'string')) {
      throw new TypeError('brumlet.run: args must be an array of strings');
    }
    const entries = Object.entries(files).map(([name, bytes]) => [checkedName(name), bytes]);
    const wasm = await compileOnce();
    const input = new TextEncoder().encode(stdinText);
    let read = 0;
    const output = [];
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
        stdout: (byte) => output.push(byte),
        stderr: (byte) => output.push(byte),
        // The end of main is not the end of the page (or of Node).
        quit: (status, reason) => { throw reason; },
      });
    } finally {
      if (onNode) events.forEach((event, i) => {
        for (const listener of process.listeners(event)) {
          if (!hooked[i].includes(listener)) process.removeListener(event, listener);
        }
      });
    }
    const FS = program.FS;
    FS.mkdir(kWorkFolder);
    for (const [parts, bytes] of entries) {
      let folder = kWorkFolder;
      for (const part of parts.slice(0, -1)) {
        folder += `/${part}`;
        if (!FS.analyzePath(folder).exists) FS.mkdir(folder);
      }
      FS.writeFile(`${folder}/${parts[parts.length - 1]}`, bytes);
    }
    FS.chdir(kWorkFolder);
    const text = () => new TextDecoder().decode(new Uint8Array(output));
    let exitCode;
    try {
      exitCode = program.callMain(args);
    } catch (error) {  // a fault of the runtime: what the program printed before it still counts
      error.stdout = text();
      throw error;
    }
    return { exitCode, stdout: text(), files: listFiles(FS, kWorkFolder, '', {}) };
  }

  const api = { run };
  if (onNode) module.exports = api;
  else root.brumlet = api;
})(typeof window !== 'undefined' ? window : globalThis);
