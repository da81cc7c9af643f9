#!/usr/bin/env python3
"""Builds a batch folder as the batch tool leaves it, for the report tests.

Each example is run with the analysis program in its own work folder; the
run summary is put together from what the run printed and the stage files
it wrote, and a batch record is written per case. One failed case (no
summary) is added, so the report shows a case that is not ok.

    make_batch.py --binary velmorantique --root DIR [--copies K]
                  [--compress] [--shape-for NAME] EXAMPLE_DIR...

Leaves DIR/OUT (the batch folder) and DIR/work (the runs).
"""
import argparse
import gzip
import json
import math
import os
import re
import shutil
import subprocess
import sys
import time


def read_points(path):
    opener = gzip.open if path.endswith(".gz") else open
    with opener(path, "rt") as f:
        return [(float(l[30:38]), float(l[38:46]), float(l[46:54])) for l in f if l.startswith("ATOM")]


def sub(a, b):
    return tuple(x - y for x, y in zip(a, b))


def unit(v):
    n = math.sqrt(sum(x * x for x in v))
    return tuple(x / n for x in v) if n > 0 else None


def dot(a, b):
    return sum(x * y for x, y in zip(a, b))


def split_lines(points, gap):
    lines = []
    for i, p in enumerate(points):
        if i == 0 or math.dist(points[i - 1], p) > gap:
            lines.append([])
        lines[-1].append(p)
    return lines


def mean_axis(lines):
    """Mean direction of lines, each turned to point like the first."""
    total, first = (0.0, 0.0, 0.0), None
    for line in lines:
        d = unit(sub(line[-1], line[0]))
        if d is None:
            continue
        first = first or d
        if dot(d, first) < 0:
            d = tuple(-x for x in d)
        total = tuple(x + y for x, y in zip(total, d))
    return unit(total)


def angle_between_axes(a, b):
    c = min(1.0, abs(dot(a, b)))
    return math.degrees(math.acos(c))


def sheet_ranges(pdb):
    """Residue ranges of the strands, in the order the reference axes are written: by first residue."""
    ranges = []
    with open(pdb) as f:
        for l in f:
            if l.startswith("SHEET"):
                ranges.append((int(l[22:26]), int(l[33:37])))
    return ["%d-%d" % r for r in sorted(ranges)]


def parse_run(stdout):
    """Candidates, top list and scores from what the analysis printed."""
    summary = {"candidates": {}, "top": [], "two_way": {}, "rms": {}}
    shift, current = 0, None
    for line in stdout.splitlines():
        if m := re.match(r"num of points = (\S+)", line):
            summary["points"] = int(m.group(1))
        elif m := re.match(r"RMSE sheet surface fitting error = (\S+)", line):
            summary["fitting_error"] = float(m.group(1))
        elif m := re.match(r"theta = (\S+)", line):
            summary["theta"] = float(m.group(1))
        elif m := re.match(r"sheet translation = (\d+)", line):
            shift = int(m.group(1))
        elif m := re.match(r"angle = (\d+)", line):
            angle = int(m.group(1))
            current = {"set": "trans_%d_orient_%d" % (shift, angle), "t": shift, "angle": angle,
                       "lines": 0, "accepted": False, "twists": [], "handedness": [],
                       "mean_twist": None, "std_twist": None, "main_twist": None}
            summary["candidates"][current["set"]] = current
        elif m := re.match(r"(\S+)   (\S+)$", line):
            if current is not None:
                current["handedness"].append(float(m.group(1)))
                current["twists"].append(float(m.group(2)))
        elif m := re.match(r"avg RH twist angle = (\S+)   std_dev = (\S+)", line):
            current["mean_twist"], current["std_twist"] = float(m.group(1)), float(m.group(2))
        elif m := re.match(r"avg of main RH twist angle = (\S+)", line):
            current["main_twist"], current["accepted"] = float(m.group(1)), True
        elif m := re.match(r"Top (\d+) twist (\S+):   trans (\d+) - orient (\d+)", line):
            summary["top"].append(("trans_%s_orient_%s" % (m.group(3), m.group(4)), float(m.group(2))))
        elif m := re.match(r"trans (\d+) - orient (\d+), DIST1 = \S+, DIST2 = \S+, 2-way = (\S+)", line):
            summary["two_way"]["trans_%s_orient_%s" % (m.group(1), m.group(2))] = float(m.group(3))
        elif m := re.match(r"trans (\d+) - orient (\d+), rms_Ma = (\S+), rms_Si = (\S+)", line):
            summary["rms"]["trans_%s_orient_%s" % (m.group(1), m.group(2))] = (float(m.group(3)), float(m.group(4)))
    for c in summary["candidates"].values():
        c["lines"] = len(c["twists"]) + 1 if c["twists"] else 0
    return summary


