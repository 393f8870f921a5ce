// Plays XI instruments with the page's player (brumlet.render) and with openmpt123, and measures
// both renders the same way: the pitch (from the autocorrelation, near a given frequency), the
// period of the sample's loop, and the level at a few times while the key is held and after it
// is let go.
//
//   node tools/player_compare.mjs [--key K] [--rows R] [--hz F] FILE.xi ...
//
// prints, per file, each figure as page / openmpt123. A note is held for R rows of 0.12 s (6
// ticks at 125 BPM) and let go; the levels are in dB against a full-scale sine, openmpt123's
// measured against a sine rendered by it alike, so that its own mixing level drops out.
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import { createRequire } from 'node:module';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { xmFromXi } from './xm_module.mjs';

const kRate = 44100;
const kRowSeconds = 0.12;
const kWindow = 0.04;

/// The entry point of the page in `pageDir` (brumlet-api.js), for its render.
export function pageApi(pageDir) {
  return createRequire(import.meta.url)(path.resolve(pageDir, 'brumlet-api.js'));
}

function readWav(bytes) {
  const view = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
  for (let at = 12; at + 8 <= bytes.length;) {
    const id = String.fromCharCode(...bytes.subarray(at, at + 4));
    const size = view.getUint32(at + 4, true);
    if (id === 'data') {
      const frames = Math.floor(Math.min(size, bytes.length - at - 8) / 4);
      const mono = new Float32Array(frames);
      for (let i = 0; i < frames; ++i) {
        mono[i] = (view.getInt16(at + 8 + 4 * i, true) + view.getInt16(at + 10 + 4 * i, true)) / 65536;
      }
      return mono;
    }
    at += 8 + size + (size & 1);
  }
  return new Float32Array(0);
}

/// openmpt123's render of key `key` of the XI `xi`, held `rows` rows and let go, as one channel:
/// stereo 16-bit at 44100 Hz, linear interpolation like the page's player, no dither or ramps.
export function renderOpenmpt(xi, key, rows) {
  const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'brumlet-player-'));
  try {
    fs.writeFileSync(path.join(folder, 'note.xm'), xmFromXi(xi, [{ row: 0, key }, { row: rows, off: true }], 256));
    const run = spawnSync('openmpt123', ['--quiet', '--render', '--force', '--samplerate', String(kRate),
      '--channels', '2', '--no-float', '--dither', '0', '--filter', '2', '--ramping', '0', 'note.xm'], { cwd: folder });
    if (run.status !== 0) throw new Error(`openmpt123 failed: ${run.stderr}`);
    return readWav(new Uint8Array(fs.readFileSync(path.join(folder, 'note.xm.wav'))));
  } finally {
    fs.rmSync(folder, { recursive: true, force: true });
  }
}

/// The page's render of the same note, both sides summed and halved as readWav mixes them.
export async function renderPage(api, xi, key, rows) {
  const { left, right } = await api.render(xi, [{ key, start: 0, end: rows * kRowSeconds }], kRate);
  return left.map((value, i) => (value + right[i]) / 2);
}

export function levelDb(signal, from, to) {
  const a = Math.round(from * kRate);
  const b = Math.min(signal.length, Math.round(to * kRate));
  let sum = 0;
  for (let i = a; i < b; ++i) sum += signal[i] * signal[i];
  return 10 * Math.log10(Math.max(sum / Math.max(1, b - a), 1e-20));
}

function correlation(x, from, length, lag) {
  let xy = 0, xx = 0, yy = 0;
  for (let i = from; i < from + length; ++i) {
    xy += x[i] * x[i + lag];
    xx += x[i] * x[i];
    yy += x[i + lag] * x[i + lag];
  }
  return xx > 0 && yy > 0 ? xy / Math.sqrt(xx * yy) : 0;
}

// The lag between low and high where the correlation of `length` frames from `from` peaks,
// refined between whole frames by the parabola through the peak and its neighbours.
function peakLag(x, from, length, low, high) {
  const c = [];
  for (let lag = low - 1; lag <= high + 1; ++lag) c.push(correlation(x, from, length, lag));
  let best = low;
  for (let lag = low; lag <= high; ++lag) if (c[lag - low + 1] > c[best - low + 1]) best = lag;
  const [left, mid, right] = [c[best - low], c[best - low + 1], c[best - low + 2]];
  const curvature = left - 2 * mid + right;
  return best + (curvature < 0 ? (0.5 * (left - right)) / curvature : 0);
}

/// The pitch between `from` and `to` seconds in cents above `hz`, which must lie within a
/// semitone: one period found near it, then twice as many periods each time, as tests/
/// render_measure.cc does.
export function pitchCents(x, from, to, hz) {
  const a = Math.round(from * kRate);
  const b = Math.round(to * kRate);
  const period = kRate / hz;
  const half = Math.floor((b - a) / 2);
  let found = peakLag(x, a, half, Math.max(2, Math.floor(period / 1.06)), Math.ceil(period * 1.06));
  for (let periods = 2; periods * found + 3 < half; periods *= 2) {
    const near = Math.round(periods * found);
    found = peakLag(x, a, b - a - near - 3, near - 2, near + 2) / periods;
  }
  return 1200 * Math.log2(kRate / found / hz);
}

