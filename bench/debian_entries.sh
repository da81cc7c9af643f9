#!/usr/bin/env bash
# velmorantique-prepare over the structure files that Debian's packages ship
# (PDB and mmCIF, plain or gzipped), fetched with apt-get download into a
# scratch folder and unpacked there, never into the repository.
#
# Per package it counts:
#  - entries read, and those without sheet records;
#  - the cases their sheets give: from the records alone (--assign records,
#    what prepare could do before DSSP), and with the default --assign auto
#    (DSSP where the file has no records), in both cases on every chain;
#  - multi-chain entries: their chains that hold amino acids, how many give a
#    case with --chain all, and how many with the default (the first chain).
# Cases are written at 8 Å, as the default prepares them.
#
# usage: bench/debian_entries.sh [BUILD_DIR] [WORK_DIR]
set -euo pipefail
src="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$src/build}" && pwd)"
prepare="$build/velmorantique-prepare"
work="${2:-$(mktemp -d)}"
mkdir -p "$work"
packages=(${PACKAGES:-pymol-data python-biopython-doc python3-pdbfixer python3-prody-tests mustang-testdata theseus-examples
          pdb2pqr-doc libball1.5-data freesasa r-cran-bio3d concavity edtsurf})

cd "$work"
for p in "${packages[@]}"; do
  if [ ! -d "unpacked/$p" ]; then
    ls "$p"_*.deb >/dev/null 2>&1 || apt-get download "$p" >/dev/null
    mkdir -p "unpacked/$p"
    dpkg-deb -x "$p"_*.deb "unpacked/$p"
  fi
done

# listing FILE MODE CHAIN: the --list output (empty when the entry gives nothing).
listing() { "$prepare" "$1" --list --assign "$2" ${3:+--chain "$3"} 2>/dev/null || true; }
# cases FILE MODE CHAIN: the names of the cases written.
cases() {
  rm -rf out
  "$prepare" "$1" -o out --assign "$2" ${3:+--chain "$3"} 2>/dev/null >/dev/null || true
  ls out 2>/dev/null || true
}

# chainsOf: how many chains the case names on stdin come from (names are
# entry_chain_sheet_resolution, and an entry's name may hold "_").
chainsOf() { sed -E 's/_[^_]+_[^_]+$//; s/.*_//' | { grep . || true; } | sort -u | wc -l; }

printf '%-22s %7s %9s %14s %12s %12s %14s %14s\n' package entries no_sheets no_sheet_cases records_cases auto_cases \
  multi_chains chains_w_cases
total=(0 0 0 0 0 0 0 0)
for p in "${packages[@]}"; do
  entries=0 noSheets=0 noSheetCases=0 recordCases=0 autoCases=0 multiChains=0 allChains=0 firstChains=0
  while IFS= read -r f; do
    listed=$(listing "$f" records all)
    chains=$(sed -n 's/^[^ ]*  chains //p' <<<"$listed" | head -1)
    [ -n "$chains" ] || continue  # not a structure prepare can read
    entries=$((entries + 1))
    protein=$(tr ',' '\n' <<<"$chains" | grep -vc "no amino acids" || true)
    records=$(cases "$f" records all | wc -l)
    auto=$(cases "$f" auto all)
    autoCount=$(grep -c . <<<"$auto" || true)
    recordCases=$((recordCases + records))
    autoCases=$((autoCases + autoCount))
    if ! grep -q "  sheet " <<<"$listed"; then
      noSheets=$((noSheets + 1))
      noSheetCases=$((noSheetCases + autoCount))
    fi
    if [ "$protein" -gt 1 ]; then
      multiChains=$((multiChains + protein))
      # Case names are entry_chain_sheet_resolution: the chains that gave a case.
      allChains=$((allChains + $(chainsOf <<<"$auto")))
      firstChains=$((firstChains + $(cases "$f" auto "" | chainsOf)))
    fi
  done < <(find "unpacked/$p" -type f \( -iname '*.pdb' -o -iname '*.pdb.gz' -o -iname '*.cif' -o -iname '*.cif.gz' \
             -o -iname '*.ent' -o -iname '*.ent.gz' \) | sort)
  printf '%-22s %7d %9d %14d %12d %12d %14s %14s\n' "$p" "$entries" "$noSheets" "$noSheetCases" "$recordCases" \
    "$autoCases" "$multiChains" "$allChains (first: $firstChains)"
  row=("$entries" "$noSheets" "$noSheetCases" "$recordCases" "$autoCases" "$multiChains" "$allChains" "$firstChains")
  for i in "${!row[@]}"; do total[$i]=$((total[$i] + row[$i])); done
done
printf '%-22s %7d %9d %14d %12d %12d %14s %14s\n' total "${total[0]}" "${total[1]}" "${total[2]}" "${total[3]}" \
  "${total[4]}" "${total[5]}" "${total[6]} (first: ${total[7]})"
