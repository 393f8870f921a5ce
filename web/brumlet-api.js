// The program as a JavaScript function:
//
//   const { exitCode, stdout, files } = await brumlet.run(args, files, stdinText, options);
//
// args: the command line without the program's name, as an array of strings.
// files: an object of file name to Uint8Array (in a page also a Blob, such as a dropped File), put
//   into a fresh working folder before the run; a name with "/" goes into that subfolder.
// stdinText: the console input, read by the %ASK prompts (at its end an answer is empty).
// It resolves to the exit code, the console text (everything the program writes goes to standard
// output) and every file in the working folder after the run, by the same relative names.
// options, each optional:
//   signal: an AbortSignal; aborting ends the run (in a page: the worker, and every run waiting in
//     it), which then rejects with an AbortError, "Cancelled". Under Node a run cannot be stopped
//     once it has begun.
//   onText(text): the console text as it is written, line by line.
//   onOutput(name, bytes): each output of the run as soon as it is finished (a later output of the
//     same name replaces it); the outputs then leave the program's file system at once, and
//     files is empty.
//   onProgress(done, total): a bank run's presets done of the presets it converts.
//
//   const { left, right } = await brumlet.render(xiBytes, notes, rate);
//
// plays the XI instrument in xiBytes (a Uint8Array) as a tracker would (xi-player.js): notes a
// list of {key, start, end}, key 0..95 as the key map counts (C-4 = 48), times in seconds, end the
// key-up; rate frames a second (44100 if not given). It resolves to two Float32Arrays, 1.0 being a
// full-scale sample at volume 64, centred, rendered until every voice is silent or 10 s after the
// last end; it rejects where xiBytes is not a whole XI instrument.
//
//   brumlet.recycle(buffers);
//
// gives back ArrayBuffers of outputs (and anything else) that the caller no longer uses, whose
// memory the next runs then write into: memory used for the first time costs more than the
// program's work on it.
//
// Every call of run is a fresh instance of the program over its own in-memory file system: nothing
// carries over from one run to the next. The wasm is compiled once and kept. In a page the
// instances run in a Web Worker (brumlet-worker.js), one run after the other, and this file sets
// window.brumlet; under Node they run in the calling thread: require() this file beside
// brumlet.js.
(function (root) {
  'use strict';

  const onNode = typeof window === 'undefined' && typeof process === 'object' &&
      typeof require === 'function';
  // The folder that holds brumlet.js and brumlet.wasm.
  const here = onNode ? __dirname + '/'
      : new URL('.', (document.currentScript && document.currentScript.src) || location.href).href;
  let compiled = null;

  function compileOnce() {
    if (!compiled) {
      compiled = onNode
          ? Promise.resolve(require('fs').readFileSync(here + 'brumlet.wasm')).then(WebAssembly.compile)
          : fetch(here + 'brumlet.wasm').then((response) => {
            if (!response.ok) throw new Error(`brumlet.wasm: ${response.status} ${response.statusText}`);
            // Compiled while it arrives, where the server names its type as a wasm's.
            if (/^application\/wasm/.test(response.headers.get('content-type') || '')) {
              return WebAssembly.compileStreaming(response);
            }
            return response.arrayBuffer().then(WebAssembly.compile);
          });
      compiled.catch(() => { compiled = null; });  // a failed load may be tried again
    }
    return compiled;
  }

  const cancelled = () => (typeof DOMException === 'function'
    ? new DOMException('Cancelled', 'AbortError') : Object.assign(new Error('Cancelled'), { name: 'AbortError' }));

  function runOnNode(args, files = {}, stdinText = '', options = {}) {
    const instance = require(here + 'brumlet-instance.js');
    return Promise.resolve().then(async () => {
      instance.checkRun(args, files);
      if (options.signal && options.signal.aborted) throw cancelled();
      const factory = require(here + 'brumlet.js');
      return instance.runInstance(factory, await compileOnce(), args, files, stdinText, {
        hooks: { text: options.onText, output: options.onOutput, progress: options.onProgress },
      });
    });
  }

  // In a page: one worker at a time, started on the first run, and again after one is ended.
  let worker = null;
  let nextId = 1;
  const runs = new Map();  // id: {resolve, reject, options}

  // Ends the worker and every run in it, each rejected with `error`.
  function endWorker(error) {
    if (!worker) return;
    worker.terminate();
    worker = null;
    for (const run of runs.values()) run.reject(error);
    runs.clear();
  }

  function onMessage({ data }) {
    const run = runs.get(data.id);
    if (!run) return;
    const { options } = run;
    if (data.type === 'text') {
      if (options.onText) options.onText(data.text);
    } else if (data.type === 'output') {
      options.onOutput(data.name, data.bytes);
    } else if (data.type === 'progress') {
      if (options.onProgress) options.onProgress(data.done, data.total);
    } else {
      runs.delete(data.id);
      if (data.type === 'done') {
        run.resolve(data.result);
      } else {
        const error = data.name === 'TypeError' ? new TypeError(data.message) : new Error(data.message);
        if (data.stdout !== undefined) error.stdout = data.stdout;
        run.reject(error);
      }
    }
  }

  function startWorker(module) {
    if (worker) return worker;
    worker = new Worker(here + 'brumlet-worker.js');
    worker.onmessage = onMessage;
    worker.onerror = (event) => {
      event.preventDefault();
      endWorker(new Error(`the converter stopped: ${event.message || 'its worker failed'}`));
    };
    worker.postMessage({ type: 'module', module });
    return worker;
  }

  // A key for each blob the page runs on, so that the worker can keep what it read of it.
  const blobKeys = new WeakMap();
  let nextKey = 1;
  const keyOf = (blob) => {
    if (!blobKeys.has(blob)) blobKeys.set(blob, nextKey++);
    return blobKeys.get(blob);
  };

  function runInWorker(args, files = {}, stdinText = '', options = {}) {
    return compileOnce().then((module) => new Promise((resolve, reject) => {
      const { signal } = options;
      if (signal && signal.aborted) throw cancelled();
      const id = nextId++;
      runs.set(id, { resolve, reject, options });
      if (signal) {
        signal.addEventListener('abort', () => {
          if (!runs.has(id)) return;
          endWorker(cancelled());
          startWorker(module);  // ready for the next run
        }, { once: true });
      }
      const sent = Object.fromEntries(Object.entries(files || {}).map(([name, file]) =>
        [name, file instanceof Blob ? { blob: file, key: keyOf(file) } : file]));
      try {
        startWorker(module).postMessage({ type: 'run', id, args, files: sent, stdinText, stream: Boolean(options.onOutput) });
      } catch (error) {  // what cannot be sent to a worker is no file or argument
        runs.delete(id);
        throw new TypeError(`brumlet.run: ${error.message}`);
      }
    }));
  }

  function render(xi, notes, rate = 44100) {
    return Promise.resolve().then(() => {
      if (!(xi instanceof Uint8Array) || !Array.isArray(notes) || !(rate > 0)) {
        throw new TypeError('brumlet.render: takes the XI bytes, a list of notes and a rate');
      }
      return (onNode ? require(here + 'xi-player.js') : root.brumletPlayer).render(xi, notes, rate);
    });
  }

  function recycle(buffers) {
    const given = [...new Set(buffers)].filter((buffer) => buffer instanceof ArrayBuffer && buffer.byteLength);
    if (onNode) given.forEach(require(here + 'brumlet-instance.js').recycle);
    else if (worker) worker.postMessage({ type: 'recycle', buffers: given }, given);
  }

  const api = { run: onNode ? runOnNode : runInWorker, render, recycle };
  if (onNode) module.exports = api;
  else root.brumlet = api;
})(typeof window !== 'undefined' ? window : globalThis);
