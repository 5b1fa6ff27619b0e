#!/usr/bin/env python3
"""zuzidero-cli on the damaged copies of the damage fixture: no crash or hang; the file runs to the
title's end (or to what exists of it); what could not be read is reported where the damage lies
(within a second, by the time stamps ffprobe finds in the damaged bytes of the undamaged disc);
picture and sound stay in step after a gap; the exit status says what happened.

Usage: damaged_discs.py ZUZIDERO_CLI DISCS_FOLDER
"""
import json
import math
import os
import re
import shutil
import subprocess
import sys
import tempfile

from cli_support import check, duration, finish, flashes_and_clicks

CLI, DISCS = sys.argv[1], sys.argv[2]
TITLE_SECONDS = 20.02  # 600 pictures at 29.97


def packets(vob):
    """(byte position, time from the title's start) of every packet ffprobe finds with both."""
    out = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "packet=pos,pts_time,stream_index", "-of", "csv=p=0",
                          vob], capture_output=True, text=True, check=True).stdout
    found = []
    for line in out.splitlines():
        fields = line.split(",")
        if len(fields) < 3 or "N/A" in fields[1:3]:
            continue
        found.append((int(fields[2]), float(fields[1])))
    first = min(t for _, t in found)
    return [(p, t - first) for p, t in found]


def expected_gap(source_packets, byte_range, to_the_end):
    inside = [t for p, t in source_packets if byte_range[0] <= p < byte_range[1]]
    return min(inside), TITLE_SECONDS if to_the_end else max(inside)


def seconds(clock):
    h, m, s = clock.split(":")
    return int(h) * 3600 + int(m) * 60 + int(s)


damage = json.load(open(os.path.join(DISCS, "damage.json")))
source = packets(os.path.join(DISCS, "damage_source", "VIDEO_TS", "VTS_01_1.VOB"))
out = tempfile.mkdtemp(prefix="zuzidero-damage-")
try:
    # name: (the damaged bytes run to the VOB's end, exit status)
    cases = {"damaged_zeros": (False, 3), "damaged_random": (False, 3), "damaged_random_small": (False, 3),
             "damaged_start": (False, 3),
             "damaged_half_vob": (True, 3),
             "damaged_missing_part": (True, 3), "damaged_scrambled": (False, 3), "damaged.iso": (True, 3)}
    for name, (to_end, status) in cases.items():
        folder = os.path.join(out, name)
        try:
            r = subprocess.run([CLI, "convert", os.path.join(DISCS, name), "--out", folder, "--quiet"],
                               capture_output=True, text=True, timeout=600)
        except subprocess.TimeoutExpired:
            check(False, f"{name}: no end after 10 minutes")
            continue
        check(r.returncode == status, f"{name}: exit {r.returncode}, not {status}: {r.stderr[-300:]!r}")
        report = re.search(r"Title_01\.mp4: (?:[0-9.]+|under 0\.1) s could not be read, at (\d\d:\d\d:\d\d)\u2013(\d\d:\d\d:\d\d)",
                           r.stderr)
        check(report is not None, f"{name}: no report of what could not be read: {r.stderr!r}")
        start, stop = expected_gap(source, damage[name], to_end)
        if report:
            got_start, got_stop = seconds(report.group(1)), seconds(report.group(2))
            check(abs(got_start - math.floor(start)) <= 1 and abs(got_stop - math.ceil(stop)) <= 1,
                  f"{name}: reported {report.group(1)}–{report.group(2)}, the damage lies at {start:.2f}–{stop:.2f} s")
        file = os.path.join(folder, "Title_01.mp4")
        check(not [n for n in os.listdir(folder) if n.endswith(".part")], f"{name}: a .part file is left")
        length = duration(file)
        wanted = start if to_end else TITLE_SECONDS
        check(abs(length - wanted) < 0.7, f"{name}: {length:.2f} s written, not {wanted:.2f}")
        if name in ("damaged_zeros", "damaged_random", "damaged_start"):
            # The flashes after the gap keep their tones.
            flashes, clicks = flashes_and_clicks(file)
            check(len(flashes) >= 5 and len(flashes) == len(clicks), f"{name}: flashes {flashes}, clicks {clicks}")
            late = [(f, c) for f, c in zip(flashes, clicks) if f > stop]
            check(late and all(abs(f - c) <= 1001 / 30000 + 0.002 for f, c in late),
                  f"{name}: out of step after the gap: {late}")

    # Titles that hold nothing that can be read are unusable discs (exit 2), said so, and leave no
    # file: a title set whose IFO and BUP are damaged alike, a VOB of zeros, a VOB of one sector.
    for name, why in [("damaged_vts_ifo", "its title set's IFO and BUP are damaged"),
                      ("damaged_all_zeros", "holds nothing that can be read"),
                      ("damaged_one_sector", "holds nothing that can be read")]:
        folder = os.path.join(out, name)
        r = subprocess.run([CLI, "convert", os.path.join(DISCS, name), "--out", folder, "--quiet"],
                           capture_output=True, text=True, timeout=600)
        check(r.returncode == 2 and why in r.stderr, f"{name}: exit {r.returncode}: {r.stderr!r}")
        left = os.listdir(folder) if os.path.isdir(folder) else []
        check(left == [], f"{name}: left {left}")

    # IFO and BUP of the video manager cut short: no disc, and why.
    r = subprocess.run([CLI, "convert", os.path.join(DISCS, "damaged_ifo"), "--out", os.path.join(out, "ifo")],
                       capture_output=True, text=True, timeout=120)
    check(r.returncode == 2 and "VIDEO_TS.IFO and its backup cannot be read" in r.stderr,
          f"damaged_ifo: exit {r.returncode}: {r.stderr!r}")
    r = subprocess.run([CLI, "info", os.path.join(DISCS, "damaged_ifo")], capture_output=True, text=True, timeout=60)
    check(r.returncode == 2, f"info damaged_ifo: exit {r.returncode}")

    # A cell that claims sectors far past the VOB: kept to the VOB, nothing lost, a sensible size.
    r = subprocess.run([CLI, "info", os.path.join(DISCS, "damaged_cell"), "--json"], capture_output=True, text=True,
                       timeout=60)
    check(r.returncode == 0, f"info damaged_cell: exit {r.returncode}")
    if r.returncode == 0:
        sectors = sum(json.loads(r.stdout)["titles"][0]["chapterSectors"])
        check(sectors * 2048 <= damage["vobSize"], f"damaged_cell: {sectors} sectors, more than the VOB holds")
    folder = os.path.join(out, "cell")
    r = subprocess.run([CLI, "convert", os.path.join(DISCS, "damaged_cell"), "--out", folder, "--quiet"],
                       capture_output=True, text=True, timeout=600)
    check(r.returncode == 0 and r.stderr == "", f"damaged_cell: exit {r.returncode}: {r.stderr!r}")
    check(abs(duration(os.path.join(folder, "Title_01.mp4")) - TITLE_SECONDS) < 0.1, "damaged_cell: length")

    # The undamaged disc reports nothing.
    folder = os.path.join(out, "source")
    r = subprocess.run([CLI, "convert", os.path.join(DISCS, "damage_source"), "--out", folder, "--quiet"],
                       capture_output=True, text=True, timeout=600)
    check(r.returncode == 0 and r.stderr == "", f"damage_source: exit {r.returncode}: {r.stderr!r}")
finally:
    shutil.rmtree(out, ignore_errors=True)

finish("damaged discs convert to their end and say what could not be read")
