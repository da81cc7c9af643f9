#!/usr/bin/env python3
"""The finder's split of the shared structures by homology group.

Writes bench/find_split.tsv (columns entry, split, chains, protein, sheets),
readable by find_train and find_accuracy with --entries ../shared/data/structures.
Run once; the file is committed and fixed before any measurement.

A group holding a Debian entry of bench/calibration/entries.tsv (by its
`group` column, its file's groups in debian_entry_groups.tsv, and those of the
other entries of its protein) takes that entry's side, so that neither split puts a homologue of the other's proteins
on its own side (held_out wins when a group's entries disagree). Every other
group goes to held_out when the CRC-32 of its name is 0-2 modulo 10 (about
30% of the groups): fixed by the names alone, not by what a group holds.

usage: bench/find_split.py [STRUCTURES_DIR] [OUT.tsv]
"""
import csv
import os
import sys
import zlib

here = os.path.dirname(os.path.abspath(__file__))
structures = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "..", "shared", "data", "structures")
out_path = sys.argv[2] if len(sys.argv) > 2 else os.path.join(here, "find_split.tsv")


def rows(path):
    with open(path, newline="") as f:
        return list(csv.DictReader(f, delimiter="\t"))


manifest = rows(os.path.join(structures, "MANIFEST.tsv"))
debian_groups = rows(os.path.join(structures, "debian_entry_groups.tsv"))
calibration = rows(os.path.join(here, "calibration", "entries.tsv"))

groups_of_file = {}
for r in debian_groups:
    groups_of_file.setdefault(r["package_file"], set()).add(r["homology_group"])

# A protein's groups: those of any of its entries' files (some files are not
# listed, but a sibling entry of the same protein is).
groups_of_protein = {}
for r in calibration:
    found = groups_of_file.get(r["path"], set()) | groups_of_file.get(r["path"] + ".gz", set())
    if r.get("group"):
        found.add(r["group"])
    groups_of_protein.setdefault(r["protein"], set()).update(found)

side_of_group = {}
for r in calibration:
    for g in groups_of_protein[r["protein"]]:
        if side_of_group.get(g) != "held_out":
            side_of_group[g] = r["split"]


def side(group):
    if group in side_of_group:
        return side_of_group[group]
    return "held_out" if zlib.crc32(group.encode()) % 10 < 3 else "tuning"


with open(out_path, "w", newline="") as f:
    w = csv.writer(f, delimiter="\t", lineterminator="\n")
    w.writerow(["entry", "split", "chains", "protein", "sheets"])
    for r in manifest:
        entry = r["file"][: -len(".pdb.gz")]
        g = r["homology_group"]
        w.writerow([entry, side(g), "all", g, r["sheets_of_3_or_more_strands_dssp"]])
