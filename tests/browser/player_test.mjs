// brumlet.render against openmpt123 on notes of the bundled examples and of two TimGM6mb presets,
// each converted by the page's program: the pitch within 1 cent, the loop's period within 1 %,
// the level within 1 dB at times where the envelope moves slowly (the player steps it once a
// tick, openmpt123 ramps it over the tick). Measured by tools/player_compare.mjs.
//   node player_test.mjs PAGE_FOLDER LINUX_PROGRAM EXAMPLES_FOLDER
import fs from 'node:fs';
import path from 'node:path';
import { compareNote, openmptOffsetDb, pageApi } from '../../tools/player_compare.mjs';

const [pageDir, , examples] = process.argv.slice(2);
const kBank = '/usr/share/sounds/sf2/TimGM6mb.sf2';
const api = pageApi(pageDir);
const read = (folder, names) => Object.fromEntries(names.map((name) => [name, new Uint8Array(fs.readFileSync(path.join(folder, name)))]));
const { files } = await api.run(['*.wav'], read(examples, fs.readdirSync(examples).filter((f) => f.endsWith('.wav'))));
for (const preset of fs.existsSync(kBank) ? ['0:0', '0:89'] : []) {
  Object.assign(files, (await api.run(['--sf2', 'bank.sf2', preset], { 'bank.sf2': fs.readFileSync(kBank) })).files);
}
if (!files['000-089 Warm Pad.xi']) console.log(`not checked: the TimGM6mb presets (no ${kBank}; Debian: timgm6mb-soundfont)`);

// XI, key 60 held for rows of 0.12 s, the pitch to look near (0: none, a drum), the times to
// compare the levels at.
const cases = [
  ['pluck.xi', 8, 441, [0.3, 0.9, 1.2, 1.4]],
  ['bell24.xi', 2, 880, [0.05, 0.15]],
  ['pad.xi', 3, 110, [0.05, 0.2]],
  ['kick.xi', 1, 0, [0.02, 0.07]],
  ['000-000 Piano 1.xi', 10, 261.63, [0.3, 1.0, 1.3]],
  ['000-089 Warm Pad.xi', 15, 261.63, [0.3, 1.0, 2.1, 2.3]],
];
const offset = openmptOffsetDb();
const failures = [];
for (const [name, rows, hz, times] of cases) {
  if (!files[name]) continue;
  const figures = await compareNote(api, files[name], 60, rows, hz, offset, times);
  const say = (what, [page, openmpt], unit) => `${name}: ${what} ${page.toFixed(2)} ${unit}, openmpt123 ${openmpt.toFixed(2)}`;
  if (figures.pitch && Math.abs(figures.pitch[0] - figures.pitch[1]) > 1) failures.push(say('pitch', figures.pitch, 'cents'));
  if (figures.loop && Math.abs(figures.loop[0] / figures.loop[1] - 1) > 0.01) failures.push(say('loop', figures.loop, 's'));
  for (const [time, page, openmpt] of figures.levels) {
    if (Math.abs(page - openmpt) > 1) failures.push(say(`level at ${time} s`, [page, openmpt], 'dB'));
  }
  if (!figures.pitch === Boolean(hz) || figures.levels.length !== times.length) failures.push(`${name}: not measured`);
}
const loops = cases.filter(([name]) => files[name]).length;
failures.forEach((failure) => console.log(`FAIL: ${failure}`));
console.log(failures.length ? `${failures.length} failed` : `${loops} instruments play as openmpt123 plays them`);
process.exit(failures.length ? 1 : 0);
