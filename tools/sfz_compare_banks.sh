#!/bin/sh
# brumlet --sfz of Polyphone's SFZ export against brumlet --sf2, over every preset of Debian's
# General MIDI banks (TimGM6mb, FluidR3_GM): runs tools/sfz_compare on each, prints its lines,
# then each bank's count and the total.
#
#   tools/sfz_compare_banks.sh [SFZ_COMPARE] [BRUMLET]
#
# SFZ_COMPARE defaults to the release build's tool, BRUMLET to the program it was built with.
# Exit 0 when every preset of both banks agrees, 1 when one does not, 77 when polyphone or both
# banks are missing.
here=$(cd "$(dirname "$0")" && pwd)
tool=${1:-$here/../build/release/tools/sfz_compare}
brumlet=$2
compare() {
  if [ -n "$brumlet" ]; then
    "$tool" --bank "$1" --jobs 2 --brumlet "$brumlet"
  else
    "$tool" --bank "$1" --jobs 2
  fi
}
out=$(mktemp -d) || exit 1
trap 'rm -rf "$out"' EXIT
status=77
agree=0
total=0
for bank in /usr/share/sounds/sf2/TimGM6mb.sf2 /usr/share/sounds/sf2/FluidR3_GM.sf2; do
  name=$(basename "$bank" .sf2)
  compare "$bank" >"$out/$name.txt"
  code=$?
  cat "$out/$name.txt"
  [ $code -eq 77 ] && continue
  count=$(sed -n 's/^\([0-9]*\) of \([0-9]*\) presets agree$/\1 \2/p' "$out/$name.txt")
  if [ -z "$count" ]; then
    echo "$name: sfz_compare ended with $code before its count"
    exit 1
  fi
  agree=$((agree + ${count% *}))
  total=$((total + ${count#* }))
  echo "== $name: ${count% *} of ${count#* } presets agree"
  [ $status -eq 77 ] && status=0
  [ $code -ne 0 ] && status=1
done
[ $status -ne 77 ] && echo "== both banks: $agree of $total presets agree"
exit $status
