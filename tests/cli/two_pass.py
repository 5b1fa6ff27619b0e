#!/usr/bin/env python3
"""Two passes: a minute whose second half is hard to encode comes out within 5 % of the asked video
bitrate with --two-pass, for x264 (its own statistics file) and MPEG-4 (libavcodec's statistics);
x265 takes its passes through its own parameters; SVT-AV1 is refused; the first pass leaves nothing
behind.

Usage: two_pass.py ZUZIDERO_CLI DISCS_FOLDER
"""
import os
import shutil
import signal
import subprocess
import sys
import tempfile

from cli_support import check, duration, finish, last_percent, start_conversion

CLI, DISCS = sys.argv[1], sys.argv[2]
LONG = os.path.join(DISCS, "long_title")  # 60 s, noisy from 30 s on


def video_kbps(path):
    r = subprocess.run(["ffprobe", "-v", "error", "-select_streams", "v", "-show_entries", "packet=size", "-of", "csv=p=0", path],
                       capture_output=True, text=True)
    total = sum(int(x) for x in r.stdout.split() if x.strip().isdigit())
    seconds = duration(path)
    return total * 8 / seconds / 1000 if seconds > 0 else 0


out = tempfile.mkdtemp(prefix="zuzidero-two-pass-")
temporary = os.path.join(out, "tmp")  # the run's temporary folder
os.makedirs(temporary)
environment = dict(os.environ, TMPDIR=temporary)


def convert(folder, *args):
    os.makedirs(folder, exist_ok=True)
    return subprocess.run([CLI, "convert", LONG, "--out", folder, "--quiet", "--overwrite", "--title", "1", *args],
                          capture_output=True, text=True, env=environment)


try:
    found = {}
    for profile, name, asked in (("5", "Title_01.mp4", 1500), ("7", "Title_01.mp4", 1500)):
        for passes in ("one", "two"):
            folder = os.path.join(out, f"{profile}-{passes}")
            r = convert(folder, "--profile", profile, *(["--two-pass"] if passes == "two" else []))
            path = os.path.join(folder, name)
            found[(profile, passes)] = video_kbps(path)
            check(r.returncode == 0 and abs(duration(path) - 60) < 0.2, f"profile {profile}, {passes} pass: {r.stderr[-300:]}")
        kbps = found[(profile, "two")]
        check(abs(kbps / asked - 1) <= 0.05, f"profile {profile}: two passes give {kbps:.0f} kbit/s for {asked} "
                                             f"(one pass {found[(profile, 'one')]:.0f})")
    print("video kbit/s, one pass and two:", {k: round(v) for k, v in found.items()})

    # x265 through its own parameters (a stretch: the mechanism, not the rate).
    folder = os.path.join(out, "x265")
    r = convert(folder, "--profile", "111", "--two-pass", "--speed", "ultrafast", "--length", "00:00:10")
    kbps = video_kbps(os.path.join(folder, "Title_01.mp4"))
    check(r.returncode == 0 and 0.8 < kbps / 2000 < 1.2, f"x265 two passes: {kbps:.0f} kbit/s for 2000 ({r.stderr[-300:]})")

    # SVT-AV1 has none here: refused before anything is converted.
    folder = os.path.join(out, "av1")
    r = convert(folder, "--profile", "112", "--two-pass")
    check(r.returncode == 2 and "two passes" in r.stderr and not os.listdir(folder), f"AV1 two passes: {r.returncode} {r.stderr[:300]}")
    r = convert(folder, "--profile", "108", "--two-pass", "--quality", "20")
    check(r.returncode == 2 and "not both" in r.stderr, f"--two-pass with --quality: {r.stderr[:200]}")

    # Cancelled in the first pass: no file (the first pass's pictures are not one), the
    # statistics go, and the last progress line does not fall back.
    folder = os.path.join(out, "cancelled")
    p = start_conversion(CLI, [LONG, "--out", folder, "--title", "1", "--profile", "5", "--two-pass"], at_percent=4,
                         env=environment)
    before = last_percent("".join(p.seen))
    p.send_signal(signal.SIGINT)
    try:
        _, err = p.communicate(timeout=120)
        check(p.returncode == 1 and "0 files written" in err and "(cancelled)" in err, f"cancelled first pass: {p.returncode} {err[-300:]}")
        check(0 < before <= last_percent(err) < 50, f"cancelled first pass: progress {before}% fell to {last_percent(err)}%")
    except subprocess.TimeoutExpired:
        p.kill()
        check(False, "cancelled first pass: the run did not stop")
    check(not os.path.isdir(folder) or os.listdir(folder) == [], f"cancelled first pass left {os.listdir(folder)}")

    # Nothing of the first passes stays in the temporary folder.
    check(os.listdir(temporary) == [], f"left in the temporary folder: {os.listdir(temporary)}")
finally:
    shutil.rmtree(out, ignore_errors=True)

finish("two passes meet the bitrate and leave nothing behind")
