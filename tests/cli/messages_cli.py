#!/usr/bin/env python3
"""What zuzidero-cli says and which exit status goes with it: help on every command, an option
never takes the next option as its value, discs that cannot be opened are named by their kind,
ranges that hold nothing are refused with the reason, track labels name the coding and the
channels as the disc has them, and a pipe given as a disc is refused without a leak.

Usage: messages_cli.py ZUZIDERO_CLI DISCS_FOLDER
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile

from cli_support import check, finish

CLI, DISCS = sys.argv[1], sys.argv[2]


def cli(*args, env=None):
    return subprocess.run([CLI, *args], capture_output=True, text=True, timeout=300, env=env)


work = tempfile.mkdtemp(prefix="zuzidero-messages-")
try:
    ntsc = os.path.join(DISCS, "ntsc_4x3")
    # --- help on every command, on stdout, exit 0 ---
    for command in ("info", "profiles", "convert"):
        for flag in ("--help", "-h"):
            r = cli(command, flag)
            check(r.returncode == 0 and "Usage:" in r.stdout and "zuzidero-cli convert DISC" in r.stdout,
                  f"{command} {flag}: exit {r.returncode}: {r.stderr!r}")
    r = cli("convert", ntsc, "--out", work, "--help")
    check(r.returncode == 0 and "Usage:" in r.stdout and not os.listdir(work), f"convert ... --help: exit {r.returncode}")

    # --- an option's value is never the next option ---
    for args, missing in [(("--out", "--quiet"), "--out needs a folder"), (("--out", work, "--title", "--merge"), "--title needs"),
                          (("--out", work, "--audio", "--quiet"), "--audio needs"), (("--out", work, "--start", "--quiet"), "--start needs")]:
        r = cli("convert", ntsc, *args)
        check(r.returncode == 2 and missing in r.stderr, f"{args}: exit {r.returncode}: {r.stderr!r}")
    check(not os.path.exists("--quiet") and not os.path.exists(os.path.join(work, "--quiet")), "a folder named --quiet was made")
    # A single dash still starts a value.
    r = cli("convert", ntsc, "--out", os.path.join(work, "hue"), "--title", "2", "--profile", "17", "--hue", "-20", "--quiet")
    check(r.returncode == 0, f"--hue -20: exit {r.returncode}: {r.stderr!r}")

    # --- discs that cannot be opened, named by their kind, exit 2 ---
    junk_ts = os.path.join(work, "junk.ts")
    open(junk_ts, "wb").write(b"x" * 100000)
    empty_bluray = os.path.join(work, "empty-bluray")
    os.makedirs(os.path.join(empty_bluray, "BDMV", "PLAYLIST"))
    os.makedirs(os.path.join(empty_bluray, "BDMV", "STREAM"))
    fifo = os.path.join(work, "fifo")
    os.mkfifo(fifo)
    for path, text in [(os.path.join(work, "nothing-here"), "Open disc error: "),
                       (os.path.join(DISCS, "damaged_ifo"), "Open DVD error: VIDEO_TS.IFO and its backup cannot be read"),
                       (junk_ts, "Open MPEG file error: "), (empty_bluray, "Open Blu-ray folder error: "),
                       (fifo, "Open disc error: ")]:
        for command in (("info", path), ("convert", path, "--out", os.path.join(work, "o"))):
            # The leak check runs whatever the environment says (libdvdread leaked on a pipe).
            env = dict(os.environ, ASAN_OPTIONS="detect_leaks=1:abort_on_error=1")
            r = cli(*command, env=env)
            check(r.returncode == 2 and r.stderr.startswith(text) and "LeakSanitizer" not in r.stderr,
                  f"{command[0]} {os.path.basename(path)}: exit {r.returncode}: {r.stderr[:300]!r}")

    # --- ranges that hold nothing: exit 2 with the reason, and no file ---
    out = os.path.join(work, "ranges")
    for args, reason in [(("--title", "1", "--chapter", "2", "--start", "00:00:03"), "is past the end of chapter 2 of title 1"),
                         (("--title", "1", "--length", "00:00:00.010"), "shorter than one picture")]:
        r = cli("convert", ntsc, "--out", out, "--quiet", *args)
        check(r.returncode == 2 and reason in r.stderr, f"{args}: exit {r.returncode}: {r.stderr!r}")
    check(not os.path.exists(out) or os.listdir(out) == [], "a range that holds nothing left a file")
    # Half a second is something: converted.
    r = cli("convert", ntsc, "--out", out, "--quiet", "--title", "2", "--length", "00:00:00.500", "--profile", "17")
    check(r.returncode == 0 and os.path.exists(os.path.join(out, "Title_02.mp3")), f"half a second: exit {r.returncode}: {r.stderr!r}")

    # --- track labels: MPEG-1 layer II is MP2, a mono track says 1 channel, layer III is MP3 ---
    r = cli("info", ntsc)
    check("C000  French     MP2  2 ch" in r.stdout, f"ntsc_4x3: {r.stdout!r}")
    listed = json.loads(cli("info", "--json", ntsc).stdout)
    check(listed["titles"][0]["audio"][1]["format"] == "MP2", f"ntsc_4x3 json: {listed['titles'][0]['audio'][1]}")
    r = cli("info", os.path.join(DISCS, "media", "clip.ts"))
    check("0101  English    AC3  1 ch" in r.stdout, f"clip.ts: {r.stdout!r}")
    mp3 = os.path.join(work, "layer3.mpg")
    subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", "testsrc2=size=352x240:rate=25:duration=4", "-f", "lavfi",
                    "-i", "sine=frequency=440:duration=4", "-c:v", "mpeg1video", "-c:a", "libmp3lame", "-f", "mpeg", mp3], check=True)
    r = cli("info", mp3)
    check(" MP3  1 ch" in r.stdout, f"layer III: {r.stdout!r}")
finally:
    shutil.rmtree(work, ignore_errors=True)

finish("zuzidero-cli says what happened, with the status that goes with it")
