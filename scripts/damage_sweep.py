#!/usr/bin/env python3
"""Converts many randomly damaged copies of a test disc with zuzidero-cli and counts what went wrong:
crashes (killed by a signal), hangs (no end within the time limit), and losses reported as success
(exit status 0 with files shorter than the source by more than a second).

Usage: damage_sweep.py ZUZIDERO_CLI SOURCE [CASES [SEED]]
  SOURCE: a VIDEO_TS folder's parent with one title (the test discs' damage_source), an MPEG file
  (media/clip.ts, clip.mpg, eac3_dts.m2ts) or a Blu-ray folder (bluray)
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


def damage_bytes(path, kind, done):
    """Zeros or random bytes somewhere in a file, at its start or at its end, or the file cut."""
    size = os.path.getsize(path)
    name = os.path.basename(path)
    if kind == "cut":
        cut = rng.randrange(1, max(2, size // SECTOR)) * SECTOR
        with open(path, "r+b") as f:
            f.truncate(cut)
        done.append(f"{name} cut at sector {cut // SECTOR}")
        return
    length = min(size, rng.choice([SECTOR, 16 * SECTOR, 64 * SECTOR, 256 * SECTOR, 2048 * SECTOR]))
    at = 0 if kind == "start" else size - length if kind == "end" else rng.randrange(0, max(1, (size - length) // SECTOR)) * SECTOR
    with open(path, "r+b") as f:
        f.seek(at)
        f.write(rng.randbytes(length) if kind == "random" else bytes(length))
    done.append(f"{kind}: {length // SECTOR} sectors of {name} at {at // SECTOR}")


def damage_file(path):
    """One or two of: a damaged opening, a damaged end, zeros or random bytes inside, a cut file."""
    done = []
    for _ in range(rng.randint(1, 2)):
        damage_bytes(path, rng.choice(["start", "end", "zeros", "random", "cut"]), done)
    return done


def damage_bluray(folder):
    """One or more of: a damaged playlist (cut, flipped bits, a clip name that is not five digits, IN
    after OUT), a missing clip, a clip's opening or end zeroed."""
    bdmv = os.path.join(folder, "BDMV")
    playlists = sorted(os.listdir(os.path.join(bdmv, "PLAYLIST")))
    clips = sorted(os.listdir(os.path.join(bdmv, "STREAM")))
    done = []
    for _ in range(rng.randint(1, 3)):
        kind = rng.choice(["playlist-cut", "playlist-bits", "clip-name", "in-after-out", "missing-clip", "clip-start",
                           "clip-end"])
        if kind.startswith("playlist") or kind in ("clip-name", "in-after-out"):
            name = rng.choice(playlists)
            path = os.path.join(bdmv, "PLAYLIST", name)
            data = bytearray(open(path, "rb").read())
            at = data.find(b"M2TS") - 5
            if kind == "playlist-cut":
                data = data[:rng.randrange(len(data))]
            elif kind == "playlist-bits":
                for _ in range(rng.randint(1, 10)):
                    data[rng.randrange(len(data))] ^= 1 << rng.randrange(8)
            elif kind == "clip-name" and at >= 0:
                data[at + rng.randrange(5)] = ord("x")
            elif kind == "in-after-out" and at >= 0:
                data[at + 12:at + 20] = data[at + 16:at + 20] + data[at + 12:at + 16]
            open(path, "wb").write(data)
            done.append(f"{kind}: {name}")
        elif kind == "missing-clip":
            name = rng.choice(clips)
            path = os.path.join(bdmv, "STREAM", name)
            if os.path.exists(path):
                os.remove(path)
            done.append(f"missing clip {name}")
        else:
            path = os.path.join(bdmv, "STREAM", rng.choice(clips))
            if os.path.exists(path):
                damage_bytes(path, "start" if kind == "clip-start" else "end", done)
    return done


def damage(folder):
    """One or more of: zeroed or random stretches of the VOB (at the title's start too), a cut VOB,
    flipped bits in an IFO or BUP, a cut IFO or BUP. Returns what was done, for the report."""
    video_ts = os.path.join(folder, "VIDEO_TS")
    vob = os.path.join(video_ts, "VTS_01_1.VOB")
    size = os.path.getsize(vob)
    done = []
    for _ in range(rng.randint(1, 3)):
        kind = rng.choice(["zeros", "random", "start", "cut", "bits", "cut-ifo"])
        if kind == "start":
            damage_bytes(vob, "start", done)
        elif kind in ("zeros", "random"):
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
listed = json.loads(subprocess.run([cli, "info", source, "--json"], capture_output=True, text=True, check=True).stdout)
# What a whole conversion of every title of 3 s or more gives.
title = sum(t["durationMs"] for t in listed["titles"] if t["durationMs"] >= 3000) / 1000
bluray = os.path.isdir(os.path.join(source, "BDMV"))
single_file = os.path.isfile(source)
counts = {"tried": 0, "crashes": 0, "hangs": 0, "losses reported as success": 0}
statuses = {}
work = tempfile.mkdtemp(prefix="zuzidero-sweep-")
try:
    for case in range(cases):
        disc = os.path.join(work, f"disc{case}" + (os.path.splitext(source)[1] if single_file else ""))
        if single_file:
            shutil.copy(source, disc)
            what = damage_file(disc)
        else:
            shutil.copytree(source, disc)
            what = damage_bluray(disc) if bluray else damage(disc)
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
            # Less than the source gives, and not a word said about it (a Blu-ray folder names the
            # playlists it cannot read: their clips are titles of their own or play in others).
            if (not files or sum(duration(f) for f in files) < title - 1.0) and not r.stderr.strip():
                counts["losses reported as success"] += 1
                print(f"loss reported as success: {what}: {files}")
        if single_file:
            os.remove(disc)
        else:
            shutil.rmtree(disc, ignore_errors=True)
        shutil.rmtree(out, ignore_errors=True)
finally:
    shutil.rmtree(work, ignore_errors=True)
print(counts, "exit statuses:", dict(sorted(statuses.items())))
sys.exit(0 if counts["crashes"] == counts["hangs"] == counts["losses reported as success"] == 0 else 1)
