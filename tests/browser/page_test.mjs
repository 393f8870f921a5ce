// The page in headless Chromium, served from the build's page folder over the loopback: files
// dropped in convert as the Linux program converts them (exit code, console text, the bytes of
// every .xi), no layout shift while converting, no console error, no request elsewhere; then the
// ZIP of all, the keyboard, and a 320 px wide screen. Leaves a screenshot beside the page folder.
//   node page_test.mjs PAGE_FOLDER LINUX_PROGRAM EXAMPLES_FOLDER
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import puppeteer from 'puppeteer-core';
import { differences, runLinux } from './common.mjs';

const [pageDir, linux, examples] = process.argv.slice(2);
const failures = [];
const check = (ok, what) => ok || failures.push(what);

const types = { '.html': 'text/html', '.js': 'text/javascript', '.css': 'text/css', '.wasm': 'application/wasm' };
// The page's folder, and Debian's banks under /banks/ for the runs that need a large bank.
const kBanks = '/usr/share/sounds/sf2';
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
const browser = await puppeteer.launch({ executablePath: process.env.BRUMLET_CHROMIUM, args: ['--no-sandbox'] });
try {
  const page = await browser.newPage();
  await page.setViewport({ width: 1000, height: 900 });
  page.on('console', (message) => check(message.type() !== 'error', `console error: ${message.text()}`));
  page.on('pageerror', (error) => check(false, `page error: ${error.message}`));
  page.on('request', (r) => check(/^(data|blob):/.test(r.url()) || r.url().startsWith(base), `request elsewhere: ${r.url()}`));
  page.on('response', (r) => check(r.status() < 400, `${r.status()} for ${r.url()}`));
  await page.goto(base);
  // Drops the banks served under /banks/ (each [name to drop it as, served file]) and converts
  // `presets` of them; resolves when the run has ended.
  const convertBanks = (dropped, presets) => page.evaluate(async (dropped, presets) => {
    const $ = (id) => document.getElementById(id);
    $('clear').click();
    const transfer = new DataTransfer();
    for (const [name, served] of dropped) transfer.items.add(new File([await (await fetch(`banks/${served}`)).blob()], name));
    $('drop').dispatchEvent(new DragEvent('drop', { dataTransfer: transfer, bubbles: true, cancelable: true }));
    $('mode').value = 'bank';
    $('mode').dispatchEvent(new Event('change'));
    $('presets').value = presets;
    $('convert').click();
    while ($('convert').disabled) await new Promise((resolve) => setTimeout(resolve, 20));
    return $('status').textContent;
  }, dropped, presets);
  await page.waitForFunction(() => !document.getElementById('convert').disabled, { timeout: 30000 });

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
      /Warm Pad\|0: {2}-- pad\.xi -- · 3307 8-bit values · no loop\|1: {2}size: 6 K · 3307 8-bit/],
  ];
  let outputs;
  for (const [name, files, options, shows, cards] of cases) {
    const got = await page.evaluate(async (files, { mode = 'each', out = '', answers = '' }) => {
      const $ = (id) => document.getElementById(id);
      $('clear').click();
      const dropped = new DataTransfer();
      for (const [file, hex] of Object.entries(files)) {
        dropped.items.add(new File([new Uint8Array(hex.match(/../g).map((h) => parseInt(h, 16)))], file));
      }
      $('drop').dispatchEvent(new DragEvent('drop', { dataTransfer: dropped, bubbles: true, cancelable: true }));
      $('mode').value = mode;
      $('mode').dispatchEvent(new Event('change'));
      $('out').value = out;
      $('answers').value = answers;
      $('convert').scrollIntoView();  // as a user sees it: the button, the status, the console
      const shifts = [];
      const observer = new PerformanceObserver((list) => shifts.push(...list.getEntries()));
      observer.observe({ type: 'layout-shift' });
      $('convert').click();
      while ($('convert').disabled) await new Promise((resolve) => setTimeout(resolve, 20));
      await new Promise((resolve) => requestAnimationFrame(() => requestAnimationFrame(resolve)));
      shifts.push(...observer.takeRecords());
      const outputs = {};
      for (const link of document.querySelectorAll('#cards a[download]')) {
        link.focus();  // the card's link gets its address when it is about to be used
        outputs[link.download] = [...new Uint8Array(await (await fetch(link.href)).arrayBuffer())];
      }
      return { args: JSON.parse($('command').dataset.args)[0], exitCode: Number($('status').dataset.exitCodes),
        stdout: $('console').textContent, cards: [...document.querySelectorAll('.card h3, .card li')].map((e) => e.textContent).join('|'), status: $('status').textContent, files: outputs, shifts: shifts.length };
    }, Object.fromEntries(Object.entries(files).map(([file, bytes]) => [file, bytes.toString('hex')])), options);
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
  await page.screenshot({ path: path.join(pageDir, '..', 'page-after-examples.png'), fullPage: true });

  // "Download all": a ZIP that Python's zipfile reads, its CRCs right, holding every .xi.
  const downloads = fs.mkdtempSync(path.join(os.tmpdir(), 'brumlet-zip-'));
  await (await page.createCDPSession()).send('Browser.setDownloadBehavior', { behavior: 'allow', downloadPath: downloads });
  await page.click('#download-all');
  const zip = path.join(downloads, 'brumlet-instruments.zip');
  for (let waited = 0; !fs.existsSync(zip) && waited < 10000; waited += 100) await new Promise((r) => setTimeout(r, 100));
  const unzip = spawnSync('python3', ['-c', 'import sys, zipfile, json; z = zipfile.ZipFile(sys.argv[1]); ' +
    'assert z.testzip() is None; print(json.dumps({n: z.read(n).hex() for n in z.namelist()}))', zip]);
  const zipped = unzip.status === 0 ? JSON.parse(unzip.stdout) : {};
  check(JSON.stringify(zipped) === JSON.stringify(Object.fromEntries(Object.entries(outputs)
    .map(([file, bytes]) => [file, Buffer.from(bytes).toString('hex')]))), `the ZIP: ${unzip.stderr}`);

  // Two banks: each one's outputs in a folder of the ZIP named after it; no preset: the page says so.
  if (fs.existsSync(path.join(kBanks, 'TimGM6mb.sf2'))) {
    const status = await convertBanks([['TimGM6mb.sf2', 'TimGM6mb.sf2'], ['Copy.SF2', 'TimGM6mb.sf2']], '0:0');
    fs.rmSync(zip);
    await page.click('#download-all');
    for (let waited = 0; !fs.existsSync(zip) && waited < 10000; waited += 100) await new Promise((r) => setTimeout(r, 100));
    const listed = spawnSync('python3', ['-c', 'import sys, zipfile; print("|".join(zipfile.ZipFile(sys.argv[1]).namelist()))', zip]);
    check(listed.stdout.toString().trim() === 'TimGM6mb/000-000 Piano 1.xi|Copy/000-000 Piano 1.xi',
      `two banks: the ZIP holds ${listed.stdout}${listed.stderr}`);
    check(status === 'Done (exit code 0); Done (exit code 0)', `two banks: the status reads "${status}"`);
    const none = await convertBanks([['TimGM6mb.sf2', 'TimGM6mb.sf2']], '9:9');
    check(none === 'No preset matches (exit code 254)', `no preset: the status reads "${none}"`);
  } else {
    console.log(`not checked: two banks (no ${kBanks}/TimGM6mb.sf2; Debian: timgm6mb-soundfont)`);
  }
  fs.rmSync(downloads, { recursive: true, force: true });

  // Cancel: a conversion of every preset of FluidR3_GM, stopped right after it starts, ends at
  // once as "Cancelled"; the page answers all the while, and converts again afterwards.
  if (fs.existsSync(path.join(kBanks, 'FluidR3_GM.sf2'))) {
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
      return { status: $('status').textContent, took: performance.now() - asked, gap, cards: $('cards').children.length };
    });
    check(cancel.status === 'Cancelled' && cancel.took < 1000 && cancel.cards === 0,
      `Cancel: "${cancel.status}" after ${cancel.took} ms, ${cancel.cards} cards`);
    check(cancel.gap < 250, `Cancel: the page did not answer for ${cancel.gap} ms while converting`);
  } else {
    console.log(`not checked: Cancel (no ${kBanks}/FluidR3_GM.sf2; Debian: fluid-soundfont-gm)`);
  }

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

  await page.setViewport({ width: 320, height: 700 });
  const wider = await page.evaluate(() => document.documentElement.scrollWidth - document.documentElement.clientWidth);
  check(wider <= 0, `at 320 px the page is ${wider} px wider than the screen`);
} finally {
  await browser.close();
  server.close();
}
failures.forEach((failure) => console.log(`FAIL: ${failure}`));
console.log(failures.length ? `${failures.length} failed` : 'the page converts as the Linux program does');
process.exit(failures.length ? 1 : 0);
