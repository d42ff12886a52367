#!/usr/bin/env bash
# Runs that overwrite an existing --out-dir, killed outright (SIGKILL) at 200 moments spread
# over their work: whatever a kill leaves, the next run into the folder leaves no temporary
# file, and every file is whole. Usage: killed_run_test.sh VIREO_ANALYSE
set -euo pipefail
analyse=$1
trials=${VIREO_KILL_TRIALS:-200}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
run=(--pattern 7 --frames 12 --out-dir out --quiet)
"$analyse" "${run[@]}"
left=0
for ((trial = 0; trial < trials; ++trial)); do
  "$analyse" "${run[@]}" &
  # From 0 to 60 ms: the start-up, the writes and the renames over the old files.
  sleep "0.0$((trial % 60 / 10))$((trial % 10))"
  kill -KILL $! 2>/dev/null || true
  wait $! 2>/dev/null || true
  if compgen -G 'out/*.~vireo-*' >/dev/null; then
    left=$((left + 1))
  fi
done
"$analyse" "${run[@]}"
status=0
for name in out/* out/.[!.]*; do
  [ -e "$name" ] || continue
  if [[ ! $name =~ ^out/pattern7-[0-9]+\.(raw|spc)$ ]]; then
    echo "left behind: $name"
    status=1
  elif [ "$(grep -c $'\r$' "$name")" != 4096 ]; then
    echo "not whole: $name"
    status=1
  fi
done
echo "$trials killed runs, $left left a temporary file that the next run removed"
exit "$status"
