// The page: collects the dropped or chosen files, runs the program through window.brumlet.run
// as its command line would, and shows what it printed and the instruments it wrote.
//
// The working folder of a run holds the WAVs (and whatever else was dropped as a source) at its
// top, converted by the pattern "*"; the name file sits in a folder of its own, "names/", so that
// the pattern does not take it for a source. Bank mode runs once per bank, the bank at the top.
(function () {
  'use strict';

  const $ = (id) => document.getElementById(id);
  const kNameFolder = 'names/';

  // What the page holds: sources and banks by name (a later file of the same name replaces the
  // earlier), and at most one name file.
  const sources = new Map();
  const banks = new Map();
  let nameFile = null;
  let ignored = 0;
  let outputs = [];  // {name, bytes} of the last conversion
  let urls = [];     // the download links' object URLs, revoked on the next conversion

  const extension = (name) => (name.lastIndexOf('.') > 0 ? name.slice(name.lastIndexOf('.')).toLowerCase() : '');

  // A file dropped or picked on its own is a source unless it is a bank or a name file, so that a
  // wrong file gets the program's own message. In a folder, only WAVs and banks count.
  function addFile(file, inFolder) {
    if (file.name.startsWith('.')) return;  // hidden files (.DS_Store) are never meant
    const ext = extension(file.name);
    if (ext === '.sf2') banks.set(file.name, file);
    else if (ext === '.wav' || (!inFolder && ext !== '.txt')) sources.set(file.name, file);
    else if (!inFolder) nameFile = file;
    else ++ignored;
  }

  async function filesOfEntry(entry, found) {
    if (entry.isFile) {
      found.push(await new Promise((resolve, reject) => entry.file(resolve, reject)));
    } else if (entry.isDirectory) {
      const reader = entry.createReader();
      for (;;) {  // readEntries gives a folder's entries in batches, then an empty one
        const batch = await new Promise((resolve, reject) => reader.readEntries(resolve, reject));
        if (!batch.length) break;
        for (const child of batch) await filesOfEntry(child, found);
      }
    }
    return found;
  }

  async function onDrop(event) {
    event.preventDefault();
    document.body.classList.remove('over');
    // Items are only readable during the event: take the entries and files first.
    const items = [...event.dataTransfer.items].filter((item) => item.kind === 'file')
      .map((item) => ({ entry: item.webkitGetAsEntry && item.webkitGetAsEntry(), file: item.getAsFile() }));
    for (const { entry, file } of items) {
      if (entry && entry.isDirectory) (await filesOfEntry(entry, [])).forEach((f) => addFile(f, true));
      else if (file) addFile(file, false);
    }
    showChosen();
  }

  const list = (names) => (names.length > 6 ? `${names.slice(0, 6).join(', ')} and ${names.length - 6} more`
    : names.join(', '));

  function showChosen() {
    const parts = [];
    const wavs = [...sources.keys()].sort();
    if (wavs.length) parts.push(`${wavs.length} ${wavs.length === 1 ? 'source' : 'sources'}: ${list(wavs)}`);
    if (nameFile) parts.push(`name file: ${nameFile.name}`);
    if (banks.size) parts.push(`${banks.size === 1 ? 'bank' : 'banks'}: ${list([...banks.keys()].sort())}`);
    if (ignored) parts.push(`${ignored} other ${ignored === 1 ? 'file' : 'files'} in folders passed over`);
    $('chosen').textContent = parts.length ? `${parts.join('; ')}.` : 'No files yet.';
  }

  function syncOptions() {
    const mode = $('mode').value;
    $('mono').disabled = mode !== 'each';
    $('out').disabled = mode !== 'kit' && mode !== 'multi';
    $('presets').disabled = mode !== 'bank';
  }

  const quote = (arg) => (/^[\w@%+=:,./-]+$/.test(arg) ? arg : `'${arg.replace(/'/g, `'\\''`)}'`);

  // The folder of the ZIP that a bank's outputs go into when a run converts several banks, as an
  // Explorer launch puts them: the bank's name without ".sf2"; a name that leaves nothing but dots
  // gives "bank".
  function bankFolder(name) {
    const stem = /\.sf2$/i.test(name) ? name.slice(0, -4) : name;
    return /^\.*$/.test(stem) ? 'bank' : stem;
  }

  // The runs that the chosen mode asks for: each an argument list, the files it needs (as the File
  // objects themselves: the worker reads them, so their bytes never pass through the page), and
  // the folder of the ZIP its outputs go into ('' for none).
  function plannedRuns() {
    const mode = $('mode').value;
    if (mode === 'bank') {
      const presets = $('presets').value.trim();
      return [...banks].map(([name, file]) => ({
        args: ['--sf2', name, ...(presets ? [presets] : [])],
        files: { [name]: file },
        folder: banks.size > 1 ? bankFolder(name) : '',
      }));
    }
    const files = Object.fromEntries(sources);
    if (mode === 'kit' || mode === 'multi') {
      return [{ args: [`--${mode}`, $('out').value.trim(), '*'], files, folder: '' }];
    }
    const args = [...($('mono').checked ? ['--mono'] : []), '*'];
    if (nameFile) {
      files[kNameFolder + nameFile.name] = nameFile;
      args.push(kNameFolder + nameFile.name);
    }
    return [{ args, files, folder: '' }];
  }

  // Every exit code of the program in words, some by mode and by whether the run wrote files.
  const kExitWords = {
    0: 'Done',
    1: 'A file could not be read or written, or the program failed: the report says why',
    245: (bank, wrote) => (wrote ? 'Done, but some presets were skipped' : 'Not a readable bank: nothing was written'),
    246: 'The command line was not understood',
    247: (bank) => (bank ? 'A file would have replaced one that is not an instrument; the files before it were written'
      : 'The instrument could not be made; nothing was written'),
    248: 'A WAV has no data',
    249: 'The name file has a bad sample number',
    250: 'The name file has a bad sample line',
    251: 'The name file has a bad first line',
    252: 'The name file is empty',
    253: 'A file is not a standard WAV',
    254: (bank) => (bank ? 'No preset matches' : 'No file to convert'),
    255: 'The name file was not found',
  };
  function exitWords(code, bank, wrote) {
    const words = kExitWords[code];
    return `${typeof words === 'function' ? words(bank, wrote) : words || 'Stopped'} (exit code ${code})`;
  }

  function card(name, bytes) {
    const box = document.createElement('article');
    box.className = 'card';
    const title = document.createElement('h3');
    const file = document.createElement('p');
    file.className = 'file';
    const link = document.createElement('a');
    const url = URL.createObjectURL(new Blob([bytes], { type: 'application/octet-stream' }));
    urls.push(url);
    link.href = url;
    link.download = name.split('/').pop();
    link.textContent = `Download ${name}`;
    file.append(link, ` (${bytes.length.toLocaleString('en')} bytes)`);
    box.append(title, file);
    let xi;
    try {
      xi = brumletXi.parseXi(bytes);
    } catch (error) {
      title.textContent = name;
      const problem = document.createElement('p');
      problem.className = 'problem';
      problem.textContent = `Not a complete instrument: ${error.message}.`;
      box.append(problem);
      return { box, draw() {} };
    }
    title.textContent = xi.name || name;
    const keys = document.createElement('canvas');
    keys.className = 'keys';
    keys.setAttribute('role', 'img');
    keys.setAttribute('aria-label', `Keys: ${brumletXi.describeKeys(xi.keyMap)}`);
    const samples = document.createElement('ul');
    samples.className = 'samples';
    const waves = xi.samples.map((sample, i) => {
      const item = document.createElement('li');
      const label = document.createElement('div');
      label.className = 'label';
      const swatch = document.createElement('span');
      swatch.className = 'swatch';
      swatch.style.background = brumletXi.colourOf(i);
      const loop = ['no loop', 'forward loop', 'ping-pong loop', 'loop'][sample.loop];
      label.append(swatch, `${i}: ${sample.name || '(no name)'}`);
      item.append(label);
      samples.append(item);
      // A slot without sound only carries its name, which trackers show as a line of text.
      if (!sample.values.length) return null;
      label.append(` · ${sample.values.length} ${sample.sixteenBit ? '16' : '8'}-bit values · ${loop}`);
      const wave = document.createElement('canvas');
      wave.className = 'wave';
      wave.setAttribute('role', 'img');
      wave.setAttribute('aria-label', `Waveform of sample ${i}` +
          (sample.loop ? `, loop from ${sample.loopStart} for ${sample.loopLength}` : ''));
      item.append(wave);
      return [wave, sample, i];
    });
    box.append(keys, samples);
    return {
      box,
      draw() {
        brumletXi.drawKeys(keys, xi.keyMap);
        for (const wave of waves) if (wave) brumletXi.drawWave(wave[0], wave[1], brumletXi.colourOf(wave[2]));
      },
    };
  }

  function showOutputs(found) {
    urls.forEach((url) => URL.revokeObjectURL(url));
    urls = [];
    outputs = found;
    const cards = found.map(({ name, bytes }) => card(name, bytes));
    $('cards').replaceChildren(...cards.map((c) => c.box));
    cards.forEach((c) => c.draw());
    $('download-all').disabled = !found.length;
  }

  // The files a run wrote: the program never changes an input, so every other name is an output.
  const writtenFiles = (before, after) => Object.entries(after).filter(([name]) => !(name in before))
    .map(([name, bytes]) => ({ name, bytes }));

  let stopping = null;  // the running conversion's AbortController

  async function convert() {
    const button = $('convert');
    button.disabled = true;
    stopping = new AbortController();
    $('cancel').disabled = false;
    $('status').textContent = 'Converting…';
    $('console').textContent = '';
    let text = '';
    const found = [];
    const ends = [];
    const codes = [];
    try {
      const runs = plannedRuns();
      if (!runs.length) throw new Error($('mode').value === 'bank' ? 'No bank to convert: drop a .sf2 file first.' : 'Nothing to run.');
      $('command').textContent = runs.map((run) => ['brumlet', ...run.args].map(quote).join(' ')).join(' ; ');
      $('command').dataset.args = JSON.stringify(runs.map((run) => run.args));
      for (const run of runs) {
        const answers = $('answers').value;
        const result = await brumlet.run(run.args, run.files, answers && !answers.endsWith('\n') ? `${answers}\n` : answers, {
          signal: stopping.signal,
          onText: (chunk) => { $('console').textContent += chunk; },
        });
        text += result.stdout;
        $('console').textContent = text;
        const written = writtenFiles(run.files, result.files)
          .map(({ name, bytes }) => ({ name: run.folder ? `${run.folder}/${name}` : name, bytes }));
        ends.push(exitWords(result.exitCode, run.args[0] === '--sf2', written.length > 0));
        codes.push(result.exitCode);
        found.push(...written);
      }
      $('status').textContent = ends.join('; ');
      $('status').dataset.exitCodes = codes.join(' ');
    } catch (error) {
      $('status').textContent = error.name === 'AbortError' ? 'Cancelled' : `The converter stopped: ${error.message || error}`;
      if (error.stdout) $('console').textContent = text + error.stdout;
      $('status').dataset.exitCodes = '';
    }
    stopping = null;
    $('cancel').disabled = true;
    showOutputs(found);
    button.disabled = false;
  }

  function downloadAll() {
    let zip;
    try {
      zip = brumletZip.makeZip(outputs);
    } catch (error) {
      $('status').textContent = `No ZIP: ${error.message}.`;
      return;
    }
    const link = document.createElement('a');
    link.href = URL.createObjectURL(new Blob([zip], { type: 'application/zip' }));
    link.download = 'brumlet-instruments.zip';
    link.click();
    setTimeout(() => URL.revokeObjectURL(link.href), 60000);
  }

  function picked(id, take) {
    $(id).addEventListener('change', (event) => {
      [...event.target.files].forEach(take);
      event.target.value = '';
      showChosen();
    });
  }

  picked('pick-wavs', (file) => sources.set(file.name, file));
  picked('pick-folder', (file) => addFile(file, true));
  picked('pick-names', (file) => { nameFile = file; });
  picked('pick-banks', (file) => banks.set(file.name, file));
  $('clear').addEventListener('click', () => {
    sources.clear();
    banks.clear();
    nameFile = null;
    ignored = 0;
    showChosen();
  });
  $('mode').addEventListener('change', syncOptions);
  $('convert').addEventListener('click', convert);
  $('cancel').addEventListener('click', () => stopping && stopping.abort());
  $('download-all').addEventListener('click', downloadAll);
  // A file dropped anywhere counts; the browser must not open it in place of the page.
  window.addEventListener('dragover', (event) => {
    event.preventDefault();
    document.body.classList.add('over');
  });
  window.addEventListener('dragleave', (event) => {
    if (!event.relatedTarget) document.body.classList.remove('over');
  });
  window.addEventListener('drop', onDrop);
  syncOptions();

  // The converter is ready once its wasm has compiled; a page that cannot load it says so.
  brumlet.run(['--version'], {}, '').then(() => {
    $('status').textContent = 'Ready: drop files, then Convert.';
    $('convert').disabled = false;
  }, (error) => {
    $('status').textContent = `The converter could not be loaded: ${error.message || error}`;
  });
})();
