#!/usr/bin/env bash
# The README's two ways of spreading a corpus over machines, run on this one: the GNU parallel
# command with the local machine as its only host, and the Slurm array script once per task.
# Both must leave the results folder that one run with -j 2 writes, byte for byte.
# Usage: scale_out_test.sh VIREO_ANALYSE README
set -euo pipefail
analyse=$1
readme=$2
for tool in parallel flac split; do
  command -v "$tool" >/dev/null || { echo "skipped: no $tool"; exit 77; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bin" "$work/home/.parallel" "$work/corpus/sub"
ln -s "$analyse" "$work/bin/vireo-analyse"
export PATH="$work/bin:$PATH" HOME="$work/home"
touch "$HOME/.parallel/will-cite"
cd "$work"

# Five noise recordings of different lengths, one with a space in its name.
seconds=(0.3 0.5 0.2 0.7 0.4)
names=(corpus/a.flac "corpus/sub/b c.flac" corpus/sub/d.flac corpus/e.flac corpus/sub/f.flac)
for i in "${!names[@]}"; do
  head -c "$(awk -v s="${seconds[$i]}" 'BEGIN { print int(s * 44100) * 2 }')" /dev/urandom |
    flac -s --force-raw-format --endian=little --sign=signed --channels=1 --bps=16 \
      --sample-rate=44100 -o "${names[$i]}" -
done
vireo-analyse --recursive corpus -j 2 --out-dir reference --quiet

# The README's block that starts with `first` and ends at the first line without a
# continuation (or at a blank line with `blank`).
block() {
  awk -v first="$1" -v blank="${2:-}" '
    !on && index($0, "    " first) == 1 { on = 1 }
    on && blank && $0 == "" { exit }
    on { print substr($0, 5); if (!blank && $0 !~ /\\$/) exit }' "$readme"
}

# GNU parallel, with this machine for the hosts and the work folder for the shared one.
command=$(block "find corpus")
[ -n "$command" ] || { echo "no parallel command in $readme"; exit 1; }
command=${command//-S 8\/node1,8\/node2/-S :}
command=${command//\/shared/$work}
bash -c "$command"
diff -r reference results

# Slurm: every task of the array on its slice of the list, and every file in one slice only.
script=$(block "#!/bin/sh" blank)
[ -n "$script" ] || { echo "no Slurm script in $readme"; exit 1; }
tasks=$(sed -n 's/.*--array=0-\([0-9]*\).*/\1/p' <<<"$script")
find corpus -name '*.flac' >files.txt
rm -rf results
for ((task = 0; task <= tasks; ++task)); do
  SLURM_ARRAY_TASK_ID=$task sh -c "$script"
done
diff -r reference results
for ((task = 0; task <= tasks; ++task)); do
  split -n "l/$((task + 1))/$((tasks + 1))" files.txt
done | sort | diff - <(sort files.txt)
echo "parallel and Slurm gave the bytes of one run for ${#names[@]} files"
