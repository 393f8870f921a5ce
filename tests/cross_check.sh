#!/bin/sh
# Runs the same conversions with brumlet.exe (under Wine) and with the Linux build's brumlet, each
# in a folder of its own, and checks that both give the same exit codes, byte-identical .xi files
# and the same console text, once the Windows program's CR LF line ends are read as LF and its
# name in the failure report as "brumlet". The Windows text must end every line in CR LF, but for
# the one bare LF that ends the failure report's first line.
#   cross_check.sh RUNNER WINDOWS_PROGRAM LINUX_PROGRAM EXAMPLES_FOLDER
# Exit code 77 (skipped) while the Linux program has not been built. KEEP=1 keeps the folders.
set -u
absolute() { case $1 in /*) echo "$1" ;; *) echo "$PWD/$1" ;; esac; }
runner=$(absolute "$1") windows=$(absolute "$2") linux=${3:+$(absolute "$3")} examples=$4

if [ -z "$linux" ] || [ ! -x "$linux" ]; then
  echo "no Linux program to compare with at '$linux': build the release preset first" \
    "(cmake --workflow --preset release)"
  exit 77
fi

work=$(mktemp -d) || exit 1
[ -n "${KEEP:-}" ] || trap 'rm -rf "$work"' EXIT
cr=$(printf '\r')
failed=0
fail() {
  echo "FAIL: $*"
  failed=1
}

# The name file uses most tokens; %ASK takes its answers from standard input, one per source.
printf 'INSTR: %%INAM\nSMP00: %%XI\nSMP01: %%SIZE\nSMP02: %%LOOP\nSMP03: %%ASK\nSMP04: made twice\n' \
  >"$work/names.txt"
printf 'first answer\n%%wav\n\nlast answer\n' >"$work/answers.txt"

# run NAME CODE ARGUMENTS...: each program converts in NAME/linux and NAME/windows, which already
# hold the run's files, and should end with exit code CODE.
run() {
  name=$1 code=$2
  shift 2
  (cd "$work/$name/linux" && "$linux" "$@" <"$work/answers.txt" >../linux.out 2>../linux.err
    echo $? >../linux.code)
  (cd "$work/$name/windows" && "$runner" "$windows" "$@" <"$work/answers.txt" >../windows.out \
    2>../windows.err
    echo $? >../windows.code)
  [ "$(cat "$work/$name/linux.code")" = "$code" ] ||
    fail "$name: exit code $(cat "$work/$name/linux.code"), not $code:" "$(cat "$work/$name/linux.out")"
  compare "$name"
}

compare() {
  dir=$work/$1
  if ! cmp -s "$dir/linux.code" "$dir/windows.code"; then
    fail "$1: exit code $(cat "$dir/linux.code") on Linux, $(cat "$dir/windows.code") on Windows"
    cat "$dir/windows.err"
  fi
  (cd "$dir/linux" && ls) >"$dir/linux.files"
  (cd "$dir/windows" && ls) >"$dir/windows.files"
  cmp -s "$dir/linux.files" "$dir/windows.files" || fail "$1: the folders differ:" \
    "$(diff "$dir/linux.files" "$dir/windows.files")"
  for xi in "$dir"/linux/*.xi; do
    [ -e "$xi" ] || continue
    cmp "$xi" "$dir/windows/${xi##*/}" || fail "$1: ${xi##*/} differs"
  done
  tr -d '\r' <"$dir/windows.out" | sed 's/ in module brumlet\.exe at / in module brumlet at /' \
    >"$dir/windows.text"
  diff "$dir/linux.out" "$dir/windows.text" || fail "$1: the console text differs"
  # A CR only ever ends a line, as the first half of its CR LF.
  crs=$(tr -cd '\r' <"$dir/windows.out" | wc -c)
  crlfs=$(grep -c "$cr\$" "$dir/windows.out")
  [ "$crs" -eq "$crlfs" ] || fail "$1: a CR that does not end a line"
  # The one line that ends in a bare LF is the failure report's first. A prompt still waiting for
  # its answer at the end of the text is no line.
  if [ -n "$(tail -c 1 "$dir/windows.out")" ]; then finished='$d'; else finished=; fi
  sed "$finished" "$dir/windows.out" | grep -v "$cr\$" >"$dir/windows.bare"
  grep '^Exception ' "$dir/linux.out" | sed 's/ in module brumlet at / in module brumlet.exe at /' \
    >"$dir/linux.bare"
  cmp -s "$dir/linux.bare" "$dir/windows.bare" || fail "$1: lines that end in a bare LF:" \
    "$(sed 's/^/[/; s/$/]/' "$dir/windows.bare")"
}

for name in examples names failure; do
  for system in linux windows; do mkdir -p "$work/$name/$system"; done
done
for system in linux windows; do
  cp "$examples"/*.wav "$work/examples/$system/"
  cp "$examples"/*.wav "$work/names.txt" "$work/names/$system/"
  printf RIFF >"$work/failure/$system/short.wav"
done

run examples 0 '*.wav'
run names 0 '*.wav' names.txt
run failure 1 short.wav
grep -q '^Read beyond end of file\.$' "$work/failure/linux.out" ||
  fail "failure: not the report of a short file:" "$(cat "$work/failure/linux.out")"

[ "$failed" = 0 ] && echo "brumlet.exe and $linux agree on every run"
exit "$failed"
