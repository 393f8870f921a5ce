// The Web Worker the page runs the program in (brumlet-api.js starts it), so that a long run
// leaves the page free and can be stopped by ending the worker.
//
// Messages from the page: {type: 'module', module} the compiled brumlet.wasm, once, first;
// {type: 'run', id, args, files, stdinText, stream} one run, after the runs before it, where a
// file is a Uint8Array or {blob, key}; {type: 'recycle', buffers} memory the page no longer uses.
// Back: {type: 'text', id, text}; with stream, {type: 'output', id, name, bytes} (the bytes
// moved, not copied) and {type: 'progress', id, done, total}; last {type: 'done', id, result} or
// {type: 'failed', id, name, message, stdout}.
importScripts('brumlet.js', 'brumlet-instance.js');

let wasm = null;
let queue = Promise.resolve();
// The bytes of the blobs the last run read, by the page's key for each: a bank converted again
// (other presets, say) is not read again.
let blobs = new Map();

async function runOne({ id, args, files, stdinText, stream }) {
  const hooks = { text: (text) => postMessage({ type: 'text', id, text }) };
  if (stream) {
    hooks.output = (name, bytes) => postMessage({ type: 'output', id, name, bytes }, [bytes.buffer]);
    hooks.progress = (done, total) => postMessage({ type: 'progress', id, done, total });
  }
  try {
    const read = new Map();
    const inputs = {};
    for (const [name, file] of Object.entries(files)) {
      if (!file || !(file.blob instanceof Blob)) {
        inputs[name] = file;
        continue;
      }
      const bytes = blobs.get(file.key) || new Uint8Array(await file.blob.arrayBuffer());
      read.set(file.key, bytes);
      inputs[name] = bytes;
    }
    blobs = read;
    const result = await brumletInstance.runInstance(createBrumlet, await wasm, args, inputs, stdinText,
      { owned: true, hooks });
    postMessage({ type: 'done', id, result }, [...new Set(Object.values(result.files).map((bytes) => bytes.buffer))]);
  } catch (error) {
    postMessage({ type: 'failed', id, name: error.name, message: String(error.message || error), stdout: error.stdout });
  }
}

onmessage = ({ data }) => {
  if (data.type === 'module') wasm = data.module;
  else if (data.type === 'run') queue = queue.then(() => runOne(data));
  else if (data.type === 'recycle') data.buffers.forEach(brumletInstance.recycle);
};
