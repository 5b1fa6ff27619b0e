#!/usr/bin/env python3
"""Converts many randomly damaged copies of a test disc with zuzidero-cli and counts what went wrong:
crashes (killed by a signal), hangs (no end within the time limit), and losses reported as success
(exit status 0 with a file shorter than the title by more than a second).

Usage: damage_sweep.py ZUZIDERO_CLI SOURCE_DISC [CASES [SEED]]
  SOURCE_DISC: a VIDEO_TS folder's parent with one title (the test discs' damage_source)
"""
import os
import random
import shutil
import subprocess
import sys
import tempfile

cli, source = sys.argv[1], sys.argv[2]
cases = int(sys.argv[3]) if len(sys.argv) > 3 else 60
rng = random.Random(int(sys.argv[4]) if len(sys.argv) > 4 else 1)
verbose = os.environ.get("VERBOSE") == "1"
SECTOR = 2048


def duration(path):
    out = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0", path],
                         capture_output=True, text=True).stdout.strip()
    return float(out) if out else 0.0


def damage(folder):
    """One or more of: zeroed or random stretches of the VOB, a cut VOB, flipped bits in an IFO or
    BUP, a cut IFO or BUP. Returns what was done, for the report."""
    video_ts = os.path.join(folder, "VIDEO_TS")
    vob = os.path.join(video_ts, "VTS_01_1.VOB")
    size = os.path.getsize(vob)
    done = []
    for _ in range(rng.randint(1, 3)):
        kind = rng.choice(["zeros", "random", "cut", "bits", "cut-ifo"])
        if kind in ("zeros", "random"):
            at = rng.randrange(0, size // SECTOR) * SECTOR
            length = rng.choice([SECTOR, 16 * SECTOR, 256 * SECTOR, 2048 * SECTOR])
            with open(vob, "r+b") as f:
                f.seek(at)
                f.write(bytes(length) if kind == "zeros" else rng.randbytes(length))
            done.append(f"{kind} {length // SECTOR} sectors at {at // SECTOR}")
        elif kind == "cut":
            cut = rng.randrange(1, size // SECTOR) * SECTOR
            with open(vob, "r+b") as f:
                f.truncate(cut)
            size = cut
            done.append(f"VOB cut at sector {cut // SECTOR}")
        else:
            name = rng.choice(["VIDEO_TS.IFO", "VIDEO_TS.BUP", "VTS_01_0.IFO", "VTS_01_0.BUP"])
            path = os.path.join(video_ts, name)
            data = bytearray(open(path, "rb").read())
            if kind == "bits":
                for _ in range(rng.randint(1, 20)):
                    data[rng.randrange(len(data))] ^= 1 << rng.randrange(8)
                done.append(f"bits flipped in {name}")
            else:
                data = data[:rng.randrange(len(data))]
                done.append(f"{name} cut to {len(data)} bytes")
            open(path, "wb").write(data)
    return done


import json  # noqa: E402
title = json.loads(subprocess.run([cli, "info", source, "--json"], capture_output=True, text=True,
                                  check=True).stdout)["titles"][0]["durationMs"] / 1000
counts = {"tried": 0, "crashes": 0, "hangs": 0, "losses reported as success": 0}
statuses = {}
work = tempfile.mkdtemp(prefix="zuzidero-sweep-")
try:
    for case in range(cases):
        disc = os.path.join(work, f"disc{case}")
        shutil.copytree(source, disc)
        what = damage(disc)
        out = os.path.join(work, f"out{case}")
        counts["tried"] += 1
        try:
            r = subprocess.run([cli, "convert", disc, "--out", out, "--quiet"], capture_output=True,
                               text=True, timeout=300)
        except subprocess.TimeoutExpired:
            counts["hangs"] += 1
            print(f"hang: {what}")
            continue
        statuses[r.returncode] = statuses.get(r.returncode, 0) + 1
        if verbose:
            print(f"exit {r.returncode}: {what}")
        if r.returncode < 0 or r.returncode >= 128:
            counts["crashes"] += 1
            print(f"crash ({r.returncode}): {what}")
        elif r.returncode == 0:
            files = [os.path.join(out, f) for f in os.listdir(out)] if os.path.isdir(out) else []
            if not files or duration(files[0]) < title - 1.0:
                counts["losses reported as success"] += 1
                print(f"loss reported as success: {what}: {files}")
        shutil.rmtree(disc, ignore_errors=True)
        shutil.rmtree(out, ignore_errors=True)
finally:
    shutil.rmtree(work, ignore_errors=True)
print(counts, "exit statuses:", dict(sorted(statuses.items())))
sys.exit(0 if counts["crashes"] == counts["hangs"] == counts["losses reported as success"] == 0 else 1)
