#!/usr/bin/env python3
"""Damaged MPEG files and Blu-ray folders given to zuzidero-cli: an unreadable opening or end is
converted around and listed like damage anywhere else (exit 3), a file with a huge hole at its end
is read to its data, and every playlist that cannot be read is named with its reason while the
clips it would have played stay reachable.

Usage: damaged_files.py ZUZIDERO_CLI DISCS_FOLDER
"""
import json
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile

from cli_support import check, duration, finish, pitch

CLI, DISCS = sys.argv[1], sys.argv[2]
MEDIA = os.path.join(DISCS, "media")
REPORT = re.compile(r"Title_01\.mp4: (?:[0-9.]+|under 0\.1) s could not be read, at (\d\d):(\d\d):(\d\d)\u2013(\d\d):(\d\d):(\d\d)")


def convert(path, out, *args):
    return subprocess.run([CLI, "convert", path, "--out", out, "--quiet", "--overwrite", *args], capture_output=True,
                          text=True, timeout=600)


def info(path):
    r = subprocess.run([CLI, "info", "--json", path], capture_output=True, text=True, timeout=120)
    return (json.loads(r.stdout) if r.returncode == 0 else None), r


def zero(path, at, length):
    with open(path, "r+b") as f:
        f.seek(at)
        f.write(bytes(length))


def reported(stderr):
    """The first listed stretch as (from, to) in whole seconds, or None."""
    m = REPORT.search(stderr)
    if not m:
        return None
    h1, m1, s1, h2, m2, s2 = (int(g) for g in m.groups())
    return h1 * 3600 + m1 * 60 + s1, h2 * 3600 + m2 * 60 + s2


