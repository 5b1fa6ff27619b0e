#!/usr/bin/env python3
"""zuzidero-cli convert as a user runs it: files and names, existing files, bad arguments,
Ctrl-C leaving a valid partial file, progress lines without a terminal.

Usage: convert_cli.py ZUZIDERO_CLI DISCS_FOLDER
"""
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

from cli_support import check, finish, pitch, probe, start_conversion

CLI, DISCS = sys.argv[1], sys.argv[2]


def run(*args):
    return subprocess.run([CLI, "convert", *args], capture_output=True, text=True)


out = tempfile.mkdtemp(prefix="zuzidero-cli-")
try:
    ntsc = os.path.join(DISCS, "ntsc_4x3")
    # One title with an audio-only profile; the name is the title list's.
    r = run(ntsc, "--out", out, "--title", "2", "--profile", "17")
    check(r.returncode == 0, f"convert: exit {r.returncode}: {r.stderr}")
    mp3 = os.path.join(out, "Title_02.mp3")
    info = probe(mp3)
    check(info is not None and info["streams"][0]["codec_name"] == "mp3", f"convert: {mp3} is no MP3 file")
    check(abs(float(info["format"]["duration"]) - 4.0) < 0.1 if info else False, "convert: duration")
    check("1 file written, 0 tasks failed" in r.stderr, f"convert: summary {r.stderr[-200:]!r}")
    check("%" in r.stderr, "convert: no progress line without a terminal")

    # An existing file stays unless --overwrite is given.
    before = os.path.getmtime(mp3)
    r = run(ntsc, "--out", out, "--title", "2", "--profile", "17")
    check(r.returncode == 2 and "exists" in r.stderr, f"existing file: exit {r.returncode}: {r.stderr}")
    check(os.path.getmtime(mp3) == before, "existing file: it was touched")
    r = run(ntsc, "--out", out, "--title", "2", "--profile", "MP3-MPEG Layer-3 Audio", "--overwrite", "--quiet")
    check(r.returncode == 0 and r.stderr == "", f"--overwrite --quiet: exit {r.returncode}: {r.stderr!r}")

    # A chapter, trimmed, without subtitles, with picture settings.
    r = run(ntsc, "--out", out, "--title", "1", "--chapter", "3", "--profile", "5", "--start", "00:00:00.500",
            "--length", "1", "--subtitle", "none", "--crop", "8,8,712,472", "--zoom", "1", "--brightness", "140",
            "--saturation", "70", "--hue", "10", "--volume", "300", "--audio", "C000", "--quiet")
    check(r.returncode == 0, f"chapter: exit {r.returncode}: {r.stderr}")
    info = probe(os.path.join(out, "Chapter_01_03.mp4"))
    check(info is not None and abs(float(info["format"]["duration"]) - 1.0) < 0.1, f"chapter: {info}")

    # A trim inside the second cell (whose time stamps start again): a file of its length, and
    # nothing of FFmpeg's own on the terminal.
    sync = os.path.join(DISCS, "sync")
    r = run(sync, "--out", out, "--title", "1", "--start", "7.5", "--length", "00:00:03.000", "--quiet", "--overwrite")
    check(r.returncode == 0 and r.stderr == "", f"trim: exit {r.returncode}, stderr {r.stderr!r}")
    info = probe(os.path.join(out, "Title_01.mp4"))
    check(info is not None and abs(float(info["format"]["duration"]) - 3.0) < 0.1, f"trim in the second cell: {info}")

    # Tracks by identifier or language; the first listed track without --audio; a track the
    # title lacks is a usage error that lists the title's tracks.
    pal = os.path.join(DISCS, "pal_16x9.iso")  # AC-3 5.1 English at 440 Hz first, LPCM Japanese at 660 Hz
    for args, hz in [((), 440), (("--audio", "ja"), 660), (("--audio", "jpn"), 660), (("--audio", "0xbda0"), 660),
                     (("--audio", "BD80"), 440), (("--audio", "en"), 440)]:
        r = run(pal, "--out", out, "--title", "1", "--profile", "17", "--overwrite", "--quiet", *args)
        check(r.returncode == 0, f"track {args}: exit {r.returncode}: {r.stderr}")
        got = pitch(os.path.join(out, "Title_01.mp3"))
        check(abs(got - hz) < 15, f"track {args}: {got:.0f} Hz, not {hz}")
    for args in [("--audio", "fr"), ("--audio", "BD81"), ("--subtitle", "de"), ("--subtitle", "BD21")]:
        r = run(pal, "--out", out, "--title", "1", "--profile", "17", "--overwrite", "--quiet", *args)
        check(r.returncode == 2, f"missing track {args}: exit {r.returncode}")
        listed = "BD80 (en), BDA0 (ja)" if args[0] == "--audio" else "BD20 (es)"
        check(listed in r.stderr, f"missing track {args}: the title's tracks are not listed: {r.stderr[:300]!r}")

    # Values that are out of range or contradict each other are refused before anything is read.
    for args, what in [(("--crop", "100,100,740,580"), "crop past the picture"),
                       (("--crop", "0,0,100000,100000"), "crop far past it"),
                       (("--crop", "0,0,2147483647,2147483647"), "crop at the number range's end"),
                       (("--crop", "0,0,720,480,5"), "a fifth crop value"),
                       (("--start", "9999999999999999"), "a time beyond 100 hours"),
                       (("--start", "25:61:61"), "61 minutes"), (("--start", "1.2.3"), "two fractions"),
                       (("--start", "00:00:05"), "a start past the title's end"), (("--length", "0"), "a length of 0"),
                       (("--title", "1", "--title", "1"), "a title twice"),
                       (("--subtitle", "none", "--subtitle", "BD20"), "two subtitle choices")]:
        r = run(ntsc, "--out", out, "--title", "2", "--quiet", "--overwrite", *args)
        check(r.returncode == 2 and "zuzidero-cli:" in r.stderr, f"{what}: exit {r.returncode}: {r.stderr[:200]!r}")
    # The root folder is no disc, and saying so does not take long.
    started = time.monotonic()
    r = subprocess.run([CLI, "info", "/"], capture_output=True, text=True, timeout=30)
    check(r.returncode == 2 and time.monotonic() - started < 10, f"info /: exit {r.returncode}")

    # Bad arguments and discs.
    for args, what in [((ntsc,), "no --out"), ((ntsc, "--out", out, "--zoom", "7"), "zoom 7"),
                       ((ntsc, "--out", out, "--title", "9"), "title 9"), ((ntsc, "--out", out, "--profile", "999"), "profile"),
                       ((os.path.join(DISCS, "no-such-disc"), "--out", out), "no disc"),
                       ((ntsc, "--out", out, "--start", "1:xx"), "bad time")]:
        r = run(*args)
        check(r.returncode == 2, f"{what}: exit {r.returncode}")

    # Ctrl-C, once some of the run is converted: the file written so far is finished as a valid
    # file beside its name; exit status 1.
    p = start_conversion(CLI, [sync, "--out", out, "--profile", "27", "--merge", "--overwrite"])
    p.send_signal(signal.SIGINT)
    _, err = p.communicate(timeout=300)
    check(p.returncode == 1, f"Ctrl-C: exit {p.returncode}: {err}")
    info = probe(os.path.join(out, "Title_01 (partial).mp4"))
    check(info is not None and any(s["codec_type"] == "video" for s in info.get("streams", [])),
          f"Ctrl-C: no valid file ({info})")
finally:
    shutil.rmtree(out, ignore_errors=True)

finish("zuzidero-cli convert behaves")
