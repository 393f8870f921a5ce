// The page: collects the dropped or chosen files, runs the program through window.brumlet.run as
// its command line would (in a Web Worker, which Cancel ends), and shows what it prints as it
// prints it. Each instrument it writes goes into the ZIP being built as soon as it is finished and
// gets a card: its name and file at once, its pictures drawn from the ZIP's copy when the card
// scrolls into view, and a keyboard to play it.
//
// The working folder of a run holds the WAVs (and whatever else was dropped as a source) at its
// top, converted by the pattern "*"; the name file sits in a folder of its own, "names/", so that
// the pattern does not take it for a source. Bank mode runs once per bank, the bank at the top.
// SFZ mode runs once per folder that holds .sfz files, over the dropped folders' own layout,
// with only the files those SFZ files need (sfz-scan.js).
(function () {
  'use strict';

  const $ = (id) => document.getElementById(id);
  const kNameFolder = 'names/';

  // What the page holds: sources and banks by name (a later file of the same name replaces the
  // earlier), and at most one name file.
  const sources = new Map();
  const banks = new Map();
  // Every file that came in a folder or on its own, by its path in its folder (a loose file at
  // the top): where SFZ files find what they include and play. Held, never read, until an SFZ
  // names it.
  const tree = new Map();
  let nameFile = null;
  let ignored = 0;
  // What the last conversion wrote: the ZIP (which holds the files' bytes, given back to the
  // converter when the next conversion starts), and the cards by entry name.
  let zip = new brumletZip.ZipBuilder();
  let cards = new Map();
  let urls = [];       // the download links' object URLs, revoked on the next conversion
  let leftOut = [];    // outputs the ZIP could not take, and why
  let stopping = null; // the running conversion's AbortController

  const extension = (name) => (name.lastIndexOf('.') > 0 ? name.slice(name.lastIndexOf('.')).toLowerCase() : '');

  // A file dropped or picked on its own is a source unless it is a bank, a name file or an SFZ,
  // so that a wrong file gets the program's own message; the pickers for WAVs and banks take what
  // they are for. In a folder, only WAVs, banks and SFZ files count. Hidden files (.DS_Store)
  // never do: the pattern "*" would not find them; an SFZ may still name one.
  function addFile(file, how, path = file.name) {
    if (how !== 'bank' && how !== 'names') tree.set(path, file);
    if (file.name.startsWith('.')) return;
    const ext = extension(file.name);
    if (ext === '.sfz' && how !== 'source') return;
    if (how === 'bank' || (how !== 'source' && ext === '.sf2')) banks.set(file.name, file);
    else if (how === 'source' || ext === '.wav' || (how !== 'folder' && ext !== '.txt')) sources.set(file.name, file);
    else if (how !== 'folder') nameFile = file;
    else ++ignored;
  }

  // The files under a dropped folder's entry, each with its path from the folder dropped.
  async function filesOfEntry(entry, found) {
    if (entry.isFile) {
      found.push([await new Promise((resolve, reject) => entry.file(resolve, reject)), entry.fullPath.replace(/^\/+/, '')]);
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
      if (entry && entry.isDirectory) (await filesOfEntry(entry, [])).forEach(([f, path]) => addFile(f, 'folder', path));
      else if (file) addFile(file, 'dropped');
    }
    showChosen();
  }

  const list = (names) => (names.length > 6 ? `${names.slice(0, 6).join(', ')} and ${names.length - 6} more`
    : names.join(', '));

  // The SFZ files the program would convert: the pattern takes no hidden file.
  const sfzFiles = () => [...tree.keys()].filter((path) => /(^|\/)[^./][^/]*\.sfz$/i.test(path)).sort();

  // Files that bring SFZ files choose the SFZ mode: their folders' WAVs are the SFZ files' samples.
  function showChosen() {
    const parts = [];
    const wavs = [...sources.keys()].sort();
    const sfz = sfzFiles();
    if (wavs.length) parts.push(`${wavs.length} ${wavs.length === 1 ? 'source' : 'sources'}: ${list(wavs)}`);
    if (nameFile) parts.push(`name file: ${nameFile.name}`);
    if (banks.size) parts.push(`${banks.size === 1 ? 'bank' : 'banks'}: ${list([...banks.keys()].sort())}`);
    if (sfz.length) parts.push(`${sfz.length} SFZ ${sfz.length === 1 ? 'file' : 'files'}: ${list(sfz)}`);
    if (ignored) parts.push(`${ignored} other ${ignored === 1 ? 'file' : 'files'} in folders ` +
      (sfz.length ? 'read only where an SFZ file names them' : 'passed over'));
    $('chosen').textContent = parts.length ? `${parts.join('; ')}.` : 'No files yet.';
    if (sfz.length && $('mode').value !== 'sfz') {
      $('mode').value = 'sfz';
      syncOptions();
    }
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
  // objects themselves: the worker reads them, so their bytes never pass through the page; an SFZ
  // run's texts are read here first), and the folder of the ZIP its outputs go into ('' for none).
  async function plannedRuns() {
    const mode = $('mode').value;
    if (mode === 'sfz') {
      const runs = await brumletSfz.plan(tree);
      return runs.map(({ folder, pattern, files }) => ({
        args: ['--sfz', pattern],
        files,
        folder: runs.length > 1 ? folder.replace(/\/$/, '') : '',
      }));
    }
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
      const out = $('out').value.trim();
      // The page's working folder is all the program may write to.
      if (/[/\\]/.test(out)) throw new Error(`the instrument file needs a name without a folder, not ${out}`);
      return [{ args: [`--${mode}`, out, '*'], files, folder: '' }];
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
    245: (mode, wrote) => (mode === 'sfz' ? (wrote ? 'Done, but some SFZ files were skipped' : 'No SFZ file could be converted')
      : wrote ? 'Done, but some presets were skipped' : 'Not a readable bank: nothing was written'),
    246: 'The command line was not understood',
    247: (mode, wrote) => (mode === 'bank' ? 'A file would have replaced one that is not an instrument; the files before it were written'
      : mode === 'sfz' ? 'Two SFZ files would have become the same instrument, or one a file that is not an instrument; the files before it were written'
      : wrote ? 'Two files would have become the same instrument; the files before it were written'
        : 'The instrument could not be made; nothing was written'),
    248: 'A WAV has no data',
    249: 'The name file has a bad sample number',
    250: 'The name file has a bad sample line',
    251: 'The name file has a bad first line',
    252: 'The name file is empty',
    253: 'A file is not a standard WAV',
    254: (mode) => (mode === 'bank' ? 'No preset matches' : 'No file to convert'),
    255: 'The name file was not found',
  };
  function exitWords(code, mode, wrote) {
    const words = kExitWords[code];
    return `${typeof words === 'function' ? words(mode, wrote) : words || 'Stopped'} (exit code ${code})`;
  }

  const sizeText = (bytes) => (bytes >= 1e6 ? `${(bytes / 1e6).toFixed(1)} MB` : `${Math.ceil(bytes / 1e3)} KB`);

  // Draws a card's pictures once it comes near the screen, from the file in the ZIP, which it
  // then lets go of.
  const drawWhenSeen = new IntersectionObserver((seen) => {
    for (const { isIntersecting, target } of seen) {
      if (!isIntersecting) continue;
      drawWhenSeen.unobserve(target);
      target.draw();
    }
  }, { rootMargin: '400px 0px' });

  function element(tag, className, text) {
    const made = document.createElement(tag);
    if (className) made.className = className;
    if (text !== undefined) made.textContent = text;
    return made;
  }

  // The card of an output: `file()` gives its bytes, `xi` is its header (readXi) or an Error.
  function makeCard(name, size, file, xi) {
    const box = element('article', 'card');
    const title = element('h3', '', xi instanceof Error ? name : xi.name || name);
    title.id = `card-${cards.size}-${Date.now()}`;
    box.setAttribute('aria-labelledby', title.id);
    const link = element('a', '', `Download ${name}`);
    link.download = name.split('/').pop();
    // The link gets its address when it is about to be used: a copy of the file for every card
    // would cost as much as the conversion.
    link.href = '#';
    const address = () => {
      if (link.href.startsWith('blob:')) return;
      link.href = URL.createObjectURL(new Blob([file()], { type: 'application/octet-stream' }));
      urls.push(link.href);
    };
    for (const type of ['pointerenter', 'focus', 'click']) link.addEventListener(type, address);
    const about = element('p', 'file');
    about.append(link, ` (${size.toLocaleString('en')} bytes)`);
    box.append(title, about);
    if (xi instanceof Error) {
      box.append(element('p', 'problem', `Not a complete instrument: ${xi.message}.`));
      return box;
    }
    // Slots without sample data only carry a name, which trackers show as a line of text.
    const sounding = (i) => i < xi.samples.length && xi.samples[i].frames > 0;
    const keys = element('canvas', 'keys');
    keys.setAttribute('role', 'img');
    keys.setAttribute('aria-label', `Keys: ${brumletXi.describeKeys(xi.keyMap)}`);
    const keyboard = brumletKeyboard.create(xi.name || name, async () => brumletPlayer.instrumentOf(file()));
    const samples = element('ul', 'samples');
    const lines = element('ul', 'lines');
    const waves = [];
    xi.samples.forEach((sample, i) => {
      if (!sounding(i)) {
        lines.append(element('li', '', `${i}: ${sample.name || '(no name)'}`));
        return;
      }
      const loop = ['no loop', 'forward loop', 'ping-pong loop', 'loop'][sample.loop];
      const label = element('div', 'label');
      const swatch = element('span', 'swatch');
      swatch.style.background = brumletXi.colourOf(i);
      label.append(swatch, `${i}: ${sample.name || '(no name)'} · ${sample.frames} ${sample.sixteenBit ? '16' : '8'}-bit values · ${loop}`);
      const wave = element('canvas', 'wave');
      wave.setAttribute('role', 'img');
      wave.setAttribute('aria-label', `Waveform of sample ${i}` +
          (sample.loop ? `, loop from ${sample.loopStart} for ${sample.loopLength}` : ''));
      const item = element('li');
      item.append(label, wave);
      samples.append(item);
      waves.push([wave, sample, i]);
    });
    box.append(keys, keyboard, samples);
    if (lines.children.length) {
      box.append(element('p', 'lines-title', 'Name lines (slots without a sample):'), lines);
    }
    box.draw = () => {
      const bytes = file();
      const [keysSize, keyboardSize, ...waveSizes] = brumletXi.measure([keys, keyboard.canvas, ...waves.map(([wave]) => wave)]);
      brumletXi.drawKeys(keys, keysSize, xi.keyMap, sounding);
      keyboard.draw(keyboardSize);
      waves.forEach(([wave, sample, i], n) => brumletXi.drawWave(wave, waveSizes[n], bytes, sample, brumletXi.colourOf(i)));
      box.dataset.drawn = '';
    };
    drawWhenSeen.observe(box);
    return box;
  }

  function showHeld() {
    const count = zip.entries.size;
    $('held').textContent = count ? `The page holds ${count} ${count === 1 ? 'instrument' : 'instruments'}, ` +
      `${sizeText(zip.fileBytes)}.` : '';
    $('download-all').disabled = !count;
  }

  // An output as the program finished it: into the ZIP (in place of one of the same name that the
  // same run wrote before) and onto a card.
  function takeOutput(run, name, bytes) {
    const shown = brumletZip.entryName(run.folder ? `${run.folder}/${name}` : name);
    let xi;
    try {
      xi = brumletXiRead.readXi(bytes);
    } catch (error) {
      xi = error;
    }
    const size = bytes.length;
    const again = run.written.has(shown);
    let file;
    try {
      zip.add(shown, bytes, again);
      file = () => zip.file(shown);
      run.written.add(shown);
    } catch (error) {
      leftOut.push(error.message);
      file = () => bytes;
    }
    const box = makeCard(shown, size, file, xi);
    const old = cards.get(shown);
    if (again && old.isConnected) old.replaceWith(box);
    else if (again) newCards[newCards.indexOf(old)] = box;
    else later(() => newCards.push(box));
    cards.set(shown, box);
    showHeld();
  }

  // The console text and the new cards as they come, once a frame: the page is laid out once a
  // frame, not for every line and card (a bank's run gives hundreds). The console follows its
  // text while its end is in view: it is scrolled and measured at the start of a frame, when
  // the page's layout is still the one just drawn, and nothing has to be laid out again for it.
  let unshown = '';
  let newCards = [];
  let follow = false;
  function showNew() {
    const box = $('console');
    if (follow) box.scrollTop = box.scrollHeight;
    follow = false;
    if (unshown) {
      follow = box.scrollTop + box.clientHeight >= box.scrollHeight - 4;
      box.append(unshown);
    }
    if (newCards.length) $('cards').append(...newCards);
    unshown = '';
    newCards = [];
    if (follow) requestAnimationFrame(showNew);
  }
  function later(add) {
    if (!unshown && !newCards.length && !follow) requestAnimationFrame(showNew);
    add();
  }
  const show = (text) => later(() => { unshown += text; });

  function showProgress(label, done, total) {
    $('progress').max = Math.max(1, total);
    $('progress').value = done;
    $('progress-text').textContent = `${label}: ${done} of ${total} ${total === 1 ? 'preset' : 'presets'}`;
    $('progress-row').classList.add('on');
  }

  function clearResults() {
    urls.forEach((url) => URL.revokeObjectURL(url));
    urls = [];
    leftOut = [];
    brumlet.recycle(zip.release());
    zip = new brumletZip.ZipBuilder();
    cards = new Map();
    drawWhenSeen.disconnect();
    $('cards').replaceChildren();
    unshown = '';
    newCards = [];
    $('console').textContent = '';
    $('progress-row').classList.remove('on');
    showHeld();
  }

  async function convert() {
    const focused = document.activeElement === $('convert');
    $('convert').disabled = true;
    stopping = new AbortController();
    $('cancel').disabled = false;
    if (focused) $('cancel').focus();
    clearResults();
    $('status').textContent = 'Converting…';
    $('status').dataset.exitCodes = '';
    const ends = [];
    const codes = [];
    try {
      const mode = $('mode').value;
      const runs = await plannedRuns();
      if (!runs.length) {
        throw new Error(mode === 'bank' ? 'no bank to convert: drop a .sf2 file first'
          : mode === 'sfz' ? 'no SFZ file to convert: drop a folder that holds .sfz files first' : 'nothing to run');
      }
      $('command').textContent = runs.map((run) => ['brumlet', ...run.args].map(quote).join(' ')).join(' ; ');
      $('command').dataset.args = JSON.stringify(runs.map((run) => run.args));
      const answers = $('answers').value;
      const stdin = answers && !answers.endsWith('\n') ? `${answers}\n` : answers;
      for (const run of runs) {
        run.written = new Set();
        const result = await brumlet.run(run.args, run.files, stdin, {
          signal: stopping.signal,
          onText: show,
          onOutput: (name, bytes) => takeOutput(run, name, bytes),
          onProgress: (done, total) => showProgress(run.args[1], done, total),
        });
        if ($('progress-row').classList.contains('on')) $('progress').value = $('progress').max;
        ends.push(exitWords(result.exitCode, mode, run.written.size > 0));
        codes.push(result.exitCode);
      }
      $('status').textContent = ends.join('; ') + (leftOut.length ? `. Not in the ZIP: ${leftOut.join('; ')}.` : '');
      $('status').dataset.exitCodes = codes.join(' ');
    } catch (error) {
      $('status').textContent = error.name === 'AbortError' ? 'Cancelled'
        : `The converter stopped: ${error.message || error}`;
    }
    showNew();
    stopping = null;
    $('convert').disabled = false;
    $('cancel').disabled = true;
    if (document.activeElement === $('cancel') || document.activeElement === document.body) $('convert').focus();
  }

  async function downloadAll() {
    const link = document.createElement('a');
    link.href = URL.createObjectURL(await zip.blob());
    link.download = 'brumlet-instruments.zip';
    link.click();
    setTimeout(() => URL.revokeObjectURL(link.href), 60000);
  }

  // A picker keeps showing what was picked; "Clear the files" empties them all.
  function picked(id, how) {
    $(id).addEventListener('change', (event) => {
      [...event.target.files].forEach((file) => addFile(file, how, file.webkitRelativePath || file.name));
      showChosen();
    });
  }

  picked('pick-wavs', 'source');
  picked('pick-folder', 'folder');
  picked('pick-names', 'names');
  picked('pick-banks', 'bank');
  $('clear').addEventListener('click', () => {
    sources.clear();
    banks.clear();
    tree.clear();
    nameFile = null;
    ignored = 0;
    for (const id of ['pick-wavs', 'pick-folder', 'pick-names', 'pick-banks']) $(id).value = '';
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

  // The converter is ready once its wasm has compiled and its worker runs; a page that cannot
  // load it says so.
  brumlet.run(['--version'], {}, '').then(() => {
    $('status').textContent = 'Ready: drop files, then Convert.';
    $('convert').disabled = false;
  }, (error) => {
    $('status').textContent = `The converter could not be loaded: ${error.message || error}`;
  });
})();
