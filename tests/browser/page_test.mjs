// The page in headless Chromium, served from the build's page folder over the loopback: files
// dropped in convert as the Linux program converts them (exit code, console text, the bytes of
// every .xi), no layout shift while converting, no console error, no request elsewhere; the ZIP of
// all, its names and folders; Cancel and a whole FluidR3_GM; axe-core's findings in light and
// dark; the whole flow by keyboard alone, the card's keyboard playing; 1280 and 320 px wide
// screens. Leaves a screenshot beside the page folder.
//   node page_test.mjs PAGE_FOLDER LINUX_PROGRAM EXAMPLES_FOLDER
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import { createRequire } from 'node:module';
import os from 'node:os';
import path from 'node:path';
import puppeteer from 'puppeteer-core';
import { differences, runLinux } from './common.mjs';

const [pageDir, linux, examples] = process.argv.slice(2);
const failures = [];
const check = (ok, what) => ok || failures.push(what);
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// The page's folder, and Debian's banks under /banks/ for the runs that need a large bank.
const kBanks = '/usr/share/sounds/sf2';
const hasBank = (bank) => fs.existsSync(path.join(kBanks, bank)) ||
  !console.log(`not checked: what needs ${kBanks}/${bank} (Debian: fluid-soundfont-gm, timgm6mb-soundfont)`);
