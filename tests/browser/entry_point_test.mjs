// brumlet.run under Node against the Linux program on generated cases: every mode, WAVs of every
// sample format (compressed ones too) with random data, rates, loops and titles, some cut short or
// without data, name files of random tokens, %ASK answers, small banks with random numbers. Both must give the same exit code, console text and files.
// BRUMLET_CASES (300) and BRUMLET_SEED (24) choose the cases; a failure names its case's number.
//   node entry_point_test.mjs PAGE_FOLDER LINUX_PROGRAM
import { createRequire } from 'node:module';
import path from 'node:path';
import { differences, runLinux } from './common.mjs';

const [pageDir, linux] = process.argv.slice(2);
const brumlet = createRequire(import.meta.url)(path.resolve(pageDir, 'brumlet-api.js'));
const count = Number(process.env.BRUMLET_CASES || 300);
let seed = Number(process.env.BRUMLET_SEED || 24);

const random = () => {  // mulberry32: the same cases on every machine
  seed = (seed + 0x6d2b79f5) | 0;
  let t = Math.imul(seed ^ (seed >>> 15), 1 | seed);
  t ^= t + Math.imul(t ^ (t >>> 7), 61 | t);
  return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
};
const below = (n) => Math.floor(random() * n);
const pick = (list) => list[below(list.length)];
const bytes = (n) => Uint8Array.from({ length: n }, () => below(256));
const le = (size, value) => { const b = Buffer.alloc(size); b.writeUIntLE(value >>> 0, 0, Math.min(size, 6)); return b; };
const chunk = (id, body) => Buffer.concat([Buffer.from(id), le(4, body.length), body, Buffer.alloc(body.length % 2)]);

function wav() {
  const [tag, bits] = pick([[1, 8], [1, 16], [1, 24], [1, 32], [3, 32], [3, 64], [6, 8], [7, 8], [0x11, 4], [2, 4]]);
  const channels = pick([1, 1, 2, 2, 3]);
  const rate = pick([8000, 11025, 22050, 44100, 48000, 8363, 0, 1 + below(300000)]);
  // ADPCM: blocks of any size, damaged ones (too small for their header) among them.
  const align = bits === 4 ? pick([0, 3, 36, 256, 1 + below(1024)]) * channels : (channels * bits) / 8;
  const frames = below(1500);
  const fmt = [le(2, tag), le(2, channels), le(4, rate), le(4, rate * align), le(2, align), le(2, bits)];
  if (random() < 0.2) {  // WAVE_FORMAT_EXTENSIBLE: the format tag moves into the subformat GUID
    fmt[0] = le(2, 0xfffe);
    fmt.push(le(2, 22), le(2, bits), le(4, channels === 2 ? 3 : 4), le(2, tag),
      Buffer.from('000000001000800000aa00389b71', 'hex'));
  }
  const chunks = [chunk('data', Buffer.from(bytes((bits === 4 ? frames : frames * align) + (random() < 0.1 ? 1 : 0))))];
  if (random() < 0.5) {
    const start = below(frames + 1);
    const loop = [le(4, 0), le(4, pick([0, 1, 2, 32])), le(4, start), le(4, start + below(frames + 1)), le(4, 0), le(4, 0)];
    chunks.push(chunk('smpl', Buffer.concat([Buffer.alloc(12), le(4, below(128)), Buffer.alloc(12), le(4, 1), le(4, 0), ...loop])));
  }
  if (random() < 0.3) chunks.push(chunk('LIST', Buffer.concat([Buffer.from('INFO'), chunk('INAM', Buffer.from(`Title ${below(99)}\0`))])));
  if (random() < 0.08) chunks.shift();  // no data chunk
  if (random() < 0.5) chunks.reverse();
  const body = Buffer.concat([Buffer.from(random() < 0.03 ? 'AVI ' : 'WAVE'), chunk('fmt ', Buffer.concat(fmt)), ...chunks]);
  const file = Buffer.concat([Buffer.from('RIFF'), le(4, body.length), body]);
  return random() < 0.05 ? file.subarray(0, below(file.length)) : file;
}