work = tempfile.mkdtemp(prefix="zuzidero-damaged-files-")
try:
    # --- an opening that cannot be read: converted from the first readable picture, the file keeps
    # its length, the opening is listed and the sound is there after it ---
    for name, hz in [("clip.ts", 440), ("clip.mpg", 440), ("eac3_dts.m2ts", 440)]:
        copy = os.path.join(work, "start-" + name)
        shutil.copy(os.path.join(MEDIA, name), copy)
        zero(copy, 0, 100 * 1024)
        out = os.path.join(work, "out-start-" + name)
        r = convert(copy, out)
        check(r.returncode == 3, f"{name} opening: exit {r.returncode}: {r.stderr!r}")
        check(reported(r.stderr) is not None and reported(r.stderr)[0] == 0,
              f"{name} opening: the stretch from 00:00:00 is not listed: {r.stderr!r}")
        written = os.path.join(out, "Title_01.mp4")
        check(abs(duration(written) - 4.0) < 0.4, f"{name} opening: {duration(written):.2f} s written, not 4")
        check(abs(pitch(written, seconds=1.0, start=2.5) - hz) < 20, f"{name} opening: no sound after it")

    # --- an end that holds nothing (a quarter of the file zeroed) is listed up to the file's end ---
    for name in ("clip.ts", "clip.mpg", "eac3_dts.m2ts"):
        copy = os.path.join(work, "end-" + name)
        shutil.copy(os.path.join(MEDIA, name), copy)
        size = os.path.getsize(copy)
        zero(copy, size - size // 4, size // 4)
        out = os.path.join(work, "out-end-" + name)
        r = convert(copy, out)
        stretch = reported(r.stderr)
        check(r.returncode == 3 and stretch is not None and stretch[1] >= 4,
              f"{name} end: exit {r.returncode}, not listed to the file's end: {r.stderr!r}")
        check(2.0 < duration(os.path.join(out, "Title_01.mp4")) < 4.5, f"{name} end: length")

    # --- a hole of 20 GB after a file's data: read to its data, the rest listed, no refusal ---
    copy = os.path.join(work, "sparse.mpg")
    shutil.copy(os.path.join(MEDIA, "clip.mpg"), copy)
    os.truncate(copy, 20 * 1024 ** 3)
    out = os.path.join(work, "out-sparse")
    r = convert(copy, out)
    check(r.returncode == 3 and (reported(r.stderr) or (0, 0))[0] in (3, 4),
          f"sparse tail: exit {r.returncode}: {r.stderr!r}")
    check(abs(duration(os.path.join(out, "Title_01.mp4")) - 4.0) < 0.3, "sparse tail: the data is not all converted")

    # --- a Blu-ray clip whose opening, or end, cannot be read ---
    for what, clip, at_end in [("opening", "00001", False), ("end", "00002", True)]:
        folder = os.path.join(work, "bluray-" + what)
        shutil.copytree(os.path.join(DISCS, "bluray"), folder)
        path = os.path.join(folder, "BDMV", "STREAM", clip + ".m2ts")
        size = os.path.getsize(path)
        zero(path, size - 60 * 6144 if at_end else 0, 60 * 6144)
        out = os.path.join(work, "out-bluray-" + what)
        r = convert(folder, out, "--title", "1")
        stretch = reported(r.stderr)
        check(r.returncode == 3 and stretch is not None, f"Blu-ray clip {what}: exit {r.returncode}: {r.stderr!r}")
        if stretch:
            check(stretch[0] == 0 if not at_end else stretch[1] >= 7, f"Blu-ray clip {what}: listed at {stretch}")
        # An opening keeps its place (the first picture stands in for it); an end is what is missing.
        length = duration(os.path.join(out, "Title_01.mp4"))
        check(abs(length - 7.5) < 0.5 if not at_end else 5.0 < length < 7.4, f"Blu-ray clip {what}: {length:.2f} s")

    # --- damaged playlists: each named with its reason (info as text and JSON, and stderr), the
    # clips they played become titles of their own ---
    folder = os.path.join(work, "bluray-playlists")
    shutil.copytree(os.path.join(DISCS, "bluray"), folder)
    playlists = os.path.join(folder, "BDMV", "PLAYLIST")
    with open(os.path.join(playlists, "00000.mpls"), "r+b") as f:
        f.truncate(40)  # cut short
    data = bytearray(open(os.path.join(playlists, "00005.mpls"), "rb").read())
    at = data.find(b"00001M2TS")
    data[at:at + 5] = b"0000X"  # a clip name that is not five digits
    open(os.path.join(playlists, "00005.mpls"), "wb").write(data)
    data = bytearray(open(os.path.join(playlists, "00003.mpls"), "rb").read())
    at = data.find(b"00002M2TS")
    start, end = struct.unpack_from(">II", data, at + 12)
    struct.pack_into(">II", data, at + 12, end, start)  # IN after OUT
    open(os.path.join(playlists, "00003.mpls"), "wb").write(data)
    expected = ["playlist 00000.mpls cannot be read: it is cut short or damaged",
                "playlist 00003.mpls cannot be read: play item 1 ends before it starts",
                "playlist 00004.mpls cannot be read: its version 0300 is not known",
                "playlist 00005.mpls cannot be read: play item 1 names a clip that is not five digits"]
    listed, r = info(folder)
    check(listed is not None and listed["unreadable"] == expected, f"playlists: json {listed and listed['unreadable']}")
    check(all(f"zuzidero-cli: {line}" in r.stderr for line in expected), f"playlists: stderr {r.stderr!r}")
    if listed:
        check([t["source"] for t in listed["titles"]] == ["clip 00001", "clip 00002"], f"playlists: titles {listed['titles']}")
        check(not any(t["main"] for t in listed["titles"]), "playlists: a clip title is called the main title")
    text = subprocess.run([CLI, "info", folder], capture_output=True, text=True).stdout
    check("Title_01  00:00:04" in text and "(clip 00001)" in text and f"Unreadable: {expected[0]}" in text,
          f"playlists: text {text!r}")
    out = os.path.join(work, "out-playlists")
    r = convert(folder, out, "--title", "2")
    check(r.returncode == 0 and abs(duration(os.path.join(out, "Title_02.mp4")) - 3.5) < 0.3,
          f"playlists: clip title: exit {r.returncode}: {r.stderr!r}")

    # --- a clip that a playlist plays is missing: the rest plays, the missing stretch is listed ---
    folder = os.path.join(work, "bluray-missing-clip")
    shutil.copytree(os.path.join(DISCS, "bluray"), folder)
    os.remove(os.path.join(folder, "BDMV", "STREAM", "00002.m2ts"))
    listed, r = info(folder)
    check(listed is not None and listed["titles"][0]["main"] and abs(listed["titles"][0]["durationMs"] - 4000) < 200,
          f"missing clip: {listed and listed['titles'][0]}")
    check(listed is not None and "playlist 00000.mpls plays 00002.M2TS, which is not there: that stretch is missing"
          in listed["unreadable"], f"missing clip: {listed and listed['unreadable']}")
    out = os.path.join(work, "out-missing-clip")
    r = convert(folder, out, "--title", "1")
    check(r.returncode == 3 and reported(r.stderr) == (4, 8), f"missing clip: exit {r.returncode}: {r.stderr!r}")
    check(abs(duration(os.path.join(out, "Title_01.mp4")) - 4.0) < 0.3, "missing clip: the clip that is there")
finally:
    shutil.rmtree(work, ignore_errors=True)

finish("damaged files and Blu-ray folders convert around the damage and say where it is")
