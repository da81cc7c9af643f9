#!/usr/bin/env python3
"""The batch report of the bundled examples, as a browser shows it.

Runs velmorantique-batch over copies of the examples (stage files
gzip-compressed), with a case that has no map (refused) and one that has no
threshold (failed), and checks that the report.html it writes:
  - the page parses as HTML5 without errors and every picture as XML;
  - nothing is fetched from elsewhere (the page opens offline);
  - every case has its section, every finished case its picture and charts,
    the cases that did not finish their messages, and the links point at
    files that exist;
  - headless Chromium renders it to a PNG of the asked size that is not blank,
    and its DOM holds every section and picture.

    report_page_test.py VELMORANTIQUE_BATCH SOURCE_DIR
Exit 77 (skipped) when chromium or the HTML/XML parsers are not installed.
"""
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import urllib.parse

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from report_checks import SKIP, batch_with_report, drawn_fraction, fail, read_png  # noqa: E402


def chromium(args, workdir):
    browser = shutil.which("chromium") or shutil.which("chromium-browser")
    profile = tempfile.mkdtemp(dir=workdir)
    command = [browser, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
               "--disable-background-networking", "--disable-component-update", "--disable-sync",
               "--disable-dev-shm-usage",
               "--user-data-dir=" + profile] + args
    return subprocess.run(command, capture_output=True, text=True, timeout=120, stdin=subprocess.DEVNULL)


