#!/usr/bin/env bash
# The finder's accuracy on whole-chain maps simulated from real entries, and
# its time and memory from a chain's own box to 512^3 voxels and on a whole
# ribosome entry (6zu5, every chain, at 8 Å on 1 Å voxels):
#
#   bash bench/find_accuracy.sh BUILD_DIR ENTRIES_DIR [tuning|held_out]
#
# ENTRIES_DIR is filled once by bench/calibration/fetch_entries.sh (Debian
# packages, outside the repository); the split by protein is
# bench/calibration/entries.tsv. Tune on the tuning half only.
set -euo pipefail
build=${1:?usage: find_accuracy.sh BUILD_DIR ENTRIES_DIR [tuning|held_out]}
entries=${2:?usage: find_accuracy.sh BUILD_DIR ENTRIES_DIR [tuning|held_out]}
half=${3:-held_out}
here=$(cd "$(dirname "$0")" && pwd)
[ -d "$entries/entries" ] || bash "$here/calibration/fetch_entries.sh" "$entries" "$here/calibration/entries.tsv" >/dev/null
"$build/bench/find_accuracy" --entries "$entries/entries" --split "$here/calibration/entries.tsv" --half "$half"
"$build/bench/find_accuracy" --scaling --program "$build/velmorantique-find" --entries "$entries/entries" \
  --split "$here/calibration/entries.tsv" --half "$half" --scaling-entry 6zu5
