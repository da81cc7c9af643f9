#!/usr/bin/env bash
# Builds velmorantique with its tests and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/ensure_deps.sh --test-tools
cmake -S . -B build >/dev/null
cmake --build build -j2
ctest --test-dir build --output-on-failure -j2
