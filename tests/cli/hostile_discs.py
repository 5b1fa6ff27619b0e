#!/usr/bin/env python3
"""Hostile discs and hostile surroundings, as zuzidero-cli meets them: first-play commands that make
libdvdnav assert or crash, ... Every case ends with an exit status and a message of its own, never a
crash, a hang, or a loss reported as success.

Usage: hostile_discs.py ZUZIDERO_CLI DISCS_FOLDER
"""
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile

from cli_support import check, duration, finish

CLI, DISCS = sys.argv[1], sys.argv[2]
HOSTILE = os.path.join(DISCS, "hostile")
CASES = json.load(open(os.path.join(DISCS, "hostile.json")))


def run(*args, env=None, timeout=300):
    return subprocess.run([CLI, *args], capture_output=True, text=True, env=env, timeout=timeout)


def ended_well(r, what):
    """No crash: an exit status of the tool's own (0-3), not a signal."""
    check(0 <= r.returncode <= 3, f"{what}: exit status {r.returncode}: {r.stderr[-600:]}")


out = tempfile.mkdtemp(prefix="zuzidero-hostile-")
try:
    # First-play commands that crash libdvdnav: the walk's helper dies, the program does not; the
    # tie is broken by the rule (the first listed of the longest), and the debug log says why.
    debug = dict(os.environ, ZUZIDERO_DEBUG="1")
    for name in sorted(n for n, c in CASES.items() if c["kind"] == "first-play"):
        disc = os.path.join(HOSTILE, name)
        r = run("info", disc, "--json", env=debug)
        ended_well(r, f"info {name}")
        mains = [t["title"] for t in json.loads(r.stdout)["titles"] if t["main"]] if r.returncode == 0 else []
        check(len(mains) == 1, f"info {name}: main titles {mains}")
        if name.startswith("fp_") and name != "fp_divide":
            check(mains == [1], f"info {name}: main titles {mains}, wanted the first listed")
            check("the first play is not followed (the helper was killed by signal 6" in r.stderr,
                  f"info {name}: the debug log does not say why: {r.stderr[-800:]}")
    folder = os.path.join(out, "first_play")
    os.makedirs(folder)
    r = run("convert", os.path.join(HOSTILE, "fp_jump_title_99"), "--out", folder, "--title", "main", "--profile", "17",
            "--quiet")
    check(r.returncode == 0 and os.listdir(folder) == ["Title_01.mp3"], f"convert --title main: {r.returncode} {r.stderr}")
    check(abs(duration(os.path.join(folder, "Title_01.mp3")) - 5) < 0.5 if r.returncode == 0 else False,
          "convert --title main: the title's length")
finally:
    shutil.rmtree(out, ignore_errors=True)

finish("hostile discs: no crash, no hang, no loss said as success")
