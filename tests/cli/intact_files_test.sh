#!/usr/bin/env bash
# Recordings that nobody on the project made: every file of the desktop sound theme, and
# re-encodings of them by sox (WAV, W64, AU, AIFF, AIFF-C, CAF, FLAC, Ogg Vorbis, MP3) and
# opusenc, from files, and the theme's own files through a pipe as well. Every one that holds a whole frame must be read
# whole: exit 0 and no line. Usage: intact_files_test.sh VIREO_ANALYSE
set -uo pipefail
analyse=$1
theme=/usr/share/sounds/freedesktop/stereo
if [ ! -d "$theme" ] || ! command -v sox >/dev/null || ! command -v opusenc >/dev/null; then
  echo "the sound theme, sox or opusenc is not installed"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
files=("$theme"/*)
count=0
for original in "${files[@]}"; do
  name=$(basename "${original%.*}")
  for extension in wav w64 au aiff aifc caf flac ogg mp3; do
    sox -V1 "$original" "$work/$name.$extension" || echo "sox cannot write $name.$extension"
  done
  opusenc --quiet "$work/$name.wav" "$work/$name.opus"
done
status=0
for input in "${files[@]}" "$work"/*; do
  routes=(file)
  [[ $input == "$theme"/* ]] && routes+=(pipe)
  for route in "${routes[@]}"; do
    if [ "$route" = file ]; then
      "$analyse" "$input" --peak >/dev/null 2>"$work/err"
    else
      "$analyse" - --peak <"$input" >/dev/null 2>"$work/err"
    fi
    result=$?
    count=$((count + 1))
    # Too short for one frame: no whole frame to read.
    if [ "$result" != 0 ] && ! grep -q 'a whole frame needs 4096$' "$work/err"; then
      echo "$input ($route): exit $result: $(cat "$work/err")"
      status=1
    fi
  done
done
echo "$count runs over ${#files[@]} theme files and their re-encodings"
exit "$status"
