#!/usr/bin/env bash
# Throughput benchmark: the converter against `dd if=SOURCE of=COPY bs=128k` (a copy through user
# space: the least that a program which must look at every byte can do), `cat SOURCE > COPY`
# (which copies inside the kernel) and `sox SOURCE -t raw COPY` (rewriting the PCM), on large WAVs
# made here, with runs of the four commands alternating. Prints median wall times, the ratios,
# and the converter's peak resident memory for a small and a large source.
#
# Then every preset of a SoundFont bank (FluidR3_GM.sf2 of Debian's fluid-soundfont-gm, or the
# bank BENCH_SF2 names) converted in one run, against `dd` copying a file of as many bytes as all
# the outputs hold, and that run's peak resident memory. BENCH_ONLY=sf2 times the bank alone.
#
# Then banks of a megabyte or less crafted to make planning or writing as costly as the program
# allows (bench/make_hostile_banks.cc, built beside the program): each must be planned, and
# refused or converted, within a second. BENCH_ONLY=hostile times these alone.
#
# BENCH_ONLY=compare BENCH_BEFORE=OLD times the plain conversion of the program against OLD, an
# earlier build, on the same sources, alternating which goes first: a change that must not cost
# speed is measured so, on a shared machine, by the medians of many runs. It prints each
# format's medians, their ratio and both peak resident memories.
#
#   bench/run.sh [BRUMLET] [RUNS] [MIB ...]    defaults: build/release/brumlet 7 64 256
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
brumlet=$(realpath "${1:-$here/../build/release/brumlet}")
before=$(realpath "${BENCH_BEFORE:-$brumlet}")  # the earlier build of BENCH_ONLY=compare
runs=${2:-7}
sizes=("${@:3}")
((${#sizes[@]})) || sizes=(64 256)
mib=$(printf '%s\n' "${sizes[@]}" | sort -n | tail -n 1)  # the largest, for warm_memory
# A missing tool ends the script with 77, which the test that runs it takes as a skip.
for tool in sox /usr/bin/time bc; do
  command -v "$tool" >/dev/null || { echo "bench: $tool is missing (Debian: sox, time, bc)" >&2; exit 77; }
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
run_dd() { dd if="$1" of=copy.raw bs=128k status=none; }
run_cat() { cat "$1" > copy.raw; }
run_sox() { sox "$1" -t raw copy.raw; }
ratio() { echo "scale=4; $1 / $2" | bc; }

# The bank's presets, one run each time, against dd copying as many bytes as the outputs hold:
# the bank's sample data is smaller than that, since presets share samples.
bank_row() {
  local bank=${BENCH_SF2:-/usr/share/sounds/sf2/FluidR3_GM.sf2}
  if [ ! -r "$bank" ]; then
    echo "(no SoundFont row: $bank is missing; Debian: fluid-soundfont-gm)"
    return
  fi
  mkdir bank && cd bank
  cat "$bank" > /dev/null
  "$brumlet" --sf2 "$bank" > report.txt || { echo "bench: --sf2 failed" >&2; exit 2; }
  local files bytes
  files=$(find . -name '*.xi' | wc -l)
  bytes=$(find . -name '*.xi' -printf '%s\n' | awk '{ s += $1 } END { print s }')
  mib=$((mib > bytes / 1048576 ? mib : bytes / 1048576 + 1))
  head -c "$bytes" /dev/urandom > outputs.raw
  # Each run writes into a folder of its own, all deleted after the row: files deleted just before
  # make ext4 search past their inodes when the next run creates its own (recently_deleted), which
  # perf shows as a quarter of a run of 282 files, and which a user's run does not meet.
  run_bank() { mkdir "bank.$i" && (cd "bank.$i" && "$brumlet" --sf2 "$bank" > /dev/null); }
  run_copy() { mkdir "copy.$i" && dd if=outputs.raw of="copy.$i/copy.raw" bs=128k status=none; }
  : > bank.times; : > copy.times
  for ((i = 0; i < runs; i++)); do
    if ((i % 2)); then seconds run_copy >> copy.times; fi
    seconds run_bank >> bank.times
    if ((i % 2 == 0)); then seconds run_copy >> copy.times; fi
  done
  local b d
  b=$(median < bank.times); d=$(median < copy.times)
  printf '\n%s: %d presets, %d files, %d bytes\n%-34s %8.3fs\n%-34s %8.3fs   (%.2fx)\n' \
    "$(basename "$bank")" "$(awk -F '  ->  |  skipped: ' 'NF > 1 { print $1 }' report.txt | sort -u | wc -l)" "$files" \
    "$bytes" "brumlet --sf2, every preset" "$b" "dd of as many bytes" "$d" "$(ratio "$b" "$d")"
  echo "peak resident memory: $(peak_kib "$brumlet" --sf2 "$bank") KiB"
  cd .. && rm -rf bank
}
# Each crafted bank listed and converted, best of RUNS: seconds, exit code and peak memory.
hostile_row() {
  local maker
  maker=$(dirname "$brumlet")/bench/make_hostile_banks
  if [ ! -x "$maker" ]; then
    echo "(no hostile-bank row: build make_hostile_banks first)"
    return
  fi
  mkdir hostile && "$maker" hostile
  printf '\n%-28s %8s %12s %8s %12s %10s\n' "crafted bank" KiB "--list s" exit "convert s" "peak KiB"
  list_bank() { "$brumlet" --sf2 "$1" --list > /dev/null || true; }
  convert_bank() { rm -rf out && mkdir out && (cd out && "$brumlet" --sf2 "../$1" > /dev/null) || true; }
  local bank best_list best_convert code t
  for bank in hostile/*.sf2; do
    best_list=99; best_convert=99
    for ((i = 0; i < runs; i++)); do
      t=$(seconds list_bank "$bank")
      best_list=$(echo "if ($t < $best_list) $t else $best_list" | bc)
      t=$(seconds convert_bank "$bank")
      best_convert=$(echo "if ($t < $best_convert) $t else $best_convert" | bc)
    done
    rm -rf out && mkdir out
    code=0; (cd out && "$brumlet" --sf2 "../$bank" > /dev/null) || code=$?
    printf '%-28s %8d %12.3f %8d %12.3f %10s\n' "$(basename "$bank")" $(($(stat -c %s "$bank") / 1024)) \
      "$best_list" "$code" "$best_convert" "$(peak_kib "$brumlet" --sf2 "$bank" --list)"
  done
  rm -rf hostile out
}
# The program against BENCH_BEFORE on each format and size, one after the other in turn.
compare_rows() {
  printf '%-9s %5s %9s %9s %7s %12s %12s\n' format MiB before now "now/bef" "before KiB" "now KiB"
  run_before() { "$before" "$1" > /dev/null; }
  local size entry name channels bits b n
  for size in "${sizes[@]}"; do
    for entry in "mono8 1 8" "mono16 1 16" "stereo8 2 8" "stereo16 2 16"; do
      read -r name channels bits <<< "$entry"
      make_wav "$name.wav" "$channels" "$bits" $((size * 1024 * 1024))
      sync
      cat "$name.wav" > /dev/null
      : > before.times; : > now.times
      for ((i = 0; i < runs; i++)); do
        if ((i % 2)); then seconds run_before "$name.wav" >> before.times; fi
        seconds run_brumlet "$name.wav" >> now.times
        if ((i % 2 == 0)); then seconds run_before "$name.wav" >> before.times; fi
      done
      b=$(median < before.times); n=$(median < now.times)
      printf '%-9s %5d %8.3fs %8.3fs %6.3fx %12s %12s\n' "$name" "$size" "$b" "$n" \
        "$(ratio "$n" "$b")" "$(peak_kib "$before" "$name.wav")" "$(peak_kib "$brumlet" "$name.wav")"
      rm -f "$name.wav" ./*.xi
    done
  done
}
if [ "${BENCH_ONLY:-}" = compare ]; then
  compare_rows
  exit 0
fi
if [ "${BENCH_ONLY:-}" = sf2 ]; then
  bank_row
  exit 0
fi
if [ "${BENCH_ONLY:-}" = hostile ]; then
  hostile_row
  exit 0
fi

formats=("mono8 1 8" "mono16 1 16" "stereo8 2 8" "stereo16 2 16" "stereo24 2 24")
commands=(brumlet dd cat sox)
printf '%-9s %5s %9s %9s %9s %9s %7s %7s %8s\n' format MiB brumlet dd cat sox "vs dd" "vs cat" \
  "sox/us"
for size in "${sizes[@]}"; do
  for entry in "${formats[@]}"; do
    read -r name channels bits <<< "$entry"
    make_wav "$name.wav" "$channels" "$bits" $((size * 1024 * 1024))
    sync
    cat "$name.wav" > /dev/null  # in the page cache: the runs measure the programs, not the disk
    for command in "${commands[@]}"; do : > "$command.times"; done
    # The order rotates from round to round, so that no command always follows the same one.
    for ((i = 0; i < runs; i++)); do
      for ((k = 0; k < ${#commands[@]}; k++)); do
        command=${commands[$(((i + k) % ${#commands[@]}))]}
        seconds "run_$command" "$name.wav" >> "$command.times"
      done
    done
    [ -n "${BENCH_VERBOSE:-}" ] && paste ./*.times >&2
    b=$(median < brumlet.times); d=$(median < dd.times); c=$(median < cat.times)
    s=$(median < sox.times)
    printf '%-9s %5d %8.3fs %8.3fs %8.3fs %8.3fs %6.2fx %6.2fx %7.2fx\n' "$name" "$size" \
      "$b" "$d" "$c" "$s" "$(ratio "$b" "$d")" "$(ratio "$b" "$c")" "$(ratio "$s" "$b")"
    rm -f "$name.wav" ./*.xi copy.raw
  done
done

# One instrument of 16 sources against the same sources converted one by one, in one run each.
mkdir kit
for ((n = 0; n < 16; n++)); do make_wav "kit/s$n.wav" 1 16 $((16 * 1024 * 1024)); done
sync
cat kit/*.wav > /dev/null
: > kit.times; : > each.times
run_kit() { "$brumlet" --kit kit.xi 'kit/*.wav' > /dev/null; }
run_each() { "$brumlet" 'kit/*.wav' > /dev/null; }
for ((i = 0; i < runs; i++)); do
  if ((i % 2)); then seconds run_each >> each.times; fi
  seconds run_kit >> kit.times
  if ((i % 2 == 0)); then seconds run_each >> each.times; fi
done
k=$(median < kit.times); e=$(median < each.times)
printf '\n%-34s %8.3fs\n%-34s %8.3fs   (kit / one by one: %.2fx)\n' \
  "kit of 16 x 16 MiB mono 16-bit" "$k" "the same 16 converted one by one" "$e" "$(ratio "$k" "$e")"
rm -rf kit ./*.xi

bank_row
hostile_row

make_wav small.wav 2 16 $((1024 * 1024))
make_wav large.wav 2 16 $((mib * 1024 * 1024))
echo "peak resident memory: $(peak_kib "$brumlet" small.wav) KiB for 1 MiB," \
  "$(peak_kib "$brumlet" large.wav) KiB for $mib MiB (stereo 16-bit)"