/// The loop's period in seconds from `from`, found within 3 % of `expected`.
export function loopSeconds(x, from, expected) {
  const lag = expected * kRate;
  const length = Math.min(Math.round(0.1 * kRate), x.length - Math.round(from * kRate) - Math.ceil(lag * 1.03) - 2);
  return peakLag(x, Math.round(from * kRate), length, Math.floor(lag * 0.97), Math.ceil(lag * 1.03)) / kRate;
}

/// How far openmpt123 mixes below the page's player: a full-scale looped sine of volume 64,
/// centred, rendered by both. The page plays it at -3.01 dB RMS.
export function openmptOffsetDb() {
  const frames = 4410;
  const xi = new Uint8Array(298 + 40 + 2 * frames);
  const view = new DataView(xi.buffer);
  [...'Extended Instrument: '].forEach((c, i) => { xi[i] = c.charCodeAt(0); });
  view.setUint16(296, 1, true);
  view.setUint32(298, 2 * frames, true);
  view.setUint32(306, 2 * frames, true);
  xi.set([64, 0, 0x11, 128, 0], 310);  // volume, finetune, forward loop 16-bit, centre, note
  let previous = 0;
  for (let i = 0; i < frames; ++i) {
    const value = Math.round(32767 * Math.sin((2 * Math.PI * i) / 100));
    view.setInt16(338 + 2 * i, value - previous, true);
    previous = value;
  }
  return levelDb(renderOpenmpt(xi, 48, 4), 0.1, 0.4) - 20 * Math.log10(Math.SQRT1_2);
}

/// The step of `key`'s sample in frames of the sample per second of output, from the header.
function framesPerSecond(xi, key) {
  const sample = xi[66 + key];
  const at = 298 + 40 * sample;
  const note = key + ((xi[at + 16] << 24) >> 24);
  const finetune = (xi[at + 13] << 24) >> 24;
  return { sample: at, rate: 8363 * 2 ** ((note - 48 + (finetune & ~7) / 128) / 12) };
}

/// Both renders of one note and their figures: pitch (cents above `hz`, when given), the loop's
/// period (when the sample loops) and the levels at `times`, each [page, openmpt123].
export async function compareNote(api, xi, key, rows, hz, offsetDb, times) {
  const page = await renderPage(api, xi, key, rows);
  const openmpt = renderOpenmpt(xi, key, rows);
  const held = rows * kRowSeconds;
  const figures = { levels: [] };
  if (hz) figures.pitch = [pitchCents(page, 0.02, held, hz), pitchCents(openmpt, 0.02, held, hz)];
  const { sample, rate } = framesPerSecond(xi, key);
  const view = new DataView(xi.buffer, xi.byteOffset);
  const unit = xi[sample + 14] & 0x10 ? 2 : 1;
  const loopFrames = view.getUint32(sample + 8, true) / unit;
  const loopStart = view.getUint32(sample + 4, true) / unit;
  if (xi[sample + 14] & 3 && loopFrames > 0) {
    // Two periods into the loop, where both players repeat it.
    const expected = (loopFrames * ((xi[sample + 14] & 3) === 2 ? 2 : 1)) / rate;
    const from = loopStart / rate + expected;
    if (from + 2.2 * expected < held) figures.loop = [loopSeconds(page, from, expected), loopSeconds(openmpt, from, expected)];
  }
  for (const time of times || [0.05, held / 2, held + 0.1, held + 0.4]) {
    figures.levels.push([time, levelDb(page, time, time + kWindow), levelDb(openmpt, time, time + kWindow) - offsetDb]);
  }
  return figures;
}

if (process.argv[1] === fileURLToPath(import.meta.url)) {
  const args = process.argv.slice(2);
  const option = (name, fallback) => {
    const at = args.indexOf(name);
    return at < 0 ? fallback : Number(args.splice(at, 2)[1]);
  };
  const key = option('--key', 60);
  const rows = option('--rows', 8);
  const hz = option('--hz', 0);
  const api = pageApi(path.join(path.dirname(fileURLToPath(import.meta.url)), '..', 'web'));
  const offset = openmptOffsetDb();
  console.log(`openmpt123 mixes ${(-offset).toFixed(2)} dB below the page's player`);
  for (const file of args) {
    const f = await compareNote(api, new Uint8Array(fs.readFileSync(file)), key, rows, hz, offset);
    const pair = ([a, b], digits = 2) => `${a.toFixed(digits)} / ${b.toFixed(digits)}`;
    console.log(`${file}: key ${key}${f.pitch ? `, pitch ${pair(f.pitch)} cents` : ''}` +
      `${f.loop ? `, loop ${pair(f.loop.map((s) => s * 1000), 3)} ms` : ''}, levels ` +
      f.levels.map(([time, a, b]) => `${time.toFixed(2)} s ${pair([a, b], 1)} dB`).join(', '));
  }
}
