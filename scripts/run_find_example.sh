#!/usr/bin/env bash
# From a map without a model to the report, in one command: builds every
# tool, finds the beta-sheets of the bundled map synth_4x7_t18_8a (an ideal
# four-stranded sheet at 8 Å), runs the analysis on each as a batch and
# writes the batch report. Everything lands in find_example/ (found/: the
# cases find cut out; results/: the table, report.html and viewer scripts).
#   bash scripts/run_find_example.sh [MAP.mrc RESOLUTION]   # another map of yours
set -euo pipefail
cd "$(dirname "$0")/.."
map=${1:-examples/synth_4x7_t18_8a/synth_4x7_t18_8a.mrc}
resolution=${2:-8}
bash scripts/ensure_deps.sh
cmake -S . -B build >/dev/null
cmake --build build -j2 --target velmorantique velmorantique-find velmorantique-batch
mkdir -p find_example
./build/velmorantique-find "$map" --resolution "$resolution" -o find_example/found --force
./build/velmorantique-batch -o find_example/results find_example/found
echo "report: $(pwd)/find_example/results/report.html (open it in any browser)"
