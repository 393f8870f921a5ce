#!/bin/sh
# Runs one browser test under Node, or exits with 77 (skipped), saying why, where something it
# needs is missing.
#   run.sh TEST.mjs PAGE_FOLDER LINUX_PROGRAM EXAMPLES_FOLDER
set -u
here=$(cd "$(dirname "$0")" && pwd)
skip() {
  echo "skipped: $*"
  exit 77
}
command -v node >/dev/null || skip "no node (Debian: nodejs)"
if [ "$1" = page_test.mjs ] || [ "$1" = speed_tool_test.mjs ]; then
  command -v chromium >/dev/null || skip "no chromium (Debian: chromium)"
  BRUMLET_CHROMIUM=$(command -v chromium)
  export BRUMLET_CHROMIUM
  [ -d "$here/node_modules/puppeteer-core" ] || skip "no puppeteer-core: run 'npm ci' in tests/browser"
fi
if [ "$1" = player_test.mjs ]; then
  command -v openmpt123 >/dev/null || skip "no openmpt123 to compare the player with (Debian: openmpt123)"
fi
[ -x "$3" ] || skip "no Linux program at '$3' to compare with: build the release preset first"
# emscripten 3.1.6's loader fails under Node 18 and later ("Failed to parse URL") while Node's own
# fetch is on. The entry point compiles the wasm itself, but the flag keeps the loader's own path
# working too.
flag=
export LC_ALL=C  # the page's language: American English, whose short date is the C locale's
node -e 'process.exit(process.versions.node.split(".")[0] >= 18 ? 0 : 1)' && flag=--no-experimental-fetch
exec node $flag "$here/$1" "$2" "$3" "$4"
