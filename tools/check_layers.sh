#!/bin/sh
# Checks that every include of src/ runs downwards through the program's layers (README, "How it
# is built"), top to bottom:
#
#   90 main_*.cc                       one main per system
#   80 launch                          a start of the program as runs (Explorer's dropped files)
#   70 brumlet, explorer               the command line
#   60 convert, instruments, soundfont, sfz_conversion   the drivers, side by side
#   55 vars.h, sfz_instrument          a driver's run state, an SFZ file planned
#   50 mode.h, output_file, sample_files   what the drivers share, the samples SFZ files name
#   40 wav/ naming/ sf2/ sfz/ flac/    the front ends, side by side
#   30 sampler/                        the planner of sampler formats (SoundFont, SFZ)
#   20 xi/                             the instrument description and its one writer
#   10 platform/, bytes.h, failure, messages.h, display_text, utf8, riff.h
#
# A file may include a file of a lower layer, a file of its own folder below src/, and its own
# header; the files of the bottom layer may include one another. Anything else, a file of no
# layer included, is reported.
#
#   tools/check_layers.sh [SRC]    default: the src/ beside this script; exit 1 on a violation
set -eu
src=${1:-$(dirname "$0")/../src}
cd "$src"

layer() {
  case $1 in
    main_*.cc) echo 90 ;;
    launch.*) echo 80 ;;
    brumlet.* | explorer.*) echo 70 ;;
    convert.* | instruments.* | soundfont.* | sfz_conversion.*) echo 60 ;;
    vars.h | sfz_instrument.*) echo 55 ;;
    mode.h | output_file.* | sample_files.*) echo 50 ;;
    wav/* | naming/* | sf2/* | sfz/* | flac/*) echo 40 ;;
    sampler/*) echo 30 ;;
    xi/*) echo 20 ;;
    platform/* | bytes.h | failure.* | messages.h | display_text.* | utf8.* | riff.h) echo 10 ;;
    *) echo 0 ;;
  esac
}

status=0
for file in $(find . -name '*.h' -o -name '*.cc' | sed 's|^\./||' | sort); do
  from=$(layer "$file")
  if [ "$from" = 0 ]; then
    echo "$file: in no layer"
    status=1
    continue
  fi
  for target in $(sed -n 's/^#include "\([^"]*\)".*/\1/p' "$file"); do
    to=$(layer "$target")
    same_folder=false
    case $file in */*) [ "${file%/*}" = "${target%/*}" ] && case $target in */*) same_folder=true ;; esac ;; esac
    if [ "$to" = 0 ]; then
      echo "$file: includes $target, which is in no layer"
      status=1
    elif [ "$to" -lt "$from" ] || [ "${file%.*}" = "${target%.*}" ] || $same_folder ||
      { [ "$from" = 10 ] && [ "$to" = 10 ]; }; then
      :
    else
      echo "$file: includes $target, which is not below it"
      status=1
    fi
  done
done
exit $status
