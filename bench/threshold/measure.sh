#!/usr/bin/env bash
# The threshold rule measured on real sheets: cases prepared from the
# structures in ../shared/data/structures at 6, 8 and 10 Å, analysed at the
# levels of each rule, and the analysis's answer compared with the reference
# strands (the best of the scored sets: two-way distance, share of the
# reference residues detected; the shape direction's error).
#
# usage: bench/threshold/measure.sh PART GROUPS WORK RULE...
#   PART    tuning or held_out (bench/threshold/split.tsv, fixed before any measurement)
#   GROUPS  how many homology groups to take (one structure file each, the
#           groups in the order of md5(group id)); 0: all of the part
#   WORK    scratch folder, kept between runs (cases and runs are reused)
#   RULE    f0.4        prepare's residue-volume rule with volume factor 0.4
#           f0.4x1.2    the same cases, analysed at 1.2 x their threshold
#           m0.4        the level read from each case map alone, for volume factor 0.4
#                       (threshold_levels), on the cases of f0.4
#           default     prepare's own default rule, as it stands
# Prints one line per case and rule (rule, part, group, case, resolution,
# threshold, two_way, detected share, shape direction error, status) to
# WORK/cases_PART.tsv, then per rule and resolution: cases, groups, median two-way,
# median detected share, share of shape directions within 20°, no candidate.
#
# e.g. nice -n 10 bench/threshold/measure.sh tuning 30 /tmp/thr f1.0 f0.6 f0.5 f0.4 f0.3 m0.4 f0.4x0.8 f0.4x1.2
set -euo pipefail
src="$(cd "$(dirname "$0")/../.." && pwd)"
build="$(cd "${BUILD:-$src/build}" && pwd)"
data="${DATA:-$src/../shared/data/structures}"
part="$1" groups="$2" work="$3"
shift 3
mkdir -p "$work"
work="$(cd "$work" && pwd)"

# The structure files: the first of each group of the part, groups in hash order.
files=$(awk -F'\t' -v part="$part" '!/^#/ && $4 == part && $3 > 0 && !seen[$2]++ { print $2 "\t" $1 }' \
          "$src/bench/threshold/split.tsv" |
        while IFS=$'\t' read -r group file; do
          printf '%s\t%s\t%s\n' "$(printf %s "$group" | md5sum | cut -c1-8)" "$group" "$file"
        done | sort | { if [ "$groups" -gt 0 ]; then head -n "$groups"; else cat; fi })
printf '%s\n' "$files" | cut -f2,3 > "$work/files_$part.tsv"

prepared() {  # FACTOR: the cases folder prepared with that volume factor ("default": prepare's own)
  local dir="$work/cases_${part}_$1"
  # Prepared already for these files (more cases are added when the selection grows).
  [ "$(cat "$dir/.done" 2>/dev/null)" = "$(md5sum <<<"$files")" ] && { echo "$dir"; return; }
  local args=(--resolution 6,8,10 --skip-existing -o "$dir")
  [ "$1" = default ] || args+=(--volume-factor "$1")
  cut -f3 <<<"$files" | sed "s|^|$data/|" | xargs "$build/velmorantique-prepare" "${args[@]}" >/dev/null 2>&1 || true
  md5sum <<<"$files" > "$dir/.done"
  echo "$dir"
}

row() {  # RULE CASE_DIR THRESHOLD: analyses the case at the threshold and prints its line
  local rule="$1" dir="$2" level="$3" name group
  name=$(basename "$dir")
  group=$(awk -F'\t' -v e="$(jq -r .source "$dir/meta.json" | sed 's|.*/structures/||')" '$2 == e { print $1 }' \
            "$work/files_$part.tsv")
  [ -n "$group" ] || return 0  # prepared for a larger selection
  local run="$work/runs_$part/$rule/$name"
  mkdir -p "$run"
  local summary="$run/${name}twist/${name}_summary.json"
  # The output goes beside the PDB file: each rule's run gets its own links to the case.
  ln -sf "$dir/$name.pdb" "$dir/$name.mrc" "$run/"
  [ -f "$summary" ] || (cd "$run" && "$build/velmorantique" "$name" "$name" "$level" >/dev/null 2>&1) || true
  if [ -f "$summary" ]; then
    jq -r --arg rule "$rule" --arg part "$part" --arg group "$group" --arg name "$name" \
       --argjson res "$(jq .resolution_A "$dir/meta.json")" --arg level "$level" '
      (.chosen.best_two_way // "") as $best | ([.top[] | select(.set == $best)][0]) as $b |
      [$rule, $part, $group, $name, $res, $level,
       ($b.two_way // "NA"), (if $b then $b.detected_residues / .reference.residues else 0 end),
       (.shape_direction_error // "NA"), (if $b then "ok" else "no_candidate" end)] | @tsv' "$summary"
  else
    printf '%s\t%s\t%s\t%s\t%s\t%s\tNA\t0\tNA\tfailed\n' "$rule" "$part" "$group" "$name" \
      "$(jq .resolution_A "$dir/meta.json")" "$level"
  fi
}

: > "$work/cases_$part.tsv"
for rule in "$@"; do
  case "$rule" in
    m*) dir=$(prepared "${rule#m}")
      "$build/bench/threshold_levels" --share "${rule#m}" "$dir"/*/ |
        while read -r caseDir level _; do row "$rule" "$caseDir" "$level"; done ;;
    default) dir=$(prepared default)
      for c in "$dir"/*/; do row "$rule" "${c%/}" "$(cat "$c/threshold")"; done ;;
    f*x*)
      factor=${rule#f}; factor=${factor%x*}; scale=${rule#*x}; dir=$(prepared "$factor")
      for c in "$dir"/*/; do row "$rule" "${c%/}" "$(awk -v t="$(cat "$c/threshold")" -v s="$scale" 'BEGIN { printf "%.4g", t * s }')"; done ;;
    f*) dir=$(prepared "${rule#f}")
      for c in "$dir"/*/; do row "$rule" "${c%/}" "$(cat "$c/threshold")"; done ;;
    *) echo "unknown rule $rule" >&2; exit 1 ;;
  esac >> "$work/cases_$part.tsv"
done

# Per rule and resolution.
printf 'rule\tresolution\tcases\tgroups\ttwo_way_median\tdetected_median\tdirection_within_20\tno_candidate\n'
sort -t$'\t' -k1,1 -k5,5n "$work/cases_$part.tsv" | awk -F'\t' '
  function median(a, n,   i, j, t) {
    for (i = 2; i <= n; i++) for (j = i; j > 1 && a[j-1] > a[j]; j--) { t = a[j]; a[j] = a[j-1]; a[j-1] = t }
    return n == 0 ? "NA" : (n % 2 ? a[(n+1)/2] : (a[n/2] + a[n/2+1]) / 2)
  }
  function flush() {
    if (key == "") return
    printf "%s\t%d\t%d\t%.2f\t%.2f\t%.2f\t%d\n", key, n, ng, median(tw, nt), median(det, n), (nd ? within / nd : 0), none
  }
  { k = $1 "\t" $5
    if (k != key) { flush(); key = k; n = nt = nd = within = none = ng = 0; delete tw; delete det; delete g }
    n++; if (!g[$3]++) ng++
    # A case without a candidate is as far from the strands as can be and detects nothing.
    tw[++nt] = ($7 == "NA" ? 99 : $7); det[n] = $8
    if ($9 != "NA") { nd++; if ($9 <= 20) within++ }
    if ($10 != "ok") none++ }
  END { flush() }'
