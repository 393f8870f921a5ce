// What both browser tests share: the Linux program run as the entry point runs the wasm one, and
// the comparison of two runs.
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';

function listFiles(folder, prefix = '', found = {}) {
  for (const entry of fs.readdirSync(folder, { withFileTypes: true })) {
    const file = path.join(folder, entry.name);
    if (entry.isDirectory()) listFiles(file, `${prefix}${entry.name}/`, found);
    else found[prefix + entry.name] = new Uint8Array(fs.readFileSync(file));
  }
  return found;
}

/// The Linux program over `files` in a fresh folder, as brumlet.run runs the wasm one.
export function runLinux(program, args, files, stdinText) {
  const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'brumlet-linux-'));
  try {
    for (const [name, bytes] of Object.entries(files)) {
      fs.mkdirSync(path.dirname(path.join(folder, name)), { recursive: true });
      fs.writeFileSync(path.join(folder, name), bytes);
    }
    // %DATE: the C locale's month/day/year is American English's short date, the language that
    // Node and Chromium take under LC_ALL=C (run.sh).
    const run = spawnSync(program, args, { cwd: folder, input: stdinText, env: { ...process.env, LC_ALL: 'C' } });
    return { exitCode: run.status, stdout: run.stdout.toString(), files: listFiles(folder) };
  } finally {
    fs.rmSync(folder, { recursive: true, force: true });
  }
}

/// How `got` differs from the Linux program's run `want`: exit code, console text, files.
export function differences(got, want) {
  const found = [];
  if (got.exitCode !== want.exitCode) found.push(`exit code ${got.exitCode}, Linux ${want.exitCode}`);
  if (got.stdout !== want.stdout) found.push(`console text:\n${got.stdout}\n--- Linux:\n${want.stdout}`);
  const names = [...new Set([...Object.keys(got.files), ...Object.keys(want.files)])].sort();
  for (const name of names) {
    if (!got.files[name] || !want.files[name]) found.push(`${name} only in the ${got.files[name] ? 'wasm' : 'Linux'} run`);
    else if (Buffer.compare(Buffer.from(got.files[name]), Buffer.from(want.files[name])) !== 0) found.push(`${name} differs`);
  }
  return found;
}
