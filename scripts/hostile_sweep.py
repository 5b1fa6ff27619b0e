#!/usr/bin/env python3
"""Runs zuzidero-cli over many hostile cases made from the test discs and counts what went wrong:
crashes (killed by a signal), hangs (no end within the time limit), sanitizer findings (a report on
stderr) and losses reported as success (exit status 0 with a file shorter than what it should hold).

The cases, drawn at random:
  first-play  the tied-titles disc with one to three random first-play commands (info, then
              convert --title main): the main title must be one of the two
  vts-ifo     the damage source with random bytes written into the tables of its VTS_01_0.IFO
              (its backup intact): the title must convert whole, 20 s
  fifo        one of a disc's files replaced by a FIFO: refused (exit 2)
  sparse      an MPEG file with a hole of random size inside or before its data
  bluray      the Blu-ray folder with folders, links, FIFOs and one-byte files named like its
              playlists, clip information and clips
  options     profile 107 with options that would do nothing: refused (exit 2)

Usage: hostile_sweep.py ZUZIDERO_CLI DISCS_FOLDER [CASES [SEED]]
"""
import json
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile

cli, discs = sys.argv[1], os.path.abspath(sys.argv[2])
cases = int(sys.argv[3]) if len(sys.argv) > 3 else 60
rng = random.Random(int(sys.argv[4]) if len(sys.argv) > 4 else 1)
verbose = os.environ.get("VERBOSE") == "1"
SECTOR = 2048
TIME_LIMIT = 300
counts = {"cases": 0, "crashes": 0, "hangs": 0, "sanitizer": 0, "losses": 0, "wrong": 0}


def duration(path):
    out = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0", path],
                         capture_output=True, text=True).stdout.strip()
    try:
        return float(out)
    except ValueError:
        return 0.0


def run(args, what):
    """Runs the tool; None when it crashed or hung (counted), else (status, stdout, stderr)."""
    try:
        r = subprocess.run([cli, *args], capture_output=True, text=True, errors="replace", timeout=TIME_LIMIT)
    except subprocess.TimeoutExpired:
        counts["hangs"] += 1
        print(f"HANG: {what}: {args}")
        return None
    if r.returncode < 0 or r.returncode > 3:
        counts["crashes"] += 1
        print(f"CRASH ({r.returncode}): {what}: {args}\n{r.stderr[-1500:]}")
        return None
    if "Sanitizer" in r.stderr or "runtime error:" in r.stderr:
        counts["sanitizer"] += 1
        print(f"SANITIZER: {what}: {args}\n{r.stderr[-1500:]}")
        return None
    return r.returncode, r.stdout, r.stderr


def wrong(condition, text):
    if not condition:
        counts["wrong"] += 1
        print("WRONG: " + text)


def linked_copy(source, target):
    shutil.copytree(source, target, copy_function=os.link)
    return target


def patch(path, change):
    data = bytearray(open(path, "rb").read())
    change(data)
    os.remove(path)  # the copy's own file, not the linked one
    open(path, "wb").write(data)


def first_play(work):
    disc = linked_copy(os.path.join(discs, "tied_titles"), os.path.join(work, "disc"))
    commands = []
    for _ in range(rng.randint(1, 3)):
        kind = rng.choice([0x00, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70, 0x71, 0x76])
        commands.append(bytes([kind, rng.choice([1, 2, 3, 4, 5, 6, 7, 8, 9, 0xd, 0xe, 0xf])] +
                              [rng.choice([0, 0, 1, 2, 0x63, 0xff, 0x80, 0x10]) for _ in range(6)]))

    def change(data):
        chain = struct.unpack(">I", data[0x84:0x88])[0]
        table = chain + struct.unpack(">H", data[chain + 0xE4:chain + 0xE6])[0]
        data[table:table + 8] = struct.pack(">HHHH", len(commands), 0, 0, 7 + 8 * len(commands))
        for i, command in enumerate(commands):
            data[table + 8 + 8 * i:table + 16 + 8 * i] = command

    for name in ("VIDEO_TS.IFO", "VIDEO_TS.BUP"):
        patch(os.path.join(disc, "VIDEO_TS", name), change)
    what = "first play " + " ".join(c.hex() for c in commands)
    r = run(["info", disc, "--json"], what)
    if r:
        mains = [t["title"] for t in json.loads(r[1])["titles"] if t["main"]] if r[0] == 0 else []
        wrong(r[0] == 0 and mains in ([1], [2]), f"{what}: exit {r[0]}, main {mains}")
    out = os.path.join(work, "out")
    r = run(["convert", disc, "--out", out, "--title", "main", "--profile", "17", "--quiet"], what)
    if r and r[0] == 0:
        made = os.listdir(out)
        if len(made) != 1 or abs(duration(os.path.join(out, made[0])) - 5) > 0.5:
            counts["losses"] += 1
            print(f"LOSS: {what}: {made}")


