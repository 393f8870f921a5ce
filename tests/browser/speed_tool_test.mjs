// tools/page_speed.mjs, which times the page against the Linux build for the README, on the
// bundled examples once: it still drives the page and prints its figures.
//   node speed_tool_test.mjs PAGE_FOLDER LINUX_PROGRAM EXAMPLES_FOLDER
import { spawnSync } from 'node:child_process';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const [pageDir, linux] = process.argv.slice(2);
const tool = path.join(path.dirname(fileURLToPath(import.meta.url)), '..', '..', 'tools', 'page_speed.mjs');
const run = spawnSync(process.execPath, [tool, pageDir, linux, '--quick'], { encoding: 'utf8' });
const ok = run.status === 0 && /^first load: \d+ KiB fetched/m.test(run.stdout) && /^the examples: [\d.]+ s \/ [\d.]+ s/m.test(run.stdout);
console.log(ok ? run.stdout : `FAIL: tools/page_speed.mjs --quick\n${run.stdout}${run.stderr}`);
process.exit(ok ? 0 : 1);
