// Times the page against the Linux build on the same machine: a 64 MiB stereo WAV, 200 small WAVs,
// every preset of TimGM6mb and of FluidR3_GM (Debian's banks), best of 5 each; and the page's
// first load, bytes and time until it can convert.
//
//   node tools/page_speed.mjs PAGE_FOLDER LINUX_PROGRAM [--runs N] [--quick]
//
// The page runs in headless Chromium (tests/browser's puppeteer-core, npm ci there; the chromium
// of BRUMLET_CHROMIUM or the PATH), its files dropped on it as a user drops them, and is timed
// from the click on Convert until the run has ended and every card is on the page; the Linux
// program by its wall time in a fresh folder, each output deleted between runs. --quick times
// the bundled examples once, which checks that the tool still works.
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));
const args = process.argv.slice(2);
const flag = (name) => (args.includes(name) ? (args.splice(args.indexOf(name), 1), true) : false);
const value = (name, fallback) => (args.includes(name) ? Number(args.splice(args.indexOf(name), 2)[1]) : fallback);
const quick = flag('--quick');
const runs = value('--runs', quick ? 1 : 5);
const [pageDir, linux] = args.map((arg) => path.resolve(arg));
const { default: puppeteer } = await import(path.join(here, '..', 'tests', 'browser', 'node_modules', 'puppeteer-core', 'lib', 'esm', 'puppeteer', 'puppeteer-core.js'));

// A 16-bit PCM WAV of `frames` frames of noise (stereo) or a sine (mono).
function wav(channels, rate, frames) {
  const data = Buffer.alloc(frames * channels * 2);
  let seed = 1;
  for (let i = 0; i < frames * channels; ++i) {
    seed = (Math.imul(seed, 1103515245) + 12345) >>> 0;
    data.writeInt16LE(channels === 2 ? (seed >>> 16) - 32768 : Math.round(12000 * Math.sin(i / 8)), 2 * i);
  }
  const head = Buffer.alloc(44);
  head.write('RIFF', 0); head.writeUInt32LE(36 + data.length, 4); head.write('WAVEfmt ', 8);
  head.writeUInt32LE(16, 16); head.writeUInt16LE(1, 20); head.writeUInt16LE(channels, 22);
  head.writeUInt32LE(rate, 24); head.writeUInt32LE(rate * channels * 2, 28); head.writeUInt16LE(channels * 2, 32);
  head.writeUInt16LE(16, 34); head.write('data', 36); head.writeUInt32LE(data.length, 40);
  return Buffer.concat([head, data]);
}

const work = fs.mkdtempSync(path.join(os.tmpdir(), 'brumlet-speed-'));
const banks = '/usr/share/sounds/sf2';
// name, the files (in `work`), the page's mode, the command line.
const cases = [];
const folder = (name, files) => {
  fs.mkdirSync(path.join(work, name));
  for (const [file, bytes] of Object.entries(files)) fs.writeFileSync(path.join(work, name, file), bytes);
  return Object.keys(files);
};
if (quick) {
  const examples = path.join(here, '..', 'examples');
  const files = Object.fromEntries(fs.readdirSync(examples).filter((f) => f.endsWith('.wav')).map((f) => [f, fs.readFileSync(path.join(examples, f))]));
  cases.push(['the examples', 'examples', folder('examples', files), 'each', ['*']]);
} else {
  cases.push(['a 64 MiB stereo WAV', 'big', folder('big', { 'big.wav': wav(2, 44100, 16 << 20) }), 'each', ['*']]);
  cases.push(['200 small WAVs', 'small', folder('small', Object.fromEntries(Array.from({ length: 200 },
    (_, i) => [`s${String(i).padStart(3, '0')}.wav`, wav(1, 22050, 22050)]))), 'each', ['*']]);
  for (const bank of ['TimGM6mb.sf2', 'FluidR3_GM.sf2']) {
    if (!fs.existsSync(path.join(banks, bank))) continue;
    fs.mkdirSync(path.join(work, bank));
    fs.symlinkSync(path.join(banks, bank), path.join(work, bank, bank));
    cases.push([`${bank} whole`, bank, [bank], 'bank', ['--sf2', bank]]);
  }
}