def vts_ifo(work):
    disc = linked_copy(os.path.join(discs, "damage_source"), os.path.join(work, "disc"))
    ifo = os.path.join(disc, "VIDEO_TS", "VTS_01_0.IFO")
    done = []

    def change(data):
        # Somewhere in the chapter table or the program chains (the sectors after the header).
        for _ in range(rng.randint(1, 6)):
            at = rng.randrange(SECTOR, len(data))
            length = rng.choice([1, 2, 4, 8])
            data[at:at + length] = bytes(rng.choice([0, 0xFF, rng.randrange(256)]) for _ in range(length))
            done.append(f"{length} bytes at {at:#x}")

    patch(ifo, change)
    what = "VTS IFO: " + ", ".join(done)
    out = os.path.join(work, "out")
    r = run(["convert", disc, "--out", out, "--profile", "17", "--quiet"], what)
    if r:
        status, _, err = r
        made = os.listdir(out) if os.path.isdir(out) else []
        length = duration(os.path.join(out, made[0])) if made else 0
        # The backup is intact: the whole title, or a loss that is said (exit 3).
        if status == 0 and abs(length - 20) > 1:
            counts["losses"] += 1
            print(f"LOSS: {what}: exit 0 with {length:.1f} s")
        wrong(status in (0, 3), f"{what}: exit {status}: {err[-300:]}")


def fifo(work):
    disc = linked_copy(os.path.join(discs, rng.choice(["ntsc_4x3", "pal_16x9", "two_sets"])), os.path.join(work, "disc"))
    names = sorted(os.listdir(os.path.join(disc, "VIDEO_TS")))
    name = rng.choice(names)
    os.remove(os.path.join(disc, "VIDEO_TS", name))
    os.mkfifo(os.path.join(disc, "VIDEO_TS", name))
    for args in (["info", disc], ["convert", disc, "--out", os.path.join(work, "out"), "--profile", "17", "--quiet"]):
        r = run(args, "FIFO as " + name)
        if r:
            wrong(r[0] == 2 and "is a FIFO" in r[2], f"FIFO as {name}: {args[0]} exit {r[0]}")


def sparse(work):
    vob = open(os.path.join(discs, "damage_source", "VIDEO_TS", "VTS_01_1.VOB"), "rb").read()
    path = os.path.join(work, "holey.mpg")
    cut = rng.randrange(0, len(vob) // SECTOR) * SECTOR
    hole = rng.choice([1, 64, 1024, 4096, 20480]) << 20
    with open(path, "wb") as f:
        f.write(vob[:cut])
        f.seek(cut + hole)
        f.write(vob[cut:])
    what = f"a hole of {hole >> 20} MB at {cut}"
    out = os.path.join(work, "out")
    r = run(["convert", path, "--out", out, "--profile", "17", "--quiet"], what)
    if r:
        made = os.listdir(out) if os.path.isdir(out) else []
        length = duration(os.path.join(out, made[0])) if made else 0
        # The data is all there, only apart: the whole 20 s of it.
        if r[0] in (0, 3) and abs(length - 20) > 1:
            counts["losses"] += 1
            print(f"LOSS: {what}: exit {r[0]} with {length:.1f} s")
        wrong(r[0] in (0, 3), f"{what}: exit {r[0]}: {r[2][-300:]}")


def bluray(work):
    folder = linked_copy(os.path.join(discs, "bluray"), os.path.join(work, "bd"))
    done = []
    for _ in range(rng.randint(1, 4)):
        sub, extension = rng.choice([("PLAYLIST", ".mpls"), ("CLIPINF", ".clpi"), ("STREAM", ".m2ts")])
        name = os.path.join(folder, "BDMV", sub, f"{rng.choice([1, 2, 3, 10, 11]):05d}{extension}")
        if os.path.isdir(name) and not os.path.islink(name):
            shutil.rmtree(name)
        elif os.path.lexists(name):
            os.remove(name)
        kind = rng.choice(["folder", "link-up", "fifo", "one-byte", "passwd"])
        if kind == "folder":
            os.mkdir(name)
        elif kind == "link-up":
            os.symlink("..", name)
        elif kind == "fifo":
            os.mkfifo(name)
        elif kind == "one-byte":
            open(name, "wb").write(b"x")
        else:
            os.symlink("/etc/passwd", name)
        done.append(f"{kind} {sub}/{os.path.basename(name)}")
    what = "Blu-ray: " + ", ".join(done)
    r = run(["info", folder], what)
    out = os.path.join(work, "out")
    r = run(["convert", folder, "--out", out, "--profile", "17", "--quiet"], what)


def options(work):
    picks = rng.sample([["--crop", "0,0,100,100"], ["--crop", "auto"], ["--subtitle", "BD20"], ["--rate", "25"],
                        ["--deinterlace", "on"], ["--brightness", "90"], ["--hue", "10"], ["--two-pass"], ["--quality", "20"],
                        ["--bit-depth", "10"], ["--speed", "fast"], ["--volume", "100"], ["--zoom", "1"]], rng.randint(1, 3))
    args = [a for p in picks for a in p]
    out = os.path.join(work, "out")
    r = run(["convert", os.path.join(discs, "ntsc_4x3"), "--out", out, "--profile", "107", "--quiet", *args], " ".join(args))
    if r:
        # Refused before anything is made: for what the profile does not do, or options that
        # contradict each other.
        wrong(r[0] == 2 and "zuzidero-cli: " in r[2] and not os.path.exists(out), f"profile 107 with {args}: exit {r[0]}")


KINDS = [first_play, vts_ifo, fifo, sparse, bluray, options]
for n in range(cases):
    kind = KINDS[n % len(KINDS)] if n < len(KINDS) else rng.choice(KINDS)
    work = tempfile.mkdtemp(prefix="zuzidero-hostile-sweep-")
    try:
        counts["cases"] += 1
        if verbose:
            print(f"case {n}: {kind.__name__}", flush=True)
        kind(work)
    finally:
        shutil.rmtree(work, ignore_errors=True)

print(json.dumps(counts))
sys.exit(1 if counts["crashes"] or counts["hangs"] or counts["sanitizer"] or counts["losses"] or counts["wrong"] else 0)
