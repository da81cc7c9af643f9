#!/usr/bin/env bash
# Fetches the calibration set's entries from Debian packages into DIR, outside
# the repository, and makes each one ready for the preparation library:
#
#   bash bench/calibration/fetch_entries.sh DIR [entries.tsv]
#
# DIR/debs/ keeps the downloaded packages, DIR/pkg/ their unpacked files, and
# DIR/entries/ one structure file per row of the list, named ENTRY.pdb or
# ENTRY.cif. Rows whose sheets come from `records` are copied as they are.
# Rows marked `dssp` have no usable SHEET records (none at all, or residue
# numbers with insertion codes): their first model's ATOM records are
# renumbered 1, 2, 3... per chain and mkdssp assigns the sheets, written as
# an mmCIF file with its sheet ranges. Needs apt-get, dpkg-deb and mkdssp
# (Debian package dssp).
set -euo pipefail

dir=${1:?usage: fetch_entries.sh DIR [entries.tsv]}
list=${2:-$(dirname "$0")/entries.tsv}
mkdir -p "$dir/debs" "$dir/pkg" "$dir/entries"
dir=$(cd "$dir" && pwd)

command -v mkdssp >/dev/null || { echo "mkdssp is missing: apt-get install dssp" >&2; exit 1; }

# One download per package named in the list.
for p in $(awk -F'\t' 'NR > 1 && $1 != "" {print $1}' "$list" | sort -u); do
  if [ ! -d "$dir/pkg/$p" ]; then
    (cd "$dir/debs" && apt-get download "$p" >/dev/null 2>&1) || { echo "apt-get download $p failed" >&2; exit 1; }
    dpkg-deb -x "$dir"/debs/"$p"_*.deb "$dir/pkg/$p"
  fi
done

# The first model's ATOM records, residues renumbered from 1 in each chain
# (insertion codes dropped, first alternate location only), behind a HEADER line that mkdssp asks for.
renumbered() {
  zcat -f "$1" | awk -v id="$2" '
    BEGIN { printf "HEADER    PROTEIN                                 01-JAN-00   %-4s\n", toupper(substr(id, 1, 4)) }
    /^ENDMDL/ { exit }
    /^ATOM  / {
      alt = substr($0, 17, 1)
      if (alt != " " && alt != "A") next
      $0 = substr($0, 1, 16) " " substr($0, 18)
      chain = substr($0, 22, 1); key = substr($0, 22, 6)
      if (key != last[chain]) { last[chain] = key; n[chain]++ }
      printf "%s%4d %s\n", substr($0, 1, 22), n[chain], substr($0, 28)
    }
    /^TER/ { print "TER" }
    END { print "END" }'
}

awk -F'\t' 'NR > 1 && $1 != "" {print $1 "\t" $2 "\t" $3 "\t" $5}' "$list" |
while IFS=$'\t' read -r pkg path entry source; do
  src="$dir/pkg/$pkg/$path"
  [ -f "$src" ] || { echo "$pkg has no $path" >&2; exit 1; }
  if [ "$source" = records ]; then
    case "$path" in
      *.cif|*.cif.gz) out="$dir/entries/$entry.cif" ;;
      *) out="$dir/entries/$entry.pdb" ;;
    esac
    [ -s "$out" ] || zcat -f "$src" > "$out"
  else
    out="$dir/entries/$entry.cif"
    if [ ! -s "$out" ]; then
      renumbered "$src" "$entry" > "$dir/entries/$entry.dssp-input.pdb"
      mkdssp --write-experimental "$dir/entries/$entry.dssp-input.pdb" "$out" 2>"$dir/entries/$entry.dssp.log" ||
        { echo "mkdssp failed on $entry (see $dir/entries/$entry.dssp.log)" >&2; rm -f "$out"; continue; }
      rm -f "$dir/entries/$entry.dssp-input.pdb"
    fi
  fi
  echo "$entry"
done