function timeLinux(name, commandLine) {
  let best = Infinity;
  for (let run = 0; run < runs; ++run) {
    const dir = path.join(work, name);
    for (const file of fs.readdirSync(dir)) if (file.toLowerCase().endsWith('.xi')) fs.rmSync(path.join(dir, file));
    const start = process.hrtime.bigint();
    const done = spawnSync(linux, commandLine, { cwd: dir, stdio: 'ignore' });
    const seconds = Number(process.hrtime.bigint() - start) / 1e9;
    if (done.status !== 0) throw new Error(`${linux} ${commandLine.join(' ')}: exit code ${done.status}`);
    best = Math.min(best, seconds);
  }
  return best;
}

const types = { '.html': 'text/html', '.js': 'text/javascript', '.css': 'text/css', '.wasm': 'application/wasm' };
const server = http.createServer((request, response) => {
  const url = decodeURIComponent(new URL(request.url, 'http://host').pathname);
  const file = url.startsWith('/files/') ? path.join(work, url.slice(7)) : path.join(pageDir, url.replace(/\/$/, '/index.html'));
  fs.readFile(file, (error, data) => {
    response.writeHead(error ? 404 : 200, { 'content-type': types[path.extname(file)] || 'application/octet-stream' });
    response.end(error ? undefined : data);
  });
});
await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
const base = `http://127.0.0.1:${server.address().port}/`;
const browser = await puppeteer.launch({ executablePath: process.env.BRUMLET_CHROMIUM || '/usr/bin/chromium', args: ['--no-sandbox'] });
try {
  // First load, with nothing cached: what the page fetches and when Convert can be pressed.
  const context = await browser.createBrowserContext();
  const page = await context.newPage();
  await page.setViewport({ width: 1000, height: 900 });
  const cdp = await page.createCDPSession();
  await cdp.send('Network.enable');
  await cdp.send('Network.setCacheDisabled', { cacheDisabled: true });
  let loaded = 0;
  cdp.on('Network.loadingFinished', (event) => { loaded += event.encodedDataLength; });
  await page.goto(base);
  await page.waitForFunction(() => !document.getElementById('convert').disabled, { timeout: 60000 });
  const ready = await page.evaluate(() => performance.now());
  console.log(`first load: ${(loaded / 1024).toFixed(0)} KiB fetched, ready to convert after ${(ready / 1000).toFixed(2)} s`);

  console.log(`best of ${runs}: page / Linux`);
  for (const [name, dir, files, mode, commandLine] of cases) {
    const times = await page.evaluate(async (dir, files, mode, runs) => {
      const $ = (id) => document.getElementById(id);
      $('clear').click();
      const dropped = new DataTransfer();
      for (const file of files) dropped.items.add(new File([await (await fetch(`files/${dir}/${file}`)).blob()], file));
      $('drop').dispatchEvent(new DragEvent('drop', { dataTransfer: dropped, bubbles: true, cancelable: true }));
      $('mode').value = mode;
      $('mode').dispatchEvent(new Event('change'));
      $('presets').value = '';
      const times = [];
      for (let run = 0; run < runs; ++run) {
        const start = performance.now();
        $('convert').click();
        while ($('convert').disabled) await new Promise((resolve) => setTimeout(resolve, 5));
        times.push((performance.now() - start) / 1000);
        if (!$('status').textContent.startsWith('Done')) throw new Error($('status').textContent);
        await new Promise((resolve) => setTimeout(resolve, 200));
      }
      return times;
    }, dir, files, mode, runs);
    const native = timeLinux(dir, commandLine);
    const best = Math.min(...times);
    console.log(`${name}: ${best.toFixed(3)} s / ${native.toFixed(3)} s = ${(best / native).toFixed(1)} x ` +
      `(the page's first run ${times[0].toFixed(3)} s)`);
  }
} finally {
  await browser.close();
  server.close();
  fs.rmSync(work, { recursive: true, force: true });
}