// A bank of one preset over one instrument over one sample, with random numbers where the format
// lets them vary; sometimes cut short, sometimes pointing past its own tables.
function bank() {
  const name = (text) => Buffer.concat([Buffer.from(text), Buffer.alloc(20 - text.length)]);
  const gen = (oper, amount) => Buffer.concat([le(2, oper), le(2, amount)]);
  const frames = 8 + below(400);
  const start = below(4), end = frames - below(4), loop = below(frames);
  const list = (type, ...chunks) => chunk('LIST', Buffer.concat([Buffer.from(type), ...chunks]));
  const pdta = list('pdta',
    chunk('phdr', Buffer.concat([name(pick(['Piano', 'Kit', 'Pad'])), le(2, below(128)), le(2, pick([0, 128])), le(2, 0), Buffer.alloc(12),
      name('EOP'), le(2, 0), le(2, 0), le(2, 1), Buffer.alloc(12)])),
    chunk('pbag', Buffer.concat([le(2, 0), le(2, 0), le(2, 1), le(2, 0)])),
    chunk('pmod', Buffer.alloc(10)),
    chunk('pgen', Buffer.concat([gen(41, random() < 0.05 ? 7 : 0), gen(0, 0)])),
    chunk('inst', Buffer.concat([name('I'), le(2, 0), name('EOI'), le(2, 1)])),
    chunk('ibag', Buffer.concat([le(2, 0), le(2, 0), le(2, 5), le(2, 0)])),
    chunk('imod', Buffer.alloc(10)),
    chunk('igen', Buffer.concat([gen(43, below(128) | (64 + below(64)) << 8), gen(48, below(1440)), gen(51, below(48)),
      gen(54, pick([0, 1, 3])), gen(53, 0), gen(0, 0)])),
    chunk('shdr', Buffer.concat([name('S'), le(4, start), le(4, end), le(4, loop), le(4, loop + below(frames)),
      le(4, pick([22050, 44100, 8000])), Buffer.from([pick([60, 48, 255]), below(100)]), le(2, 0), le(2, 1),
      name('EOS'), Buffer.alloc(26)])));
  const body = Buffer.concat([Buffer.from('sfbk'), list('INFO', chunk('ifil', Buffer.from([2, 0, 1, 0]))),
    list('sdta', chunk('smpl', Buffer.from(bytes(2 * frames)))), pdta]);
  const file = Buffer.concat([Buffer.from('RIFF'), le(4, body.length), body]);
  return random() < 0.1 ? file.subarray(0, below(file.length)) : file;
}

function nameFile() {
  const texts = ['%ASK', '%a', '%WAV', '%XI', '%INSTR', '%SIZE', '%LOOP', '%INAM', '%DATE', 'Plain', ''];
  const lines = [`${pick(['INSTR: ', 'instr: ', 'INSTR:'])}${pick(texts)}`];
  for (let n = below(6); n > 0; --n) lines.push(`${pick(['SMP', 'smp'])}${pick(['00', '01', ' 5', '$A', 'xF', '16', 'zz'])}: ${pick(texts)}`);
  return random() < 0.05 ? Buffer.alloc(0) : Buffer.from(lines.join(pick(['\n', '\r\n', '\r'])) + '\n');
}

const failed = [];
for (let number = 1; number <= count; ++number) {
  const mode = pick(['each', 'mono', 'kit', 'multi', 'names', 'names', 'bank', 'other']);
  const files = {};
  for (let n = below(mode === 'kit' || mode === 'multi' ? 18 : 5); n > 0; --n) {
    const root = mode === 'multi' && random() < 0.9 ? `_${pick(['C', 'C#', 'Db', 'e', 'G', 'Bb'])}${below(10)}` : '';
    files[`${pick(['s', 'Piano', 'x.y'])}${below(40)}${root}${pick(['.wav', '.WAV', '.wav'])}`] = wav();
  }
  const args = {
    each: [pick(['*', '*.wav', '*.[wW][aA][vV]'])], mono: ['--mono', '*'], kit: ['--kit', 'kit.xi', '*'],
    multi: ['--multi', pick(['multi.xi', 'missing/m.xi']), '*'], names: [...(random() < 0.3 ? ['--mono'] : []), '*', 'names/n.txt'],
    bank: ['--sf2', 'bank.sf2', ...pick([[], ['--list'], ['0:*'], ['*a*'], ['128:*']])],
    other: pick([[], ['--help'], ['--kit', '*'], ['a', 'b', 'c'], ['*', 'nowhere.txt'], ['--version'], ['--sf2']]),
  }[mode];
  if (mode === 'bank') files['bank.sf2'] = bank();
  if (args.includes('names/n.txt')) files['names/n.txt'] = nameFile();
  const stdin = Array.from({ length: below(4) }, () => pick(['answer', '%wav', '', 'A name longer than twenty-two'])).join('\n');
  const got = await brumlet.run(args, files, stdin);
  const want = runLinux(linux, args, files, stdin);
  // What the page has no use for: a manual page to point to, a shell that expands patterns.
  want.stdout = want.stdout.replace("see 'man brumlet' and the README", 'see README.md').replace(/^hint: more than two.*\n/m, '');
  const found = differences(got, want);
  if (found.length) failed.push(`case ${number} (${JSON.stringify(args)}, ${Object.keys(files).length} files): ${found.join('; ')}`);
}
failed.slice(0, 10).forEach((failure) => console.log(`FAIL: ${failure}`));
console.log(`${count - failed.length} passed, ${failed.length} failed`);
process.exit(failed.length ? 1 : 0);
