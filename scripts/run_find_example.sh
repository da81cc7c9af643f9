#!/usr/bin/env bash
# From a map without a model to the report, in one command: builds every
# tool, finds the beta-sheets of a map, runs the analysis on each as a batch
# and writes the batch report. Without arguments the map is an ideal sheet of
# five strands that velmorantique-prepare simulates at 8 Å. Everything lands
# in find_example/ (found/: the cases find cut out; results/: the table,
# report.html and viewer scripts).
#   bash scripts/run_find_example.sh [MAP.mrc RESOLUTION]   # another map of yours
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/ensure_deps.sh
cmake -S . -B build >/dev/null
cmake --build build -j2 --target velmorantique velmorantique-prepare velmorantique-find velmorantique-batch
mkdir -p find_example
if [ $# -ge 1 ]; then
  map=$1
  resolution=${2:-8}
else
  ./build/velmorantique-prepare --synthetic --strands 5 --length 8 -o find_example/made --force
  map=find_example/made/synth_5x8_tm18_a_a_8a/synth_5x8_tm18_a_a_8a.mrc
  resolution=8
fi
./build/velmorantique-find "$map" --resolution "$resolution" -o find_example/found --force
./build/velmorantique-batch -o find_example/results find_example/found
echo "report: $(pwd)/find_example/results/report.html (open it in any browser)"
