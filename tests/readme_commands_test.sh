#!/usr/bin/env bash
# The README's command lines, run as it shows them on the bundled examples and
# a fixture entry, in a scratch copy of the repository's top folder: each must
# still appear in README.md word for word, end with status 0 and leave the
# files the README names.
#
# usage: readme_commands_test.sh PROGRAM_DIR SOURCE_DIR   (the folder of the three built programs)
set -euo pipefail
build="$(cd "$1" && pwd)"
src="$(cd "$2" && pwd)"
top="$(mktemp -d)"
trap 'rm -rf "$top"' EXIT
export PATH="$build:$PATH"

fail() { echo "FAIL: $*"; exit 1; }

# readme DIR COMMAND: runs COMMAND in DIR (under the scratch top) once the README is seen to show it.
readme() {
  grep -qF -- "$2" "$src/README.md" || fail "README.md no longer shows: $2"
  echo "+ $2"
  local status=0
  (cd "$top/$1" && bash -c "$2") >"$top/log" 2>&1 || status=$?
  [ "$status" -eq 0 ] || { cat "$top/log"; fail "status $status from: $2"; }
}
expect() {
  for f in "$@"; do [ -e "$top/$f" ] || fail "no $f (the README names it)"; done
}

cp -r "$src/examples" "$top/examples"
mkdir "$top/entries"
cp "$src/tests/fixtures/1hpv.pdb.gz" "$top/entries/"

# One protein.
readme . 'cp -r examples/1hpv_b_8a . && cd 1hpv_b_8a'
readme 1hpv_b_8a 'velmorantique 1hpv_b_8a 1hpv_b_8a $(cat threshold)'
out=1hpv_b_8a/1hpv_b_8atwist/1hpv_b_8a
expect ${out}_bestResult.txt ${out}_rms.txt ${out}_summary.json ${out}_strandPoints.pdb ${out}_centroids.pdb \
  ${out}_centerPlane.pdb ${out}_normal.pdb ${out}_surfaceModel.pdb
ls "$top"/${out}_trans_*_orient_*_CAchain_0.pdb >/dev/null || fail "no C-alpha model of a candidate"

# From an entry to a table.
readme . 'velmorantique-prepare entries/1hpv.pdb.gz --list'
grep -q "eligible" "$top/log" || fail "--list names no eligible sheet"
readme . 'velmorantique-prepare entries/*.pdb.gz -o cases --resolution 6,8'
expect cases/1hpv_a_b_8a/{1hpv_a_b_8a.pdb,1hpv_a_b_8a.mrc,threshold,meta.json} cases/1hpv_a_b_6a
readme . 'velmorantique-batch -o results cases'
expect results/{results.tsv,bestResult.txt,rms.txt,report.html,cases.tsv}
expect results/cases/1hpv_a_b_8a/{record.json,1hpv_a_b_8a.log,1hpv_a_b_8a.err,1hpv_a_b_8a_view.pml,1hpv_a_b_8a_view.cxc}
[ "$(wc -l <"$top/results/results.tsv")" -eq 5 ] || fail "results.tsv is not a header and one row per case"
# The table read by Debian's Python and pandas, as the README shows it (where installed).
if /usr/bin/python3 -c "import pandas" 2>/dev/null; then
  readme . "$(grep -F '/usr/bin/python3 -c "import pandas' "$src/README.md" | sed 's/^ *//')"
  grep -q "1hpv_a_b_8a" "$top/log" || fail "pandas did not read results.tsv"
else
  echo "(pandas is not installed for /usr/bin/python3: the README's pandas line is not run)"
fi

# From a map without a model.
readme . 'velmorantique-find examples/synth_4x7_t18_8a/synth_4x7_t18_8a.mrc --resolution 8 -o found --around 0,0,0 --radius 20'
expect found/find.json found/synth_4x7_t18_8a_segments.{mrc,pml,cxc} found/synth_4x7_t18_8a_s1/{synth_4x7_t18_8a_s1.mrc,synth_4x7_t18_8a_s1.pdb,threshold,meta.json}
readme . 'velmorantique-batch -o found_results found'
expect found_results/report.html

# The bundled examples as a batch, then the report alone.
readme . 'velmorantique-batch -o example_results examples'
expect example_results/cases/{1hpv_b_8a,synth_4x7_t18_8a}/record.json
rm "$top/example_results/report.html" "$top"/example_results/cases/*/*_view.*
readme . 'velmorantique-batch --report example_results'
expect example_results/report.html example_results/cases/synth_4x7_t18_8a/synth_4x7_t18_8a_view.{pml,cxc}
echo "every README command ran"
