#!/bin/bash
# The cost of a run as its sheet grows: peak memory and time of the whole
# program on the synthetic four-strand sheet at growing scales (finer voxels,
# same sheet), on the wide 11-strand sheet, and on slabs of noise (density
# that is no sheet), each run alone under /usr/bin/time. The figures behind
# the sheet limits of the README and the memory bound of sheet extraction.
#
#   bash bench/sheet_limits.sh BUILD_DIR [case ...]
#       a case is sN (four-strand sheet at scale N), wN (wide sheet at scale
#       N) or slabXxYxZ (noise, X by Y by Z voxels of 1 A); default:
#       s8 s32 s128 w1 w8 slab100x100x3 slab100x100x12 slab200x200x3
#
# Prints one line per case: points, wall seconds, peak MB, KB per point.
# The larger cases take minutes each; run on an otherwise idle machine.
set -euo pipefail
build=${1:?usage: sheet_limits.sh BUILD_DIR [case ...]}
shift
cases=("$@")
[ ${#cases[@]} -gt 0 ] || cases=(s8 s32 s128 w1 w8 slab100x100x3 slab100x100x12 slab200x200x3)
build=$(cd "$build" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

printf '%-16s %10s %10s %10s %12s\n' case points seconds peak_MB KB_per_point
for c in "${cases[@]}"; do
  case $c in
    slab*) IFS=x read -r nx ny nz <<<"${c#slab}"
           threshold=$("$build/bench/make_sheet" "$work" "$c" slab "$nx" "$ny" "$nz") ;;
    s*) threshold=$("$build/bench/make_sheet" "$work" "$c" "${c#s}") ;;
    w*) threshold=$("$build/bench/make_sheet" "$work" "$c" "${c#w}" wide) ;;
    *) echo "unknown case $c" >&2; exit 1 ;;
  esac
  (cd "$work" && /usr/bin/time -f '%e %M' -o "$c.time" "$build/velmorantique" "$c" "$c" "$threshold" >"$c.out" 2>/dev/null) || true
  points=$(sed -n 's/^num of points = //p' "$work/$c.out")
  read -r seconds kb <"$work/$c.time"
  awk -v c="$c" -v n="$points" -v s="$seconds" -v kb="$kb" \
    'BEGIN { printf "%-16s %10d %10.1f %10.0f %12.2f\n", c, n, s, kb / 1024, kb / n }'
  rm -rf "$work/$c"*
done
