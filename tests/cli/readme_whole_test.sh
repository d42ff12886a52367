#!/usr/bin/env bash
# The README's section "A recording as a whole", run as written: each "$ " command of its blocks
# in turn, in one folder, must print the lines that follow it and nothing else.
# Usage: readme_whole_test.sh VIREO_ANALYSE MAKE_EXAMPLE_RECORDING README
set -euo pipefail
readme=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"
ln -s "$1" "$work/bin/vireo-analyse"
ln -s "$2" "$work/bin/make_example_recording"
export PATH="$work/bin:$PATH"
cd "$work"
# The section's block lines without their indent: commands start with "$ ".
awk '/^## A recording as a whole/ { on = 1; next } on && /^## / { exit }
     on && /^    / { print substr($0, 5) }' "$readme" >block
[ "$(grep -c '^\$ ' block)" -ge 8 ] || { echo "too few commands in the README's section"; exit 1; }
failed=0
check() { # command, expected output
  [ -n "$1" ] || return 0
  if ! diff <(printf '%s' "$2") <(bash -c "$1" 2>&1); then
    echo "differs: $1"
    failed=1
  fi
}
command= expected=
while IFS= read -r line; do
  if [[ $line == '$ '* ]]; then
    check "$command" "$expected"
    command=${line#\$ } expected=
  else
    expected+="$line"$'\n'
  fi
done <block
check "$command" "$expected"
exit "$failed"
