#!/usr/bin/env bash
# Installs, from Debian's packages, whatever this machine lacks to build and
# test velmorantique. Does nothing when everything is there.
set -euo pipefail
packages=(cmake make g++ libgtest-dev libbenchmark-dev zlib1g-dev clang libclang-rt-14-dev nlohmann-json3-dev)
# For the tests only: the batch report is checked in a headless browser and
# its viewer scripts in PyMOL; the page and pictures are parsed as HTML5/XML.
packages+=(chromium pymol python3-lxml python3-html5lib)
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq </dev/null
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" </dev/null
fi
