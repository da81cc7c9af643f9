#!/usr/bin/env bash
# Installs, from Debian's packages, whatever this machine lacks to build and
# test velmorantique. Does nothing when everything is there.
set -euo pipefail
packages=(cmake make g++ libgtest-dev libbenchmark-dev zlib1g-dev clang libclang-rt-14-dev nlohmann-json3-dev)
# For the tests only: a one-node Slurm cluster for the batch tool's test.
packages+=(slurm-wlm munge)
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
