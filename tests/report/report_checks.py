"""What the report tests share: a real batch of the bundled examples with its
report, the verdicts, and the pixels of a PNG (8-bit RGB or RGBA, not
interlaced) to check that a rendering shows something. Only the standard
library."""
import math
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zlib

SKIP = 77  # ctest's SKIP_RETURN_CODE for these tests
HERE = os.path.dirname(os.path.abspath(__file__))


def fail(message):
    print("FAIL: " + message)
    sys.exit(1)


def batch_with_report(batch, examples, *options, broken=False, copy_as=()):
    """Copies of the examples run by velmorantique-batch into a fresh OUT, which
    leaves OUT/report.html; returns (root, OUT). With broken, two cases that do
    not finish join them: broken_map (no map: refused) and no_threshold (no
    threshold file: failed). Each name in copy_as is one more copy of the
    first example, under that name."""
    root = tempfile.mkdtemp(prefix="vel_report_")
    cases = os.path.join(root, "cases")
    for example in examples:
        name = os.path.basename(os.path.normpath(example))
        shutil.copytree(example, os.path.join(cases, name), ignore=shutil.ignore_patterns("*twist"))
    stem = os.path.basename(os.path.normpath(examples[0]))
    first = os.path.join(cases, stem)
    copies = [(name, (stem + ".pdb", stem + ".mrc", "threshold")) for name in copy_as]
    if broken:
        copies += [("broken_map", (stem + ".pdb", "threshold")), ("no_threshold", (stem + ".pdb", stem + ".mrc"))]
    for name, files in copies:
        os.makedirs(os.path.join(cases, name))
        for f in files:
            shutil.copy(os.path.join(first, f), os.path.join(cases, name, f.replace(stem, name)))
    out = os.path.join(root, "OUT")
    run = subprocess.run([batch, "-o", out, "--jobs", "2"] + list(options) + [cases],
                         capture_output=True, text=True, stdin=subprocess.DEVNULL, timeout=600)
    # 2: some case did not run with status 0, and every table and the report are still written.
    if run.returncode != (2 if broken else 0) or not os.path.isfile(os.path.join(out, "report.html")):
        fail("velmorantique-batch ended with %d:\n%s%s" % (run.returncode, run.stdout[-2000:], run.stderr[-2000:]))
    return root, out


def read_png(path):
    """(width, height, rows): rows of (r, g, b) tuples."""
    data = open(path, "rb").read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("%s is not a PNG" % path)
    pos, idat, width = 8, b"", 0
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            if depth != 8 or colour not in (2, 6) or interlace:
                raise ValueError("unsupported PNG layout in %s" % path)
            channels = 3 if colour == 2 else 4
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    raw = zlib.decompress(idat)
    stride = width * channels
    rows, previous = [], bytearray(stride)
    for y in range(height):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - channels] if i >= channels else 0
            b, c = previous[i], previous[i - channels] if i >= channels else 0
            if kind == 1:
                line[i] = (line[i] + a) & 255
            elif kind == 2:
                line[i] = (line[i] + b) & 255
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append([tuple(line[x * channels:x * channels + 3]) for x in range(width)])
        previous = line
    return width, height, rows


def drawn_fraction(rows):
    """Share of pixels that differ from the most common (background) colour, and the colour count."""
    counts = {}
    for row in rows:
        for px in row:
            counts[px] = counts.get(px, 0) + 1
    total = sum(counts.values())
    return 1.0 - max(counts.values()) / total, len(counts)


def write_rod_map(path, n=40):
    """A whole map with no sheet: a rod of density along z (MRC, 32-bit floats, 1 Å voxels)."""
    header = bytearray(1024)
    struct.pack_into("<3i", header, 0, n, n, n)
    struct.pack_into("<i", header, 12, 2)
    struct.pack_into("<3i", header, 28, n, n, n)
    struct.pack_into("<3f", header, 40, n, n, n)
    struct.pack_into("<3f", header, 52, 90, 90, 90)
    struct.pack_into("<3i", header, 64, 1, 2, 3)
    header[208:212] = b"MAP "
    header[212:216] = bytes([0x44, 0x44, 0, 0])
    column = [math.exp(-((i - n / 2) ** 2 + (j - n / 2) ** 2) / 8.0) for j in range(n) for i in range(n)]
    with open(path, "wb") as f:
        f.write(header)
        f.write(struct.pack("<%df" % (n * n), *column) * n)


SHEET_NAME = "synth_5x8_tm18_a_a_8a"


def found_batch(batch, source):
    """velmorantique-find on two whole maps, an ideal sheet of five strands
    that velmorantique-prepare simulates at 8 A (one sheet) and a rod (none),
    each into its own folder, then velmorantique-batch over both folders;
    returns (root, OUT, the maps' names)."""
    find = os.path.join(os.path.dirname(batch), "velmorantique-find")
    prepare = os.path.join(os.path.dirname(batch), "velmorantique-prepare")
    root = tempfile.mkdtemp(prefix="vel_found_")
    rod = os.path.join(root, "rod.mrc")
    write_rod_map(rod)
    run = subprocess.run([prepare, "--synthetic", "--strands", "5", "--length", "8", "-o", os.path.join(root, "made")],
                         capture_output=True, text=True, stdin=subprocess.DEVNULL, timeout=300)
    if run.returncode != 0:
        fail("velmorantique-prepare --synthetic ended with %d:\n%s" % (run.returncode, run.stderr[-2000:]))
    sheet = os.path.join(root, "made", SHEET_NAME, SHEET_NAME + ".mrc")
    folders = []
    for name, path in (("with_sheet", sheet), ("without_sheet", rod)):
        folders.append(os.path.join(root, "found", name))
        run = subprocess.run([find, path, "--resolution", "8", "-o", folders[-1]], capture_output=True, text=True,
                             stdin=subprocess.DEVNULL, timeout=300)
        if run.returncode != 0:
            fail("velmorantique-find on %s ended with %d:\n%s" % (path, run.returncode, run.stderr[-2000:]))
    out = os.path.join(root, "R")
    run = subprocess.run([batch, "-o", out, "--jobs", "2"] + folders, capture_output=True, text=True,
                         stdin=subprocess.DEVNULL, timeout=600)
    if run.returncode != 0 or not os.path.isfile(os.path.join(out, "report.html")):
        fail("velmorantique-batch over find's folders ended with %d:\n%s%s" % (run.returncode, run.stdout[-2000:],
                                                                             run.stderr[-2000:]))
    return root, out, (SHEET_NAME, "rod")
