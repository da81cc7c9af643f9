#!/usr/bin/env bash
# scripts/ensure_deps.sh against stand-ins for apt-get, sudo and id that only
# record how they were called: nothing is installed by this test.
set -euo pipefail
script="$(cd "$(dirname "$0")/.." && pwd)/scripts/ensure_deps.sh"
fake=$(mktemp -d)
trap 'rm -rf "$fake"' EXIT
log="$fake/calls"
printf '#!/bin/sh\necho "apt-get $*" >>"%s"\n' "$log" >"$fake/apt-get"
printf '#!/bin/sh\necho "sudo" >>"%s"\nexec "$@"\n' "$log" >"$fake/sudo"
chmod +x "$fake/apt-get" "$fake/sudo"

fail() { echo "FAIL: $*"; cat "$log" 2>/dev/null; exit 1; }
run() { : >"$log"; PATH="$fake:$PATH" bash "$script" "$@" 2>&1 || true; }

# Everything present (the project's packages are installed wherever the
# tests build): apt-get is never called, and the script says so.
out=$(run bash)
[ ! -s "$log" ] || fail "apt-get called with nothing missing"
grep -q "nothing to do" <<<"$out" || fail "no word that nothing was missing: $out"

# A missing package: only it is installed, named in the output.
out=$(run bash velmorantique-no-such-package)
grep -q "install -y --no-install-recommends velmorantique-no-such-package$" "$log" || fail "not installed alone"
grep -q "installing velmorantique-no-such-package" <<<"$out" || fail "not announced: $out"
if [ "$(id -u)" -eq 0 ]; then
  ! grep -q sudo "$log" || fail "sudo used by root"
  # Seen as an ordinary user, the same goes through sudo.
  printf '#!/bin/sh\necho 1000\n' >"$fake/id"
  chmod +x "$fake/id"
  run velmorantique-no-such-package >/dev/null
  grep -q sudo "$log" || fail "no sudo for an ordinary user"
fi
echo "ok"
