#!/usr/bin/env bash
# FLAC decoding speed: the program's decoder, run by bench/flac_bench.cc (every file decoded and
# checked, to the 16-bit samples the converter takes), against `flac -d` decoding the same files
# to standard output, which is thrown away. The files are what the SFZ reader will meet: FILES
# samples of SECONDS seconds, 44.1 kHz, 24-bit stereo (a plucked tone over a noise floor), coded
# by flac at its default level. The two commands alternate; prints each one's median wall and CPU
# time and their ratios. Then, where BRUMLET names the program, the same for `brumlet --sfz` of
# an SFZ that plays each file on a key of its own (so that the plan keeps every file, decodes it
# and renders the key) against `flac -d` of the same files.
#
#   [BRUMLET=build/release/brumlet] bench/flac.sh [FLAC_BENCH] [RUNS] [FILES] [SECONDS]
#   defaults: build/release/tests/flac_bench 7 88 3
#
# Exits with 77, which CTest takes as skipped, when sox, flac or GNU time is missing.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
bench=$(realpath "${1:-$here/../build/release/tests/flac_bench}")
brumlet=${BRUMLET:+$(realpath "$BRUMLET")}
runs=${2:-7}
files=${3:-88}
seconds=${4:-3}
for tool in sox flac /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "bench: $tool is missing (Debian: ${tool##*/})" >&2; exit 77; }
done
[ -x "$bench" ] || { echo "bench: build flac_bench first (cmake --build --preset release)" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
for ((i = 1; i <= files; i++)); do
  hz=$((60 + i * 9))
  sox -R -n -r 44100 -b 24 -c 2 tone.wav synth "$seconds" pluck $hz pluck $((hz * 3 / 2)) gain -2
  sox -R -n -r 44100 -b 24 -c 2 noise.wav synth "$seconds" pinknoise gain -40
  sox -m tone.wav noise.wav "s$i.wav"
done
rm tone.wav noise.wav
flac -s -f --delete-input-file s*.wav 2>/dev/null  # quiet about sox's fact chunk

# Wall and CPU (user + system) seconds of one run of "$@", its output thrown away. The machine
# may be shared: CPU time tells the work apart from the waiting.
times_of() { /usr/bin/time -f '%e %U %S' "$@" 2>&1 >/dev/null | tail -n 1; }
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

ours=() theirs=()
for ((r = 0; r < runs; r++)); do
  ours+=("$(times_of "$bench" s*.flac)")
  theirs+=("$(times_of flac -d -s -c s*.flac)")
done
wall() { printf '%s\n' "$@" | awk '{ print $1 }' | median; }
cpu() { printf '%s\n' "$@" | awk '{ printf "%.2f\n", $2 + $3 }' | median; }
ratio() { awk "BEGIN { if ($2 > 0) printf \"%.2f x\", $1 / $2; else printf \"-\" }"; }
ours_wall=$(wall "${ours[@]}") theirs_wall=$(wall "${theirs[@]}")
ours_cpu=$(cpu "${ours[@]}") theirs_cpu=$(cpu "${theirs[@]}")
echo "| files | seconds each | flac_bench | flac -d | ratio | CPU: flac_bench | flac -d | ratio |"
echo "|---|---|---|---|---|---|---|---|"
echo "| $files | $seconds | $ours_wall s | $theirs_wall s | $(ratio "$ours_wall" "$theirs_wall") |" \
  "$ours_cpu s | $theirs_cpu s | $(ratio "$ours_cpu" "$theirs_cpu") |"

[ -n "$brumlet" ] || exit 0
for ((i = 1; i <= files; i++)); do echo "<region> sample=s$i.flac key=$((20 + i))"; done >bench.sfz
mkdir -p out
(cd out && "$brumlet" --sfz ../bench.sfz >/dev/null) || { echo "bench: brumlet --sfz failed" >&2; exit 1; }
sfz=() decode=()
for ((r = 0; r < runs; r++)); do
  sfz+=("$(cd out && times_of "$brumlet" --sfz ../bench.sfz)")
  decode+=("$(times_of flac -d -s -c s*.flac)")
done
sfz_wall=$(wall "${sfz[@]}") decode_wall=$(wall "${decode[@]}")
sfz_cpu=$(cpu "${sfz[@]}") decode_cpu=$(cpu "${decode[@]}")
echo
echo "| files | seconds each | brumlet --sfz | flac -d | ratio | CPU: brumlet --sfz | flac -d | ratio |"
echo "|---|---|---|---|---|---|---|---|"
echo "| $files | $seconds | $sfz_wall s | $decode_wall s | $(ratio "$sfz_wall" "$decode_wall") |" \
  "$sfz_cpu s | $decode_cpu s | $(ratio "$sfz_cpu" "$decode_cpu") |"
