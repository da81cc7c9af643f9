#!/usr/bin/env bash
# Builds the reader fuzz targets with clang (libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) in build-fuzz and runs each one for a bounded
# time from the seed corpora in fuzz/corpus. Prints each target's number of
# executions; exits non-zero when a target finds a crash, a leak, a timeout
# or runaway memory (the input that did it is left in build-fuzz/findings/).
#   FUZZ_SECONDS  seconds per target (default 60)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${FUZZ_SECONDS:-60}"
build=build-fuzz
bash scripts/ensure_deps.sh
CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DVEL_FUZZ=ON \
  -DVEL_BUILD_TESTS=OFF -DVEL_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j2 --target mrc_reader_fuzz pdb_reader_fuzz

mkdir -p "$build/findings"
failed=0
passed=0
total=0
for target in mrc_reader pdb_reader; do
  corpus_name="${target%_reader}"
  work="$build/corpus/$corpus_name"  # grows as the search finds new inputs; the seeds stay untouched
  mkdir -p "$work"
  log="$build/findings/$target.log"
  dict=""
  [ -f "fuzz/$corpus_name.dict" ] && dict="-dict=fuzz/$corpus_name.dict"
  # An input that takes over 10 s, or a process above 3 GB, counts as a finding.
  set +e
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    "$build/fuzz/${target}_fuzz" "$work" "fuzz/corpus/$corpus_name" \
      -max_total_time="$seconds" -timeout=10 -rss_limit_mb=3072 -malloc_limit_mb=2048 \
      -max_len=16384 $dict -print_final_stats=1 -artifact_prefix="$build/findings/${target}-" \
      </dev/null >"$log" 2>&1
  status=$?
  set -e
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  runs=${runs:-0}
  total=$((total + runs))
  if [ "$status" -eq 0 ]; then
    echo "fuzz $target: $runs executions in ${seconds}s, no crash"
    passed=$((passed + 1))
  else
    echo "fuzz $target: FAILED after $runs executions (exit $status); log $log"
    tail -n 40 "$log"
    failed=$((failed + 1))
  fi
done
echo "fuzz: $total executions in all"
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