def stage(out_dir, name):
    path = os.path.join(out_dir, name)
    return path if os.path.exists(path) else path + ".gz"


def build_summary(name, work, out_dir, threshold, status, stdout):
    run = parse_run(stdout)
    meta = json.load(open(os.path.join(work, "meta.json")))
    normal_points = read_points(stage(out_dir, name + "_normal.pdb"))
    centre, normal = normal_points[0], unit(sub(normal_points[-1], normal_points[0]))
    reference = split_lines(read_points(stage(out_dir, name + "_strandPoints.pdb")), 1.0)
    ref_axis = mean_axis(reference)
    ranges = sheet_ranges(os.path.join(work, name + ".pdb"))
    top = []
    for rank, (set_name, main) in enumerate(run["top"], 1):
        lines = split_lines(read_points(stage(out_dir, "%s_%s.pdb" % (name, set_name))), 2.0)
        direction = mean_axis(lines)
        top.append({"rank": rank, "set": set_name, "main_twist": main, "direction": direction,
                    "lines": len(lines), "two_way": run["two_way"].get(set_name),
                    "rms_mean": run["rms"].get(set_name, (None, None))[0],
                    "rmsd": run["rms"].get(set_name, (None, None))[1],
                    "direction_error": angle_between_axes(direction, ref_axis)})
    chosen = None
    if top:
        best = min(top, key=lambda t: (t["two_way"], t["set"].split("_")[1], int(t["set"].split("_")[3])))
        best_rms = min(top, key=lambda t: t["rms_mean"])
        chosen = {"top_twist": top[0]["set"], "best_two_way": best["set"], "best_rms": best_rms["set"]}
    candidates = [run["candidates"].get("trans_%d_orient_%d" % (t, 10 * o),
                                        {"set": "trans_%d_orient_%d" % (t, 10 * o), "t": t, "angle": 10 * o,
                                         "lines": 0, "accepted": False, "twists": [], "handedness": [],
                                         "mean_twist": None, "std_twist": None, "main_twist": None})
                  for t in range(3) for o in range(18)]
    twists = meta.get("inter_strand_angles_deg", [])
    return {
        "format": "velmorantique-summary", "version": 1, "case": name,
        "exit_status": 0, "message": None, "warnings": [] if top else ["no_candidate"],
        "inputs": {"pdb": os.path.join(work, name + ".pdb"), "map": os.path.join(work, name + ".mrc"),
                   "threshold": threshold, "voxels_kept": run.get("points")},
        "sheet": {"points": run.get("points"), "centre": centre, "normal": normal,
                  "theta_deg": math.degrees(run.get("theta", 0.0)), "fitting_error": run.get("fitting_error")},
        "candidates": candidates, "top": top, "chosen": chosen,
        "reference": {"strands": len(reference), "residues": meta.get("sheet_residue_count"),
                      "strand_axes": [{"start": s[0], "end": s[-1], "residues": r}
                                      for s, r in zip(reference, ranges)],
                      "twists": twists, "mean_twist": sum(twists) / len(twists) if twists else None,
                      "mean_axis": ref_axis},
        "shape_direction": None, "shape_direction_error": None,
    }


def write_record(out, case, fields):
    folder = os.path.join(out, "cases", case)
    os.makedirs(folder, exist_ok=True)
    record = {"case": case, "fingerprint": {}, "finished": True}
    record.update(fields)
    with open(os.path.join(folder, "record.json"), "w") as f:
        json.dump(record, f, indent=1)
    return folder


