#!/usr/bin/env bash
# Throughput of velmorantique-batch on a bundled example, run N times:
#  - the sum of the single runs' times, each run alone, one after the other
#    (the direct command);
#  - batches with --jobs 2: on two otherwise idle cores they should take at
#    most 0.6 x that sum;
#  - batches with --jobs 1: what the batch tool adds per case (finding cases,
#    starting each run, records, tables), which should stay under 5 ms.
# The three are measured in interleaved rounds, so that a change of load on
# the machine touches them alike; the load average is printed beside them.
# usage: bench/batch_throughput.sh [BUILD_DIR] [N] [EXAMPLE] [ROUNDS]
set -euo pipefail
src="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$src/build}" && pwd)"
n="${2:-100}"
example="${3:-1hpv_b_8a}"
rounds="${4:-5}"
per=$((n / rounds))
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

now() { date +%s.%N; }
threshold="$(cat "$src/examples/$example/threshold")"
make_cases() {  # FOLDER COUNT
  for i in $(seq -w 1 "$2"); do
    d="$1/c$i"
    mkdir -p "$d"
    cp "$src/examples/$example/$example.pdb" "$d/c$i.pdb"
    cp "$src/examples/$example/$example.mrc" "$d/c$i.mrc"
    echo "$threshold" >"$d/threshold"
  done
}
column_sum() {  # TSV COLUMN
  awk -F'\t' -v c="$2" 'NR == 1 { for (i = 1; i <= NF; i++) if ($i == c) s = i; next } { t += $s } END { print t }' "$1"
}

single=0 jobs1=0 jobs2=0 runs1=0
for r in $(seq "$rounds"); do
  for side in single jobs1 jobs2; do make_cases "$work/$r/$side" "$per"; done
  start=$(now)
  for d in "$work/$r"/single/*/; do
    name=$(basename "$d")
    (cd "$d" && "$build/velmorantique" "$name" "$name" "$threshold" </dev/null >/dev/null 2>&1)
  done
  single=$(echo "$single + $(now) - $start" | bc -l)

  start=$(now)
  "$build/velmorantique-batch" -o "$work/$r/out1" --jobs 1 "$work/$r/jobs1" >/dev/null 2>&1
  jobs1=$(echo "$jobs1 + $(now) - $start" | bc -l)
  runs1=$(echo "$runs1 + $(column_sum "$work/$r/out1/results.tsv" seconds)" | bc -l)

  start=$(now)
  "$build/velmorantique-batch" -o "$work/$r/out2" --jobs 2 "$work/$r/jobs2" >/dev/null 2>&1
  jobs2=$(echo "$jobs2 + $(now) - $start" | bc -l)
  rm -rf "${work:?}/$r"
done
total=$((per * rounds))

printf 'example %s, %d runs in %d rounds, %d cores, load average %s\n' "$example" "$total" "$rounds" "$(nproc)" \
  "$(cut -d' ' -f1-3 /proc/loadavg)"
printf 'sum of single runs        %8.2f s  (%.1f ms per run; %.2f s as the batch timed them)\n' "$single" \
  "$(echo "$single * 1000 / $total" | bc -l)" "$runs1"
printf 'batch --jobs 2            %8.2f s  = %.2f x the sum of single runs (target <= 0.6)\n' "$jobs2" \
  "$(echo "$jobs2 / $single" | bc -l)"
printf 'batch --jobs 1            %8.2f s\n' "$jobs1"
printf 'tool overhead per case    %8.2f ms beyond the runs themselves (target < 5); %.2f ms against the single runs\n' \
  "$(echo "($jobs1 - $runs1) * 1000 / $total" | bc -l)" "$(echo "($jobs1 - $single) * 1000 / $total" | bc -l)"
