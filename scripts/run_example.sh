#!/usr/bin/env bash
# Builds velmorantique and analyses the bundled example 1hpv_b_8a
# (sheet B of HIV-1 protease at 8 Å). Results land in examples/1hpv_b_8a/1hpv_b_8atwist/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/ensure_deps.sh
cmake -S . -B build >/dev/null
cmake --build build -j2 --target velmorantique
cd examples/1hpv_b_8a
../../build/velmorantique 1hpv_b_8a 1hpv_b_8a "$(cat threshold)"