const types = { '.html': 'text/html', '.js': 'text/javascript', '.css': 'text/css', '.wasm': 'application/wasm' };
const server = http.createServer((request, response) => {
  const url = new URL(request.url, 'http://host').pathname;
  const file = url.startsWith('/banks/') ? path.join(kBanks, path.basename(url)) : path.join(pageDir, url.replace(/\/$/, '/index.html'));
  fs.readFile(file, (error, data) => {
    response.writeHead(error ? 404 : 200, { 'content-type': types[path.extname(file)] || 'application/octet-stream' });
    response.end(error ? undefined : data);
  });
});
await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
const base = `http://127.0.0.1:${server.address().port}/`;
const browser = await puppeteer.launch({ executablePath: process.env.BRUMLET_CHROMIUM, args: ['--no-sandbox', '--autoplay-policy=no-user-gesture-required'] });
const downloads = fs.mkdtempSync(path.join(os.tmpdir(), 'brumlet-page-'));
try {
  const page = await browser.newPage();
  await page.setViewport({ width: 1000, height: 900 });
  page.on('console', (message) => check(message.type() !== 'error', `console error: ${message.text()}`));
  page.on('pageerror', (error) => check(false, `page error: ${error.message}`));
  page.on('request', (r) => check(/^(data|blob):/.test(r.url()) || r.url().startsWith(base), `request elsewhere: ${r.url()}`));
  page.on('response', (r) => check(r.status() < 400, `${r.status()} for ${r.url()}`));
  await (await page.createCDPSession()).send('Browser.setDownloadBehavior', { behavior: 'allow', downloadPath: downloads });
  const ready = () => page.waitForFunction(() => !document.getElementById('convert').disabled, { timeout: 30000 });
  await page.goto(base);
  await ready();

  // axe-core's serious and critical findings, in light and in dark mode.
  const axeSource = fs.readFileSync(createRequire(import.meta.url).resolve('axe-core/axe.min.js'), 'utf8');
  async function axe(when) {
    for (const scheme of ['light', 'dark']) {
      await page.emulateMediaFeatures([{ name: 'prefers-color-scheme', value: scheme }]);
      const found = await page.evaluate(async (source) => {
        if (!window.axe) new Function(source)();
        const { violations } = await window.axe.run(document, { resultTypes: ['violations'] });
        return violations.filter((v) => ['serious', 'critical'].includes(v.impact))
          .map((v) => `${v.id} (${v.impact}): ${v.nodes.slice(0, 3).map((n) => n.target.join(' ')).join(', ')}`);
      }, axeSource);
      found.forEach((finding) => check(false, `axe, ${when}, ${scheme}: ${finding}`));
    }
    await page.emulateMediaFeatures([]);
  }
  await axe('before a conversion');

  // Drops `files` ({name: {hex} or {bank}, a bank served under /banks/}) with `options`, converts
  // and resolves to what the page shows when the run has ended.
  const convert = (files, options) => page.evaluate(async (files, { mode = 'each', out = '', answers = '', presets = '' }) => {
    const $ = (id) => document.getElementById(id);
    $('clear').click();
    const dropped = new DataTransfer();
    for (const [name, { hex, bank }] of Object.entries(files)) {
      const bytes = bank ? await (await fetch(`banks/${bank}`)).blob() : new Uint8Array(hex.match(/../g).map((h) => parseInt(h, 16)));
      dropped.items.add(new File([bytes], name));
    }
    $('drop').dispatchEvent(new DragEvent('drop', { dataTransfer: dropped, bubbles: true, cancelable: true }));
    $('mode').value = mode;
    $('mode').dispatchEvent(new Event('change'));
    Object.assign($('out'), { value: out });
    Object.assign($('answers'), { value: answers });
    Object.assign($('presets'), { value: presets });
    $('convert').scrollIntoView();  // as a user sees it: the button, the status, the console
    const shifts = [];
    const observer = new PerformanceObserver((list) => shifts.push(...list.getEntries()));
    observer.observe({ type: 'layout-shift' });
    $('convert').click();
    while ($('convert').disabled) await new Promise((resolve) => setTimeout(resolve, 20));
    await new Promise((resolve) => requestAnimationFrame(() => requestAnimationFrame(resolve)));
    shifts.push(...observer.takeRecords());
    const outputs = {};
    for (const link of [...document.querySelectorAll('#cards a[download]')].slice(0, 20)) {
      link.focus();  // the card's link gets its address when it is about to be used
      outputs[link.download] = [...new Uint8Array(await (await fetch(link.href)).arrayBuffer())];
    }
    return { args: JSON.parse($('command').dataset.args || '[[]]')[0], exitCode: Number($('status').dataset.exitCodes),
      stdout: $('console').textContent, cards: [...document.querySelectorAll('.card h3, .card li')].map((e) => e.textContent).join('|'),
      count: $('cards').children.length, status: $('status').textContent, held: $('held').textContent,
      progress: $('progress-text').textContent, files: outputs, shifts: shifts.length };
  }, Object.fromEntries(Object.entries(files).map(([name, bytes]) => [name, Buffer.isBuffer(bytes) ? { hex: bytes.toString('hex') } : bytes])), options);

  // "Download all": the ZIP's entries by name, read by Python's zipfile, which checks the CRCs.
  async function downloadZip() {
    const zip = path.join(downloads, 'brumlet-instruments.zip');
    fs.rmSync(zip, { force: true });
    await page.click('#download-all');
    for (let waited = 0; !fs.existsSync(zip) && waited < 10000; waited += 100) await sleep(100);
    const unzip = spawnSync('python3', ['-c', 'import sys, zipfile, json; z = zipfile.ZipFile(sys.argv[1]); ' +
      'assert z.testzip() is None; print(json.dumps({n: z.read(n).hex() for n in z.namelist()}))', zip]);
    check(unzip.status === 0, `the ZIP: ${unzip.stderr}`);
    return unzip.status === 0 ? JSON.parse(unzip.stdout) : {};
  }

  const read = (name) => fs.readFileSync(path.join(examples, name));
  const wavs = Object.fromEntries(fs.readdirSync(examples).filter((f) => f.endsWith('.wav')).map((f) => [f, read(f)]));
  const names = Buffer.from('INSTR: %ASK\nSMP00: %ASK\nSMP01: %XI\nSMP02: %ask\n');
  // name, files dropped, options, what the console and the cards must show. The examples come
  // last: the checks after the table look at their cards.
  const cases = [
    ['a kit', wavs, { mode: 'kit', out: 'drums.xi' }, /slot 3/, /^drums\|0: bell24\.wav/],
    ['a name file with %ASK answers', { ...wavs, 'names.txt': names }, { answers: 'Lead\nLeft\n%wav\nPad' }, /enter sample 2 name: /,
      /^Lead\|0: Left · 8820 16-bit values · no loop\|1: bell24\.xi\|2: bell24\.wav\|Pad\|/],
    ['a file that is not a WAV', { 'notes.wav': Buffer.from('These are my notes, not a sound: a text file that was named .wav by mistake.\n') }, {}, /notes\.wav: not a standard WAV!/, /^$/],
    ['the examples', wavs, {}, /pluck\.wav {2}-> {2}pluck\.xi/,
      /Warm Pad\|0: {2}-- pad\.xi -- · 3307 8-bit values · no loop\|1: {2}size: 6 K · 3307 8-bit values · no loop\|2: {2}loop: none\|/],
  ];
  let outputs;
  for (const [name, files, options, shows, cards] of cases) {
    const got = await convert(files, options);
    got.files = Object.fromEntries(Object.entries(got.files).map(([file, bytes]) => [file, Uint8Array.from(bytes)]));
    // The page keeps the name file in a folder of its own; %ASK answers end in a line end.
    const placed = Object.fromEntries(Object.entries(files).map(([file, bytes]) => [file.endsWith('.txt') ? `names/${file}` : file, bytes]));
    const want = runLinux(linux, got.args, placed, options.answers ? `${options.answers}\n` : '');
    want.files = Object.fromEntries(Object.entries(want.files).filter(([file]) => !placed[file]));
    differences(got, want).forEach((difference) => check(false, `${name}: ${difference}`));
    check(shows.test(got.stdout), `${name}: the console does not show ${shows}:\n${got.stdout}`);
    check(cards.test(got.cards), `${name}: the cards do not show ${cards}:\n${got.cards}`);
    check(got.status.includes(`exit code ${want.exitCode}`), `${name}: the status reads "${got.status}"`);
    check(got.shifts === 0, `${name}: ${got.shifts} layout shifts while converting`);
    outputs = got.files;
  }
  await page.evaluate(() => document.activeElement.blur());
  await page.screenshot({ path: path.join(pageDir, '..', 'page-after-examples.png'), fullPage: true });
  await axe('after a conversion');
  const zipped = await downloadZip();
  check(JSON.stringify(zipped) === JSON.stringify(Object.fromEntries(Object.entries(outputs)
    .map(([file, bytes]) => [file, Buffer.from(bytes).toString('hex')]))), 'the ZIP does not hold the examples\' outputs');

  // Names: one with a folder is refused for a kit; one that Windows would read as a path is
  // plain in the ZIP.
  const outside = await convert(wavs, { mode: 'kit', out: '../evil.xi' });
  check(/needs a name without a folder/.test(outside.status) && !outside.count, `a kit named ../evil.xi: "${outside.status}"`);
  await convert({ 'C:\\Temp\\evil.wav': wavs['kick.wav'] }, {});
  check(Object.keys(await downloadZip()).join() === 'C__Temp_evil.xi', 'a source named C:\\Temp\\evil.wav: not C__Temp_evil.xi in the ZIP');

  // SFZ: a library picked as a folder (a piano whose samples sit in a subfolder named with "\"
  // and in another case, a kit of 18 keys through an include, unrelated WAVs and a large file)
  // converts one run per SFZ folder, as the Linux program converts the same folder, into a
  // folder of the ZIP each; the page reads, and hands the worker, nothing but the SFZ texts and
  // what they name.
  {
    const library = path.join(downloads, 'library');
    const write = (name, bytes) => {
      fs.mkdirSync(path.dirname(path.join(library, name)), { recursive: true });
      fs.writeFileSync(path.join(library, name), bytes);
    };
    const wav = (frames, step) => {  // 16-bit mono, 22050 Hz
      const b = Buffer.alloc(44 + 2 * frames);
      b.write('RIFF', 0);
      [[4, 36 + 2 * frames], [16, 16], [24, 22050], [28, 44100], [40, 2 * frames]].forEach(([at, v]) => b.writeUInt32LE(v, at));
      b.write('WAVEfmt ', 8);
      [[20, 1], [22, 1], [32, 2], [34, 16]].forEach(([at, v]) => b.writeUInt16LE(v, at));
      b.write('data', 36);
      for (let i = 0; i < frames; ++i) b.writeInt16LE(Math.round(9000 * Math.sin(i * step)), 44 + 2 * i);
      return b;
    };
    const drums = Array.from({ length: 18 }, (_, i) => `Lib/Drums/d${i}.wav`);
    drums.forEach((name, i) => write(name, wav(300 + 40 * i, 0.1 + 0.05 * i)));
    write('Lib/Drums/Kit.sfz', '<group> ampeg_release=0.2\n#include "REGIONS.txt"\n');
    write('Lib/Drums/regions.txt', drums.map((_, i) => `<region> key=${36 + i} sample=d${i}.wav\n`).join(''));
    write('Lib/Piano/Piano.sfz', '#define $NOTE C4\n<control> default_path=SAMPLES\\\n<region> sample=piano $NOTE.wav ' +
      'lokey=40 // above A0\n<control>\n<region> sample=samples\\Low\\A0.wav hikey=39 pitch_keycenter=21\n');
    write('Lib/Piano/samples/Piano C4.wav', wav(2000, 0.05));
    write('Lib/Piano/samples/low/a0.wav', wav(3000, 0.01));
    ['Lib/Piano/samples/Piano G4.wav', 'Lib/Drums/unused.wav', 'Lib/Other/loop.wav'].forEach((name) => write(name, wav(500, 0.2)));
    write('Lib/big.bin', '');
    fs.truncateSync(path.join(library, 'Lib/big.bin'), 1 << 30);
    const texts = ['Lib/Drums/Kit.sfz', 'Lib/Drums/regions.txt', 'Lib/Piano/Piano.sfz'];
    const needed = [...texts, ...drums, 'Lib/Piano/samples/Piano C4.wav', 'Lib/Piano/samples/low/a0.wav'].sort();
    await page.evaluate(() => {  // every read of a file's bytes in the page, every file sent to the worker
      document.getElementById('clear').click();
      Object.assign(window, { readsSeen: [], filesSent: [] });
      for (const method of ['arrayBuffer', 'text', 'stream', 'slice']) {
        const original = Blob.prototype[method];
        Blob.prototype[method] = function (...args) { readsSeen.push(this.webkitRelativePath || this.name); return original.apply(this, args); };
      }
      const post = Worker.prototype.postMessage;
      Worker.prototype.postMessage = function (data, ...rest) {
        if (data.type === 'run') filesSent.push(...Object.keys(data.files));
        return post.call(this, data, ...rest);
      };
    });
    await (await page.$('#pick-folder')).uploadFile(path.join(library, 'Lib'));
    await page.waitForFunction(() => document.getElementById('mode').value === 'sfz', { timeout: 5000 }).catch(() => check(false, 'SFZ: the mode is not SFZ'));
    const got = await page.evaluate(async () => {
      const $ = (id) => document.getElementById(id);
      $('convert').click();
      while ($('convert').disabled) await new Promise((resolve) => setTimeout(resolve, 20));
      return { args: JSON.parse($('command').dataset.args), codes: $('status').dataset.exitCodes, stdout: $('console').textContent,
        cards: $('cards').children.length, reads: readsSeen, sent: [...new Set(filesSent)].sort() };
    });
    const want = got.args.map((args) => {  // the Linux program over the library itself, linked in
      const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'brumlet-linux-'));
      fs.symlinkSync(path.join(library, 'Lib'), path.join(folder, 'Lib'));
      const run = spawnSync(linux, args, { cwd: folder, env: { ...process.env, LC_ALL: 'C' } });
      const files = fs.readdirSync(folder).filter((name) => name !== 'Lib')
        .map((name) => [`${path.dirname(args[1])}/${name}`, fs.readFileSync(path.join(folder, name)).toString('hex')]);
      fs.rmSync(folder, { recursive: true });
      return { code: run.status, stdout: run.stdout.toString(), files };
    });
    const wantFiles = Object.fromEntries(want.flatMap((run) => run.files).sort());
    check(JSON.stringify(got.args) === '[["--sfz","Lib/Drums/*.[sS][fF][zZ]"],["--sfz","Lib/Piano/*.[sS][fF][zZ]"]]', `SFZ: the runs are ${JSON.stringify(got.args)}`);
    check(want.every((run) => run.code === 0) && got.codes === '0 0', `SFZ: exit codes ${got.codes}, Linux ${want.map((run) => run.code)}`);
    check(got.stdout === want.map((run) => run.stdout).join(''), `SFZ: console text:\n${got.stdout}\n--- Linux:\n${want.map((run) => run.stdout).join('')}`);
    check(JSON.stringify(Object.fromEntries(Object.entries(await downloadZip()).sort())) === JSON.stringify(wantFiles) &&
      got.cards === Object.keys(wantFiles).length, `SFZ: ${got.cards} cards; the ZIP is not the Linux program's ${Object.keys(wantFiles)}`);
    check(got.reads.every((name) => texts.includes(name)), `SFZ: the page read ${got.reads}`);
    check(got.sent.join('|') === needed.join('|'), `SFZ: the worker was given ${got.sent}`);
  }

  // Banks: two, each in a folder of the ZIP named after it; no preset chosen matches.
  if (hasBank('TimGM6mb.sf2')) {
    const two = await convert({ 'TimGM6mb.sf2': { bank: 'TimGM6mb.sf2' }, 'Copy.SF2': { bank: 'TimGM6mb.sf2' } }, { mode: 'bank', presets: '0:0' });
    check(Object.keys(await downloadZip()).join('|') === 'TimGM6mb/000-000 Piano 1.xi|Copy/000-000 Piano 1.xi', 'two banks: not a folder each in the ZIP');
    check(two.status === 'Done (exit code 0); Done (exit code 0)', `two banks: the status reads "${two.status}"`);
    const none = await convert({ 'TimGM6mb.sf2': { bank: 'TimGM6mb.sf2' } }, { mode: 'bank', presets: '9:9' });
    check(none.status === 'No preset matches (exit code 254)', `no preset: the status reads "${none.status}"`);
  }

  // FluidR3_GM: a run cancelled right after it starts ends at once as "Cancelled", the page
  // answering all the while; then every preset converts, with progress, and the page says how
  // much it holds.
  if (hasBank('FluidR3_GM.sf2')) {
    const cancel = await page.evaluate(async () => {
      const $ = (id) => document.getElementById(id);
      const bank = new File([await (await fetch('banks/FluidR3_GM.sf2')).blob()], 'FluidR3_GM.sf2');
      $('clear').click();
      const dropped = new DataTransfer();
      dropped.items.add(bank);
      $('drop').dispatchEvent(new DragEvent('drop', { dataTransfer: dropped, bubbles: true, cancelable: true }));
      $('mode').value = 'bank';
      $('mode').dispatchEvent(new Event('change'));
      $('presets').value = '';
      let gap = 0;
      let last = performance.now();
      const beat = setInterval(() => { gap = Math.max(gap, performance.now() - last); last = performance.now(); }, 10);
      $('convert').click();
      while (!$('console').textContent.includes('Processing')) await new Promise((resolve) => setTimeout(resolve, 5));
      const asked = performance.now();
      $('cancel').click();
      while ($('convert').disabled) await new Promise((resolve) => setTimeout(resolve, 5));
      clearInterval(beat);
      return { status: $('status').textContent, took: performance.now() - asked, gap };
    });
    check(cancel.status === 'Cancelled' && cancel.took < 1000, `Cancel: "${cancel.status}" after ${cancel.took} ms`);
    check(cancel.gap < 250, `Cancel: the page did not answer for ${cancel.gap} ms while converting`);
    const whole = await convert({ 'FluidR3_GM.sf2': { bank: 'FluidR3_GM.sf2' } }, { mode: 'bank' });
    // What the Linux program says the bank's files hold: "total: 189 presets, 282 files, 364.4 MB".
    const listed = spawnSync(linux, ['--sf2', path.join(kBanks, 'FluidR3_GM.sf2'), '--list']).stdout.toString();
    const [, presets, files, megabytes] = listed.match(/total: (\d+) presets, (\d+) files, ([\d.]+) MB/);
    check(whole.status === 'Done (exit code 0)' && whole.count === Number(files) &&
      whole.progress === `FluidR3_GM.sf2: ${presets} of ${presets} presets` &&
      whole.held === `The page holds ${files} instruments, ${megabytes} MB.`, `FluidR3_GM whole: ${whole.status}, ${whole.count} cards, ${whole.progress}, ${whole.held}`);
  }

  // By keyboard alone, on a fresh page: pick the examples (a hidden file among them is passed
  // over), convert, take the ZIP, play a card's keyboard.
  await page.goto(base);
  await ready();
  const focusOn = async (test, what) => {
    for (let i = 0; i < 60; ++i) {
      await page.keyboard.press('Tab');
      if (await page.evaluate(test)) return true;
    }
    return check(false, `Tab never reaches ${what}`);
  };
  const hidden = path.join(downloads, '.hidden.wav');
  fs.copyFileSync(path.join(examples, 'kick.wav'), hidden);
  await focusOn(() => document.activeElement.id === 'pick-wavs', 'the WAV picker');
  const [chooser] = await Promise.all([page.waitForFileChooser(), page.keyboard.press('Space')]);
  await chooser.accept([...Object.keys(wavs).map((f) => path.join(examples, f)), hidden]);
  const chosen = await page.evaluate(() => [document.getElementById('chosen').textContent, document.getElementById('pick-wavs').files.length]);
  check(chosen[0] === '4 sources: bell24.wav, kick.wav, pad.wav, pluck.wav.' && chosen[1] === 5, `picked: "${chosen[0]}", the picker shows ${chosen[1]} files`);
  await focusOn(() => document.activeElement.id === 'convert', 'Convert');
  await page.keyboard.press('Enter');
  await page.waitForFunction(() => document.getElementById('status').textContent.startsWith('Done'), { timeout: 30000 });
  check(await page.evaluate(() => document.activeElement.id === 'convert'), 'after Convert the focus is not on Convert');
  await focusOn(() => document.activeElement.id === 'download-all', 'Download all');
  const zip = path.join(downloads, 'brumlet-instruments.zip');
  fs.rmSync(zip, { force: true });
  await page.keyboard.press('Enter');
  for (let waited = 0; !fs.existsSync(zip) && waited < 10000; waited += 100) await sleep(100);
  check(fs.existsSync(zip), 'Download all by keyboard gives no ZIP');
  await focusOn(() => document.activeElement.classList.contains('piano'), 'a card\'s keyboard');
  await page.keyboard.down('KeyZ');
  const sounding = await page.waitForFunction(() => Number(document.activeElement.dataset.sounding) > 0, { timeout: 5000 }).catch(() => false);
  check(sounding, 'the card\'s keyboard does not sound with Z');
  await page.keyboard.up('KeyZ');
  await page.keyboard.press('ArrowRight');
  check(await page.evaluate(() => document.activeElement.getAttribute('aria-label').endsWith('keys C-5 to B-6')),
    'ArrowRight does not shift the card\'s keyboard an octave up');

  // Tab alone reaches every control that can be used now.
  const controls = await page.$$eval('input, select, textarea, button, a[href]', (all) =>
    all.filter((e) => !e.disabled && e.offsetParent).map((e) => e.id || e.textContent));
  await page.evaluate(() => document.activeElement.blur());
  const reached = new Set();
  for (let i = 0; i < controls.length + 5; ++i) {
    await page.keyboard.press('Tab');
    reached.add(await page.evaluate(() => document.activeElement.id || document.activeElement.textContent));
  }
  controls.filter((c) => !reached.has(c)).forEach((c) => check(false, `Tab never reaches "${c}"`));

  // At 1280 px the mode box shows each choice whole; at 320 px nothing scrolls sideways.
  await page.setViewport({ width: 1280, height: 800 });
  const cut = await page.evaluate(() => {  // narrower than it is with room to spare
    const select = document.getElementById('mode');
    const free = Object.assign(select.cloneNode(true), { id: '' });
    free.style.cssText = 'position: absolute; width: auto; max-width: none';
    document.body.append(free);
    const width = free.offsetWidth;
    free.remove();
    return select.offsetWidth < width;
  });
  check(!cut, 'at 1280 px the mode box cuts its text');
  await page.setViewport({ width: 320, height: 700 });
  const wider = await page.evaluate(() => document.documentElement.scrollWidth - document.documentElement.clientWidth);
  check(wider <= 0, `at 320 px the page is ${wider} px wider than the screen`);
} finally {
  await browser.close();
  server.close();
  fs.rmSync(downloads, { recursive: true, force: true });
}
failures.forEach((failure) => console.log(`FAIL: ${failure}`));
console.log(failures.length ? `${failures.length} failed` : 'the page converts as the Linux program does');
process.exit(failures.length ? 1 : 0);
