#!/usr/bin/env bash
# Installs, from Debian's packages, whatever this machine lacks to build and
# test velmorantique, and says what it did. Installs nothing that is already
# there; runs apt-get directly as root, through sudo otherwise.
#
#   bash scripts/ensure_deps.sh [--test-tools] [PACKAGE ...]
#     the project's packages, and any given; with --test-tools also the
#     programs that only the tests drive: a one-node Slurm cluster, a headless
#     browser for the batch report, PyMOL for its viewer scripts, the
#     HTML5/XML parsers that check the page, and pandas for the README's
#     reading of results.tsv.
set -euo pipefail

# Building and running.
build_packages=(cmake make g++ zlib1g-dev gemmi-dev tao-pegtl-dev nlohmann-json3-dev dssp)
# Tests, benchmarks and the fuzzing of the readers.
test_packages=(libgtest-dev libbenchmark-dev clang libclang-rt-14-dev)

test_tool_packages=(slurm-wlm munge chromium pymol python3 python3-lxml python3-html5lib python3-pandas)

packages=("${build_packages[@]}" "${test_packages[@]}")
if [ "${1:-}" = "--test-tools" ]; then
  shift
  packages+=("${test_tool_packages[@]}")
fi
packages+=("$@")

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q '^install ok installed$'; }

missing=()
for p in "${packages[@]}"; do
  installed "$p" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "ensure_deps: all ${#packages[@]} packages are installed; nothing to do."
  exit 0
fi

as_root=()
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null; then
    echo "ensure_deps: missing ${missing[*]}; run this script as root to install them (sudo is not available)." >&2
    exit 1
  fi
  as_root=(sudo)
fi
echo "ensure_deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# Another installation holding the package lock is waited for, not failed on.
apt_options=(-o DPkg::Lock::Timeout=600 -qq)
"${as_root[@]}" apt-get "${apt_options[@]}" update </dev/null
"${as_root[@]}" apt-get "${apt_options[@]}" install -y --no-install-recommends "${missing[@]}" </dev/null

still=()
for p in "${missing[@]}"; do
  installed "$p" || still+=("$p")
done
if [ ${#still[@]} -ne 0 ]; then
  echo "ensure_deps: could not install ${still[*]}" >&2
  exit 1
fi
echo "ensure_deps: installed ${missing[*]}"
