#!/usr/bin/env python3
"""A case's PyMOL viewer script, as velmorantique-batch writes it for a copy of a
bundled example, run by PyMOL without a window: it must load
everything it names (map, mesh, reference, best set, bonded C-alpha chains)
and draw a picture that is not blank. The script of a case whose name holds
PyMOL's command separator and Python runs no command of the name's.

    pymol_view_test.py VELMORANTIQUE_BATCH SOURCE_DIR
Exit 77 (skipped) when PyMOL is not installed.
"""
import glob
import os
import re
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from report_checks import SKIP, batch_with_report, drawn_fraction, fail, found_batch, read_png  # noqa: E402

# What PyMOL prints when a line of a script goes wrong: a Python error (a
# comment split at ';'), an unknown command, a file it could not load.
ERROR_LINE = re.compile(r"Error|Traceback|Unknown command|not found|Invalid|unable to", re.I)


def error_lines(printed):
    return [line for line in printed.splitlines() if ERROR_LINE.search(line)]


def every_script_runs(pymol, batch, source, env):
    """Every viewer script of a batch over find's output (each case's, and the
    find folders' segment scripts) runs in PyMOL without an error line; the
    scripts of a case without a model draw its shape direction."""
    root, out, _ = found_batch(batch, source)
    scripts = sorted(glob.glob(os.path.join(out, "cases", "*", "*_view.pml")) +
                     glob.glob(os.path.join(root, "found", "*", "*_segments.pml")))
    if len(scripts) < 3:
        fail("expected the cases' and both find folders' scripts, found %s" % scripts)
    for script in scripts:
        names = os.path.join(root, "names.txt")
        run = subprocess.run([pymol, "-cq", script, "-d", "open(%r, 'w').write(' '.join(cmd.get_names()))" % names],
                             capture_output=True, text=True, timeout=300, stdin=subprocess.DEVNULL, cwd=root, env=env)
        errors = error_lines(run.stdout + run.stderr)
        if errors or not os.path.isfile(names):
            fail("PyMOL on %s printed errors:\n%s" % (script, "\n".join(errors) or run.stdout[-2000:]))
        loaded = open(names).read().split()
        if script.endswith("_view.pml") and "shape_direction" not in loaded:
            fail("%s draws no shape direction (objects: %s)" % (script, loaded))
        if script.endswith("_segments.pml") and "whole_mesh" not in loaded:
            fail("%s shows no mesh of the map (objects: %s)" % (script, loaded))
    shutil.rmtree(root, ignore_errors=True)
    return len(scripts)


def pymol_python_folder():
    """The folder of a python3 that can import pymol: this one's, else Debian's."""
    for folder in (os.path.dirname(sys.executable), "/usr/bin"):
        python = os.path.join(folder, "python3")
        if os.path.exists(python) and subprocess.run([python, "-c", "import pymol"], stdin=subprocess.DEVNULL,
                                                     capture_output=True).returncode == 0:
            return folder
    return None


def main():
    batch, source = sys.argv[1:3]
    pymol = shutil.which("pymol")
    if not pymol:
        print("SKIP: PyMOL is not installed; scripts/ensure_deps.sh installs it")
        return SKIP
    # PyMOL splits a line at ';' before it reads '#' as a comment: a name like
    # this one, written into any line, would run its Python.
    crafted = "v;z = __import__('os').system('touch PYMOL_PWNED') #"
    root, out = batch_with_report(batch, [os.path.join(source, "examples", "1hpv_b_8a")], copy_as=[crafted])
    script = os.path.join(out, "cases", "1hpv_b_8a", "1hpv_b_8a_view.pml")
    png = os.path.join(root, "view.png")
    counts = os.path.join(root, "counts.txt")
    # After the script: what was loaded, how many C-alpha bonds, then a ray-traced picture.
    check = ("python\n"
             "names = cmd.get_names('objects')\n"
             "bonds = sum(cmd.count_atoms(n) and len(cmd.get_model(n).bond) for n in names if n.startswith('best_ca_'))\n"
             "open(%r, 'w').write(' '.join(sorted(names)) + '\\n' + str(bonds) + '\\n')\n"
             "python end\n"
             "png %s, width=480, height=360, ray=1\n") % (counts, png)
    check_path = os.path.join(root, "check.pml")
    open(check_path, "w").write(check)
    # Debian's launcher runs the first python3 on PATH, which must be the one
    # PyMOL is installed for (/usr/bin/python3), not a pyenv, conda or
    # virtualenv Python that comes first.
    folder = pymol_python_folder()
    if folder is None:
        print("SKIP: no python3 on PATH or in /usr/bin imports PyMOL's module")
        return SKIP
    env = dict(os.environ, PATH=folder + os.pathsep + os.environ.get("PATH", ""))
    run = subprocess.run([pymol, "-cq", script, check_path], capture_output=True, text=True, timeout=300,
                         stdin=subprocess.DEVNULL, cwd=root, env=env)
    if not os.path.isfile(png):
        fail("PyMOL wrote no picture:\n" + run.stdout[-3000:] + run.stderr[-3000:])
    if error_lines(run.stdout + run.stderr):
        fail("PyMOL printed errors on %s:\n%s" % (script, "\n".join(error_lines(run.stdout + run.stderr))))
    names, bonds = open(counts).read().split("\n")[:2]
    for expected in ("sheet_map", "sheet_mesh", "reference", "best_lines", "best_ca_0"):
        if expected not in names.split():
            fail("the script did not load %s (objects: %s)\n%s" % (expected, names, run.stdout[-2000:]))
    if int(bonds) < 5:
        fail("the C-alpha chains have %s bonds" % bonds)
    hostile = os.path.join(out, "cases", crafted, crafted + "_view.pml")
    if not os.path.isfile(hostile):
        fail("no viewer script for the case named " + crafted)
    subprocess.run([pymol, "-cq", hostile], capture_output=True, text=True, timeout=300, stdin=subprocess.DEVNULL,
                   cwd=root, env=env)
    pwned = [os.path.join(d, "PYMOL_PWNED") for d in (root, os.path.dirname(hostile))]
    if any(os.path.exists(p) for p in pwned):
        fail("loading the script of a case named %r ran a command of its name" % crafted)
    width, height, rows = read_png(png)
    drawn, colours = drawn_fraction(rows)
    if (width, height) != (480, 360) or drawn < 0.02 or colours < 20:
        fail("PyMOL's picture looks blank: %dx%d, %.3f drawn, %d colours" % (width, height, drawn, colours))
    shutil.rmtree(root, ignore_errors=True)
    scripts = every_script_runs(pymol, batch, source, env)
    print("%d scripts of a batch over find's output ran without an error line" % scripts)
    print("PyMOL loaded %s; %s C-alpha bonds; %.0f%% of the picture drawn" % (names, bonds, drawn * 100))
    return 0


if __name__ == "__main__":
    sys.exit(main())