def run_example(binary, example, root, out, compress, shape):
    name = os.path.basename(os.path.normpath(example))
    work = os.path.join(root, "work", name)
    shutil.copytree(example, work, ignore=shutil.ignore_patterns("*twist"))
    threshold = open(os.path.join(work, "threshold")).read().strip()
    start = time.time()
    proc = subprocess.run([binary, name, name, threshold], cwd=work, capture_output=True, text=True,
                          stdin=subprocess.DEVNULL)
    seconds = time.time() - start
    out_dir = os.path.join(work, name + "twist")
    if compress:
        for f in os.listdir(out_dir):
            if f.endswith(".pdb"):
                p = os.path.join(out_dir, f)
                with open(p, "rb") as src, gzip.open(p + ".gz", "wb") as dst:
                    dst.write(src.read())
                os.remove(p)
    summary = build_summary(name, work, out_dir, float(threshold), proc.returncode, proc.stdout)
    if shape:
        # A direction a few degrees off the reference axis, in the sheet plane.
        ref, n = summary["reference"]["mean_axis"], summary["sheet"]["normal"]
        side = unit((n[1] * ref[2] - n[2] * ref[1], n[2] * ref[0] - n[0] * ref[2], n[0] * ref[1] - n[1] * ref[0]))
        summary["shape_direction"] = unit(tuple(r + 0.12 * s for r, s in zip(ref, side)))
        summary["shape_direction_error"] = angle_between_axes(summary["shape_direction"], ref)
    summary_path = os.path.join(out_dir, name + "_summary.json")
    with open(summary_path, "w") as f:
        json.dump(summary, f, indent=1)
    status = "ok" if proc.returncode == 0 and summary["top"] else "no_candidate" if proc.returncode == 0 else "failed"
    folder = write_record(out, name, {
        "case_dir": work, "pdb_base": name, "map_base": name, "threshold": threshold,
        "output_dir": out_dir + "/", "summary": summary_path, "meta": os.path.join(work, "meta.json"),
        "status": status, "message": None, "exit_status": proc.returncode, "seconds": seconds,
        "output_bytes": sum(os.path.getsize(os.path.join(out_dir, f)) for f in os.listdir(out_dir))})
    open(os.path.join(folder, name + ".log"), "w").write(proc.stdout)
    open(os.path.join(folder, name + ".err"), "w").write(proc.stderr)
    return name


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--binary", required=True)
    parser.add_argument("--root", required=True)
    parser.add_argument("--copies", type=int, default=1, help="cases per example (copies share one run)")
    parser.add_argument("--compress", action="store_true", help="gzip the stage files of every second example")
    parser.add_argument("--shape-for", default="", help="give this case a shape direction")
    parser.add_argument("examples", nargs="+")
    args = parser.parse_args()
    args.binary = os.path.abspath(args.binary)
    out = os.path.join(args.root, "OUT")
    os.makedirs(os.path.join(out, "cases"), exist_ok=True)
    for i, example in enumerate(args.examples):
        name = run_example(args.binary, example, args.root, out, args.compress and i % 2 == 1,
                           os.path.basename(os.path.normpath(example)) == args.shape_for)
        record = json.load(open(os.path.join(out, "cases", name, "record.json")))
        for k in range(2, args.copies + 1):
            copy = "%s_copy%d" % (name, k)
            folder = os.path.join(out, "cases", copy)
            shutil.copytree(os.path.join(out, "cases", name), folder)
            for ext in (".log", ".err"):
                os.rename(os.path.join(folder, name + ext), os.path.join(folder, copy + ext))
            write_record(out, copy, dict(record, case=copy))
    folder = write_record(out, "broken_map", {
        "case_dir": os.path.join(args.root, "work", "broken_map"), "pdb_base": "broken_map",
        "map_base": "broken_map", "threshold": "0.05", "output_dir": None, "summary": None, "meta": None,
        "status": "failed", "message": "the map broken_map.mrc could not be read: file is shorter than its header",
        "exit_status": 1, "seconds": 0.01, "output_bytes": 0})
    open(os.path.join(folder, "broken_map.log"), "w").write("")
    open(os.path.join(folder, "broken_map.err"), "w").write("map file too short\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
