#!/usr/bin/env python3
"""From whole maps without a model to one table and one report, as a new user
goes: velmorantique-find on two maps (one gives a sheet, one none), then
velmorantique-batch -o R FOUND1 FOUND2. Checks that:
  - results.tsv has a row per found sheet with its map, centre, shape
    direction, shape twist and verdicts (direction, is a sheet, twist range),
    and a no_sheet row naming the other map;
  - report.html (strict HTML5) shows every sheet in the table of cases without
    a model with the same values, names the map without a sheet, draws no plot
    that is empty and has no "no reference" column;
  - headless Chromium renders it, with every section and picture.

    found_maps_test.py VELMORANTIQUE_BATCH SOURCE_DIR
Exit 77 (skipped) when chromium or the HTML parser is not installed.
"""
import csv
import os
import re
import shutil
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from report_checks import SKIP, drawn_fraction, fail, found_batch, read_png  # noqa: E402
from report_page_test import chromium  # noqa: E402


def main():
    batch, source = sys.argv[1:3]
    try:
        import html5lib
    except ImportError as e:
        print("SKIP: the HTML5 parser is not installed (%s); scripts/ensure_deps.sh installs it" % e)
        return SKIP
    if not (shutil.which("chromium") or shutil.which("chromium-browser")):
        print("SKIP: chromium is not installed; scripts/ensure_deps.sh installs it")
        return SKIP
    root, out, (with_sheet, without_sheet) = found_batch(batch, source)

    rows = list(csv.DictReader(open(os.path.join(out, "results.tsv")), delimiter="\t"))
    sheets = [r for r in rows if r["status"] != "no_sheet"]
    empty = [r for r in rows if r["status"] == "no_sheet"]
    if not sheets or any(r["map"] != with_sheet for r in sheets):
        fail("results.tsv: the found sheets with their map: %s" % [(r["case"], r["map"]) for r in sheets])
    for r in sheets:
        for column in ("sheet_centre_x", "sheet_centre_y", "sheet_centre_z", "shape_direction_x",
                       "shape_direction_y", "shape_direction_z", "shape_twist", "sheet_area", "sheet_probability"):
            if r[column] == "NA":
                fail("results.tsv: %s has no %s" % (r["case"], column))
        for column in ("confidence", "sheet_confidence", "twist_confidence"):
            if r[column] not in ("high", "medium", "low"):
                fail("results.tsv: %s has no %s (%r)" % (r["case"], column, r[column]))
        if not float(r["twist_from"]) <= float(r["shape_twist"]) <= float(r["twist_to"]):
            fail("results.tsv: %s's twist range %s to %s" % (r["case"], r["twist_from"], r["twist_to"]))
    if [(r["case"], r["map"]) for r in empty] != [(without_sheet, without_sheet)] or "no sheet" not in empty[0]["message"]:
        fail("results.tsv does not name the map without a sheet: %s" % empty)

    page = open(os.path.join(out, "report.html"), encoding="utf-8").read()
    try:
        html5lib.HTMLParser(strict=True, namespaceHTMLElements=False).parse(page)
    except Exception as e:
        fail("report.html is not clean HTML5: %s" % e)
    if re.search(r">\s*no reference\s*<", page) or "compared with the reference strands" in page:
        fail("the report of cases without a model speaks of a reference")
    table = re.search(r'<h2 id="found">.*?</table>', page, re.S)
    if not table:
        fail("no table of the sheets without a model")
    for r in sheets:
        row = re.search(r'<tr><td class="name" data-v="%s">.*?</tr>' % re.escape(r["case"]), table.group(0), re.S)
        if not row:
            fail("the table lacks %s" % r["case"])
        shown = row.group(0)
        expected = [with_sheet, "%.3f" % float(r["sheet_centre_x"]), "%.3f" % float(r["shape_direction_y"]),
                    "%.1f" % float(r["shape_twist"]), "trust-" + r["confidence"],
                    "trust-" + r["sheet_confidence"], "trust-" + r["twist_confidence"]]
        for value in expected:
            if value not in shown:
                fail("the row of %s does not show %s:\n%s" % (r["case"], value, shown))
    maps = re.search(r'<h2 id="maps">.*?<h2 id="meaning">', page, re.S)
    if not maps or without_sheet not in maps.group(0) or "No sheet found in this map" not in maps.group(0):
        fail("the report does not name the map without a sheet")
    if "Map %s seen down z" % with_sheet not in maps.group(0):
        fail("no picture of the map with a sheet")
    # No empty plot: no batch plot without a reference to plot against, no chart without lines.
    svgs = re.findall(r"<svg\b.*?</svg>", page, re.S)
    if not svgs:
        fail("no picture at all")
    for words in ("no lines to compare", "nothing to draw", "no candidates in the summary", "The batch at a glance"):
        if words in page:
            fail("an empty plot: %s" % words)

    png = os.path.join(root, "found.png")
    shot = chromium(["--screenshot=" + png, "--window-size=1100,1500", "file://" + os.path.join(out, "report.html")],
                    root)
    if not os.path.isfile(png):
        fail("chromium wrote no screenshot: " + shot.stderr[-2000:])
    drawn, colours = drawn_fraction(read_png(png)[2])
    if drawn < 0.05 or colours < 50:
        fail("the page looks blank: %.3f of pixels drawn, %d colours" % (drawn, colours))
    dom = chromium(["--dump-dom", "file://" + os.path.join(out, "report.html")], root).stdout
    if dom.count("<svg") != len(svgs) or any('id="case-%s"' % r["case"] not in dom for r in sheets):
        fail("the rendered page lacks a section or a picture")
    shutil.rmtree(root, ignore_errors=True)
    print("%d found sheets and %d map without a sheet in one report, %d pictures" % (len(sheets), len(empty), len(svgs)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
