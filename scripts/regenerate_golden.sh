#!/usr/bin/env bash
# Rewrites tests/golden/<case>/ from a fresh run of each bundled example.
# Run it only when a change of output is intended, and review the diff.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build >/dev/null
cmake --build build -j2 --target velmorantique
bin="$PWD/build/velmorantique"
for dir in examples/*/; do
  name=$(basename "$dir")
  work=$(mktemp -d)
  cp "$dir/$name.pdb" "$dir/$name.mrc" "$work/"
  status=0
  (cd "$work" && "$bin" "$name" "$name" "$(cat "$OLDPWD/$dir/threshold")" </dev/null >stdout.txt 2>stderr.txt) || status=$?
  golden="tests/golden/$name"
  rm -rf "$golden"
  mkdir -p "$golden/files"
  cp "$work/stdout.txt" "$work/stderr.txt" "$golden/"
  echo "$status" >"$golden/status.txt"
  # The run summary is stored apart: it is compared by value, not by byte.
  mv "$work/${name}twist/${name}_summary.json" "$golden/summary.json"
  cp "$work/${name}twist/"* "$golden/files/"
  rm -rf "$work"
  echo "$name: status $status, $(ls "$golden/files" | wc -l) files"
done
