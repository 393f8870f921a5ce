#!/usr/bin/env bash
# Throughput benchmark: the converter against `cat SOURCE > COPY` (reading and writing the same
# bytes) and `sox SOURCE -t raw COPY` (rewriting the PCM), on large WAVs made here, with runs of
# the three commands alternating. Prints median wall times, the ratios, and the converter's peak
# resident memory for a small and a large source.
#
#   bench/run.sh [BRUMLET] [RUNS] [MIB]    defaults: build/release/brumlet 5 256
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
brumlet=$(realpath "${1:-$here/../build/release/brumlet}")
runs=${2:-5}
mib=${3:-256}
for tool in sox /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "bench: $tool is missing (Debian: sox, time)" >&2; exit 2; }
done
[ -x "$brumlet" ] || { echo "bench: build the program first (cmake --build --preset release)" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

le32() { printf "\\x$(printf %02x $(($1 & 255)))\\x$(printf %02x $(($1 >> 8 & 255)))\\x$(printf %02x $(($1 >> 16 & 255)))\\x$(printf %02x $(($1 >> 24 & 255)))"; }
le16() { printf "\\x$(printf %02x $(($1 & 255)))\\x$(printf %02x $(($1 >> 8 & 255)))"; }

# make_wav NAME CHANNELS BITS BYTES: a PCM WAV of BYTES random data bytes.
make_wav() {
  local name=$1 channels=$2 bits=$3 bytes=$4 rate=44100
  local align=$((channels * bits / 8))
  {
    printf RIFF; le32 $((36 + bytes)); printf WAVEfmt\ ; le32 16
    le16 1; le16 "$channels"; le32 $rate; le32 $((rate * align)); le16 $align; le16 "$bits"
    printf data; le32 "$bytes"
    head -c "$bytes" /dev/urandom
  } > "$name"
}

# On a virtual machine, memory that was freed a second or two ago may have been handed back to the
# host, and the next program to write a few hundred MiB pays for fetching it again. Touching that
# much memory just before each timed run makes every command start from the same state.
warm_memory() {
  local shm=/dev/shm/brumlet-bench-warm
  if dd if=/dev/zero of="$shm" bs=1M count=$((mib * 2 + 64)) status=none 2>/dev/null; then :; fi
  rm -f "$shm"
}

seconds() {  # wall seconds of one run of "$@", starting with no output and nothing to write back
  local start end
  rm -f ./*.xi copy.raw
  sync
  warm_memory
  start=$(date +%s%N)
  "$@"
  end=$(date +%s%N)
  echo "scale=4; ($end - $start) / 1000000000" | bc
}
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
peak_kib() { /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -n 1; }

run_brumlet() { "$brumlet" "$1" > /dev/null; }
run_cat() { cat "$1" > copy.raw; }
run_sox() { sox "$1" -t raw copy.raw; }

formats=("mono8 1 8" "mono16 1 16" "stereo8 2 8" "stereo16 2 16" "stereo24 2 24")
for entry in "${formats[@]}"; do
  read -r name channels bits <<< "$entry"
  make_wav "$name.wav" "$channels" "$bits" $((mib * 1024 * 1024))
done
sync
cat ./*.wav > /dev/null  # in the page cache: the runs measure the programs, not the disk

printf '%-9s %10s %10s %10s %9s %9s\n' format brumlet cat sox "vs cat" "vs sox"
for entry in "${formats[@]}"; do
  read -r name channels bits <<< "$entry"
  : > b.times; : > c.times; : > s.times
  # The order rotates from round to round, so that no command always follows the same one.
  for ((i = 0; i < runs; i++)); do
    for ((k = 0; k < 3; k++)); do
      case $(((i + k) % 3)) in
        0) seconds run_brumlet "$name.wav" >> b.times ;;
        1) seconds run_cat "$name.wav" >> c.times ;;
        2) seconds run_sox "$name.wav" >> s.times ;;
      esac
    done
  done
  [ -n "${BENCH_VERBOSE:-}" ] && paste b.times c.times s.times >&2
  b=$(median < b.times); c=$(median < c.times); s=$(median < s.times)
  printf '%-9s %9.3fs %9.3fs %9.3fs %8.2fx %8.2fx\n' "$name" "$b" "$c" "$s" \
    "$(echo "scale=4; $b / $c" | bc)" "$(echo "scale=4; $b / $s" | bc)"
done
rm -f ./*.wav ./*.xi copy.raw

make_wav small.wav 2 16 $((1024 * 1024))
make_wav large.wav 2 16 $((mib * 1024 * 1024))
echo "peak resident memory: $(peak_kib "$brumlet" small.wav) KiB for 1 MiB," \
  "$(peak_kib "$brumlet" large.wav) KiB for $mib MiB (stereo 16-bit)"