def main():
    batch, source = sys.argv[1:3]
    try:
        import html5lib
        from lxml import etree
    except ImportError as e:
        print("SKIP: the HTML5/XML parsers are not installed (%s); scripts/ensure_deps.sh installs them" % e)
        return SKIP
    if not (shutil.which("chromium") or shutil.which("chromium-browser")):
        print("SKIP: chromium is not installed; scripts/ensure_deps.sh installs it")
        return SKIP
    examples = sorted(os.path.join(source, "examples", e) for e in os.listdir(os.path.join(source, "examples")))
    root, out = batch_with_report(batch, examples, "--compress", broken=True)
    page_path = os.path.join(out, "report.html")
    page = open(page_path, encoding="utf-8").read()
    cases = sorted(os.listdir(os.path.join(out, "cases")))
    # What each case that did not finish must show: its status and its message.
    unfinished = {"broken_map": ("refused", "Map file ( broken_map.mrc )"),
                  "no_threshold": ("failed", "no threshold file")}
    finished = [c for c in cases if c not in unfinished]
    if len(finished) != len(examples):
        fail("cases %s, expected the examples and %s" % (cases, sorted(unfinished)))
    # A refused run still leaves its summary (the reference strands, read before the map): it is drawn too.
    drawn_cases = [c for c in cases
                   if json.load(open(os.path.join(out, "cases", c, "record.json"))).get("summary")]
    if sorted(drawn_cases) != sorted(finished + ["broken_map"]):
        fail("cases with a run summary: %s" % drawn_cases)

    # Strict HTML5: any parse error fails.
    try:
        html5lib.HTMLParser(strict=True, namespaceHTMLElements=False).parse(page)
    except Exception as e:
        fail("report.html is not clean HTML5: %s" % e)
    svgs = re.findall(r"<svg\b.*?</svg>", page, re.S)
    for svg in svgs:
        try:
            etree.fromstring(svg.encode("utf-8"))
        except etree.XMLSyntaxError as e:
            fail("a picture is not well-formed XML: %s\n%s" % (e, svg[:300]))
    if re.search(r"\b(src|href)\s*=\s*\"(https?:|//)|@import|url\(", page):
        fail("report.html refers to something outside itself")
    if re.search(r">[^<]*\b(nan|inf)\b", page) or "=\"nan" in page or "=\"inf" in page:
        fail("a value is printed as nan or inf")

    # Every case has its section; those with a summary their picture and both charts.
    for case in cases:
        section = re.search(r'<section class="case" id="case-%s">(.*?)</section>' % re.escape(case), page, re.S)
        if not section:
            fail("no section for case " + case)
        pictures = section.group(1).count("<svg")
        if pictures != (3 if case in drawn_cases else 0):
            fail("case %s has %d pictures" % (case, pictures))
        if case in finished and "Sheet of %s seen down its normal" % case not in section.group(1):
            fail("case %s has no sheet picture" % case)
        if case in finished and section.group(1).count("<polyline") < 4:
            fail("case %s shows no strand lines (stage files not read?)" % case)
    for case, (status, message) in unfinished.items():
        section = re.search(r'id="case-%s">(.*?)</section>' % case, page, re.S).group(1)
        if status not in section or message not in section:
            fail("case %s does not show its status and message (%s: %s)" % (case, status, message))
    if page.count('<a href="#case-') != len(cases):
        fail("the table does not link every case to its section")
    for href in re.findall(r'href="([^"#][^"]*)"', page):
        target = os.path.normpath(os.path.join(out, urllib.parse.unquote(href.replace("&amp;", "&"))))
        if not os.path.exists(target):
            fail("link to a missing file: " + href)
    for case in finished:
        for ext in ("pml", "cxc"):
            if not os.path.isfile(os.path.join(out, "cases", case, "%s_view.%s" % (case, ext))):
                fail("no %s viewer script for %s" % (ext, case))

    # What a browser shows: a PNG of the asked size with a drawn page, and a DOM with every section.
    png = os.path.join(root, "report.png")
    shot = chromium(["--screenshot=" + png, "--window-size=1100,1500", "file://" + page_path], root)
    if not os.path.isfile(png):
        fail("chromium wrote no screenshot: " + shot.stderr[-2000:])
    width, height, rows = read_png(png)
    if (width, height) != (1100, 1500):
        fail("screenshot is %dx%d, asked for 1100x1500" % (width, height))
    drawn, colours = drawn_fraction(rows)
    if drawn < 0.05 or colours < 50:
        fail("the page looks blank: %.3f of pixels drawn, %d colours" % (drawn, colours))
    dom = chromium(["--dump-dom", "file://" + page_path], root).stdout
    for case in cases:
        if 'id="case-%s"' % case not in dom:
            fail("rendered page has no section for " + case)
    if dom.count("<svg") != len(svgs) or len(svgs) != 3 + 3 * len(drawn_cases):
        fail("rendered page has %d pictures, the file %d, expected %d" % (dom.count("<svg"), len(svgs),
                                                                          3 + 3 * len(drawn_cases)))
    # Every finished case carries its verdict as a badge beside its status.
    for level in re.findall(r'<span class="trust trust-(\w+)"', dom):
        if level not in ("high", "medium", "low", "none"):
            fail("unknown trust level " + level)
    if len(re.findall(r'<span class="trust trust-(?:high|medium|low)"', dom)) != 2 * len(finished):
        fail("a finished case lacks its trust badge in the table or its section")
    # Clicking a column title sorts the rows by it: main twist, ascending then descending.
    def main_twists(dom_text):
        body = re.search(r'<table class="sortable">.*?<tbody>(.*?)</tbody>', dom_text, re.S).group(1)
        return [re.findall(r'data-v="([^"]*)"', row)[3] for row in re.findall(r"<tr>(.*?)</tr>", body, re.S)]
    clicked = os.path.join(out, "clicked.html")
    click = "document.querySelectorAll('table.sortable th')[3]"
    open(clicked, "w", encoding="utf-8").write(page.replace("</body>", "<script>%s.click();</script>\n</body>" % click))
    ascending = main_twists(chromium(["--dump-dom", "file://" + clicked], root).stdout)
    open(clicked, "w", encoding="utf-8").write(
        page.replace("</body>", "<script>%s.click(); %s.click();</script>\n</body>" % (click, click)))
    descending = main_twists(chromium(["--dump-dom", "file://" + clicked], root).stdout)
    values = sorted(float(v) for v in ascending if v)
    empty = [""] * len(unfinished)
    if ascending != ["%g" % v for v in values] + empty or descending != ["%g" % v for v in reversed(values)] + empty:
        fail("sorting by main twist gave %s then %s" % (ascending, descending))
    shutil.rmtree(root, ignore_errors=True)
    print("report of %d cases: %d pictures, %.0f%% of the screenshot drawn" % (len(cases), len(svgs), drawn * 100))
    return 0


if __name__ == "__main__":
    sys.exit(main())
