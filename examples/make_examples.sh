#!/usr/bin/env bash
# Remakes the bundled example WAVs with real tools (sox, ffmpeg, libsndfile). The WAVs are
# committed as data; this script records how they were made.
#   kick.wav   8-bit mono 8000 Hz, written by sox
#   pad.wav    8-bit stereo 11025 Hz with the title "Warm Pad" (LIST/INFO/INAM), by ffmpeg
#   pluck.wav  16-bit mono 22050 Hz with a forward loop in a smpl chunk, by libsndfile
#   bell24.wav 24-bit mono 44100 Hz, written by sox
set -euo pipefail
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

sox -n -r 8000 -b 8 -c 1 -e unsigned-integer kick.wav synth 0.15 sine 120:40 fade 0 0.15 0.1
sox -n -r 11025 -c 2 "$work/pad.wav" synth 0.3 sine 220 sine 330 fade 0.05 0.3 0.1
ffmpeg -loglevel error -y -i "$work/pad.wav" -c:a pcm_u8 -metadata title="Warm Pad" -fflags +bitexact pad.wav
sox -n -r 44100 -b 24 -c 1 bell24.wav synth 0.2 sine 880 fade 0 0.2 0.15

cat > "$work/pluck.c" <<'C'
#include <math.h>
#include <sndfile.h>
#include <string.h>
int main(void) {
  SF_INFO info = {.samplerate = 22050, .channels = 1, .format = SF_FORMAT_WAV | SF_FORMAT_PCM_16};
  SNDFILE* f = sf_open("pluck.wav", SFM_WRITE, &info);
  if (!f) return 1;
  SF_INSTRUMENT inst;
  memset(&inst, 0, sizeof inst);
  inst.basenote = 60;
  inst.velocity_hi = 127;
  inst.key_hi = 127;
  inst.loop_count = 1;
  inst.loops[0].mode = SF_LOOP_FORWARD;
  inst.loops[0].start = 2205;
  inst.loops[0].end = 4410;
  inst.loops[0].count = 0;
  if (sf_command(f, SFC_SET_INSTRUMENT, &inst, sizeof inst) != SF_TRUE) return 2;
  short samples[4410];
  for (int i = 0; i < 4410; ++i) {
    double t = i / 22050.0;
    samples[i] = (short)(12000 * exp(-t * 6) * sin(2 * M_PI * 441 * t));
  }
  sf_write_short(f, samples, 4410);
  return sf_close(f);
}
C
cc -O2 -o "$work/pluck" "$work/pluck.c" -lsndfile -lm
"$work/pluck"
