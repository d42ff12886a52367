#!/usr/bin/env bash
# Recordings that nobody on the project made: every file of the desktop sound theme (from the
# file and through a pipe) and its re-encodings by sox (WAV, W64, AU, AIFF, AIFF-C, CAF, FLAC,
# Ogg Vorbis, MP3) and opusenc. Each one that holds a whole frame must read as intact: exit 0
# and no line. Usage: intact_files_test.sh VIREO_ANALYSE
set -uo pipefail
analyse=$1
theme=/usr/share/sounds/freedesktop/stereo
command -v sox >/dev/null && command -v opusenc >/dev/null && [ -d "$theme" ] || exit 77
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for original in "$theme"/*; do
  name=$work/$(basename "${original%.*}")
  for extension in wav w64 au aiff aifc caf flac ogg mp3; do
    sox -V1 "$original" "$name.$extension"
  done
  opusenc --quiet "$name.wav" "$name.opus"
done
status=0
check() { # the input's name, then the command
  local input=$1
  shift
  # An input too short for one frame holds no whole frame to read.
  if ! "$@" --peak >/dev/null 2>"$work/err" && ! grep -q 'a whole frame needs 4096$' "$work/err"; then
    echo "$input: $(cat "$work/err")"
    status=1
  fi
}
for input in "$theme"/* "$work"/*.*; do
  check "$input" "$analyse" "$input"
  [[ $input != "$theme"/* ]] || check "$input (pipe)" "$analyse" - <"$input"
  # sox writes into a pipe's AIFF header a length that it cannot go back to (0x7F000000 ...).
  [[ $input != *.wav ]] || check "$input (AIFF pipe)" "$analyse" - < <(sox -V1 "$input" -t aiff -)
done
exit "$status"
