#!/usr/bin/env bash
# Throughput of velmorantique-batch on a bundled example, run N times:
#  - the sum of N single runs, one after the other (the direct command);
#  - one batch of N cases with --jobs 2: on two cores it should take at most
#    0.6 x that sum;
#  - one batch of N cases with --jobs 1: what the batch tool adds per case
#    (finding cases, starting each run, records, tables), which should stay
#    under 5 ms.
# usage: bench/batch_throughput.sh [BUILD_DIR] [N] [EXAMPLE]
set -euo pipefail
src="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$src/build}" && pwd)"
n="${2:-100}"
example="${3:-1hpv_b_8a}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

now() { date +%s.%N; }
threshold="$(cat "$src/examples/$example/threshold")"
for side in single jobs1 jobs2; do
  for i in $(seq -w 1 "$n"); do
    d="$work/$side/c$i"
    mkdir -p "$d"
    cp "$src/examples/$example/$example.pdb" "$d/c$i.pdb"
    cp "$src/examples/$example/$example.mrc" "$d/c$i.mrc"
    echo "$threshold" >"$d/threshold"
  done
done

start=$(now)
for d in "$work"/single/*/; do
  name=$(basename "$d")
  (cd "$d" && "$build/velmorantique" "$name" "$name" "$threshold" </dev/null >/dev/null 2>&1)
done
single=$(echo "$(now) - $start" | bc -l)

start=$(now)
"$build/velmorantique-batch" -o "$work/out1" --jobs 1 "$work/jobs1" >/dev/null 2>&1
jobs1=$(echo "$(now) - $start" | bc -l)

start=$(now)
"$build/velmorantique-batch" -o "$work/out2" --jobs 2 "$work/jobs2" >/dev/null 2>&1
jobs2=$(echo "$(now) - $start" | bc -l)

# The runs' own time as the batch measured it, start to end of each process.
runs=$(awk -F'\t' 'NR == 1 { for (i = 1; i <= NF; i++) if ($i == "seconds") s = i; next } { t += $s } END { print t }' \
  "$work/out1/results.tsv")

printf 'example %s, %d runs, %d cores\n' "$example" "$n" "$(nproc)"
printf 'sum of single runs        %8.2f s  (%.1f ms per run)\n' "$single" "$(echo "$single * 1000 / $n" | bc -l)"
printf 'batch --jobs 2            %8.2f s  = %.2f x the sum of single runs (target <= 0.6)\n' "$jobs2" \
  "$(echo "$jobs2 / $single" | bc -l)"
printf 'batch --jobs 1            %8.2f s\n' "$jobs1"
printf 'tool overhead per case    %8.2f ms against single runs, %.2f ms beyond the runs themselves (target < 5)\n' \
  "$(echo "($jobs1 - $single) * 1000 / $n" | bc -l)" "$(echo "($jobs1 - $runs) * 1000 / $n" | bc -l)"
