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

from cli_support import check, duration, finish, start_conversion

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

    # A name taken while the file is converted (another program, a second run with the same names):
    # the finished file goes beside it, the run says where, and succeeds.
    NTSC = os.path.join(DISCS, "ntsc_4x3")
    folder = os.path.join(out, "taken")
    p = start_conversion(CLI, [NTSC, "--out", folder, "--title", "1", "--profile", "5"])
    open(os.path.join(folder, "Title_01.mp4"), "w").write("another program's")
    _, rest = p.communicate(timeout=300)
    said = "".join(p.seen) + rest
    check(p.returncode == 0, f"a name taken meanwhile: exit {p.returncode}: {said[-600:]}")
    check("Title_01.mp4 appeared in the output folder while it was converted; the new file is Title_01 (2).mp4" in said,
          f"a name taken meanwhile is not said: {said[-600:]}")
    check(open(os.path.join(folder, "Title_01.mp4")).read() == "another program's", "the other file was touched")
    check(abs(duration(os.path.join(folder, "Title_01 (2).mp4")) - 8) < 0.5, "the new file beside it is not whole")

    # Names cut to their limit keep their numbers: with a 205-character name, two titles, two files,
    # also with --overwrite.
    folder = os.path.join(out, "long_names")
    long_name = "x" * 205
    r = run("convert", NTSC, "--out", folder, "--title", "1", "--title", "2", "--profile", "17", "--name", long_name,
            "--overwrite", "--quiet")
    made = sorted(os.listdir(folder)) if os.path.isdir(folder) else []
    check(r.returncode == 0 and len(made) == 2 and made[0] != made[1] and all(len(n.encode()) <= 255 for n in made),
          f"--name of 205 characters: {r.returncode} {made} {r.stderr[-300:]}")
    check([n[-7:] for n in made] == ["_01.mp3", "_02.mp3"], f"--name of 205 characters: {made}")

    # Parts left by a killed run: listed by the next run into the folder, never removed unasked;
    # --clean-parts removes them. A killed run's two-pass statistics go with the next run.
    folder = os.path.join(out, "killed")
    temporary = os.path.join(out, "tmp")
    os.makedirs(temporary)
    env = dict(os.environ, TMPDIR=temporary)
    for args in (["--profile", "5"], ["--profile", "5", "--two-pass"]):
        p = start_conversion(CLI, [NTSC, "--out", folder, "--title", "1", *args], env=env)
        p.kill()
        p.communicate()
    parts = [n for n in os.listdir(folder) if n.endswith(".part")]
    passes = [n for n in os.listdir(temporary) if n.startswith("zuzidero-passes-")]
    check(len(parts) == 1 and len(passes) == 1, f"a killed run left {parts} and {passes}")
    r = run("convert", NTSC, "--out", folder, "--title", "2", "--profile", "17", "--quiet", env=env)
    check(r.returncode == 0 and all(f"{os.path.join(folder, n)} was left by a conversion that was stopped (--clean-parts "
                                    "removes it)" in r.stderr for n in parts), f"orphaned parts not listed: {r.stderr}")
    check(all(os.path.exists(os.path.join(folder, n)) for n in parts), "an orphaned part was removed unasked")
    check(not any(n.startswith("zuzidero-passes-") for n in os.listdir(temporary)),
          f"the killed run's statistics stay: {os.listdir(temporary)}")
    r = run("convert", NTSC, "--out", folder, "--title", "3", "--profile", "17", "--quiet", "--clean-parts")
    check(r.returncode == 0 and not any(n.endswith(".part") for n in os.listdir(folder)),
          f"--clean-parts: {os.listdir(folder)} {r.stderr}")
    check(all(f"removed {os.path.join(folder, n)}" in r.stderr for n in parts), f"--clean-parts says nothing: {r.stderr}")
finally:
    shutil.rmtree(out, ignore_errors=True)

finish("hostile discs: no crash, no hang, no loss said as success")
