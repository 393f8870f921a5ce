#!/bin/sh
# Exports every preset of Debian's General MIDI banks as SFZ with Polyphone, as a library made
# from a SoundFont would come, and reads every file with the SFZ reader (brumlet_sfz_regions, the
# first argument): no file may be skipped and every sample a sounding region names must exist.
# Prints the counts. Exit 77 tells CTest the check was skipped: no Polyphone, or no bank.
tool=$1
if ! command -v polyphone >/dev/null 2>&1; then
  echo "polyphone is not installed (Debian: polyphone): the SFZ exports are not checked"
  exit 77
fi
out=$(mktemp -d) || exit 1
trap 'rm -rf "$out"' EXIT
status=77
for bank in /usr/share/sounds/sf2/TimGM6mb.sf2 /usr/share/sounds/sf2/FluidR3_GM.sf2; do
  if [ ! -f "$bank" ]; then
    echo "$bank is missing (Debian: timgm6mb-soundfont, fluid-soundfont-gm): not checked"
    continue
  fi
  dir=$out/$(basename "$bank" .sf2)
  mkdir -p "$dir"
  if ! QT_QPA_PLATFORM=offscreen polyphone -3 -i "$bank" -d "$dir" >/dev/null 2>&1; then
    echo "polyphone could not export $bank"
    exit 1
  fi
  echo "== $bank"
  find "$dir" -name '*.sfz' -print0 | sort -z | xargs -0 "$tool" || exit 1
  status=0
done
exit $status
