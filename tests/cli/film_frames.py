#!/usr/bin/env python3
"""The right frames: film telecined to 29.97 (in its fields, and by the stream's flags) comes out as
its own 23.976 progressive pictures, none repeated; interlaced video is deinterlaced; a letterboxed
title's black bars are found (info --scan) and cropped (--crop auto) into a file of the film's shape.

Usage: film_frames.py ZUZIDERO_CLI DISCS_FOLDER
"""
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

from cli_support import check, duration, finish, probe

CLI, DISCS = sys.argv[1], sys.argv[2]
FILM = os.path.join(DISCS, "film_frames")  # 1 hard telecine, 2 soft telecine, 3 letterboxed 2.35:1
SHAPES = os.path.join(DISCS, "shapes_ntsc")  # 3 interlaced


def run(*args):
    return subprocess.run([CLI, *args], capture_output=True, text=True)


def convert(disc, out, *args):
    return run("convert", disc, "--out", out, "--quiet", "--overwrite", "--profile", "5", *args)


def video(path):
    streams = [s for s in (probe(path) or {}).get("streams", []) if s["codec_type"] == "video"]
    return streams[0] if streams else {}


def frame_hashes(path):
    r = subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-map", "0:v", "-f", "framemd5", "-"], capture_output=True, text=True)
    return [line.rsplit(",", 1)[1].strip() for line in r.stdout.splitlines() if line and not line.startswith("#")]


def combed_share(path):
    """The share of pictures ffmpeg's idet calls interlaced (its single-frame verdicts)."""
    r = subprocess.run(["ffmpeg", "-nostdin", "-i", path, "-map", "0:v", "-vf", "idet", "-f", "null", "-"],
                       capture_output=True, text=True)
    m = re.search(r"Single frame detection: TFF:\s*(\d+) BFF:\s*(\d+) Progressive:\s*(\d+) Undetermined:\s*(\d+)", r.stderr)
    if not m:
        return 1.0
    tff, bff, progressive, undetermined = (int(v) for v in m.groups())
    return (tff + bff) / max(1, tff + bff + progressive + undetermined)


def bars_left(path):
    """What ffmpeg's cropdetect (rounding to 2) would still cut from the file's last pictures."""
    r = subprocess.run(["ffmpeg", "-nostdin", "-i", path, "-map", "0:v", "-vf", "cropdetect=limit=24:round=2:reset=0", "-f",
                        "null", "-"], capture_output=True, text=True)
    found = re.findall(r"crop=(\d+):(\d+):(\d+):(\d+)", r.stderr)
    return tuple(int(v) for v in found[-1]) if found else None


out = tempfile.mkdtemp(prefix="zuzidero-frames-")
try:
    # info --scan: what each title's pictures are, and the letterboxed title's bars.
    r = run("info", FILM, "--scan", "--json")
    titles = json.loads(r.stdout)["titles"] if r.returncode == 0 else []
    scans = {t["title"]: (t.get("fields"), t.get("softTelecine"), t.get("blackBars")) for t in titles}
    check(scans.get(1, (None,))[:2] == ("telecined", False), f"hard telecine: {scans.get(1)}")
    check(scans.get(2, (None,))[:2] == ("telecined", True), f"soft telecine: {scans.get(2)}")
    bars = (scans.get(3) or (None, None, None))[2] or {}
    check(scans.get(3, (None,))[0] == "progressive" and abs(bars.get("top", -9) - 104) <= 2 and
          abs(bars.get("bottom", -9) - 104) <= 2 and bars.get("left", -9) <= 2 and bars.get("right", -9) <= 2,
          f"letterboxed: {scans.get(3)}")
    check(all(t.get("blackBars") == {"left": 0, "top": 0, "right": 0, "bottom": 0} for t in titles if t["title"] != 3),
          f"bars where there are none: {scans}")
    text = run("info", FILM, "--scan").stdout
    check("Scan     black bars left 0 top 104 right 0 bottom 104; progressive" in text, f"info --scan text: {text}")
    check("Scan" not in run("info", FILM).stdout, "info scans only when asked")
    r = run("info", SHAPES, "--scan", "--json")
    shapes = json.loads(r.stdout)["titles"] if r.returncode == 0 else []
    check([t.get("fields") for t in shapes][2:] == ["interlaced"], f"interlaced title: {[t.get('fields') for t in shapes]}")

    # Telecined film at the source's rate: 23.976 progressive pictures, each a new one.
    for title, kind in ((1, "hard"), (2, "soft")):
        folder = os.path.join(out, kind)
        os.makedirs(folder)
        r = convert(FILM, folder, "--title", str(title), "--rate", "source")
        path = os.path.join(folder, f"Title_{title:02d}.mp4")
        v = video(path)
        seconds = duration(path)  # the file's: the pictures are made up to the sound's end
        frames = int(v.get("nb_frames", 0))
        check(r.returncode == 0 and v.get("r_frame_rate") == "24000/1001", f"{kind} telecine: {v.get('r_frame_rate')} ({r.stderr[-300:]})")
        check(abs(frames - 24000 / 1001 * seconds) <= 1 and abs(frames - 24000 / 1001 * 6) <= 1.5,
              f"{kind} telecine: {frames} pictures in {seconds} s")
        hashes = frame_hashes(path)
        repeats = [i for i in range(1, len(hashes)) if hashes[i] == hashes[i - 1]]
        check(len(hashes) >= frames - 1 and not repeats, f"{kind} telecine: pictures {repeats} of {len(hashes)} repeat the one before")
        share = combed_share(path)
        check(share < 0.05, f"{kind} telecine: idet calls {share:.0%} of the pictures interlaced")
    # At the profile's own rate, film keeps it (auto deinterlaces the marked pictures, as before).
    convert(FILM, out, "--title", "1")
    v = video(os.path.join(out, "Title_01.mp4"))
    check(v.get("r_frame_rate") == "30000/1001" and abs(int(v.get("nb_frames", 0)) - 180) <= 1,
          f"hard telecine at the profile's 29.97: {v.get('r_frame_rate')} {v.get('nb_frames')}")
    # --rate 23.976 finds the film as well.
    convert(FILM, out, "--title", "1", "--rate", "23.976")
    v = video(os.path.join(out, "Title_01.mp4"))
    check(abs(int(v.get("nb_frames", 0)) - 144) <= 1 and combed_share(os.path.join(out, "Title_01.mp4")) < 0.05,
          f"hard telecine at 23.976: {v.get('nb_frames')} pictures")

    # Interlaced video at the source's rate: every picture kept, none combed.
    convert(SHAPES, out, "--title", "3", "--rate", "source")
    v = video(os.path.join(out, "Title_03.mp4"))
    check(v.get("r_frame_rate") == "30000/1001" and abs(int(v.get("nb_frames", 0)) - 180) <= 1,
          f"interlaced at the source's rate: {v.get('r_frame_rate')} {v.get('nb_frames')}")

    # --crop auto: the bars go, and the picture keeps the film's 2.35:1.
    convert(FILM, out, "--title", "3", "--crop", "auto")
    path = os.path.join(out, "Title_03.mp4")
    v = video(path)
    width, height = int(v.get("width", 0)), int(v.get("height", 1))
    sar = [int(x) for x in v.get("sample_aspect_ratio", "1:1").replace("0:1", "1:1").split(":")]
    shown = width * sar[0] / (height * sar[1])
    check(abs(shown / (720 * 4 / 3 / 272 * 480 / 720) - 1) <= 0.02, f"--crop auto: {width}x{height} shown at {shown:.3f}")
    left = bars_left(path)
    check(left == (width, height, 0, 0), f"--crop auto: cropdetect still finds {left} in {width}x{height}")
    # Without it, the bars stay (the seed's default).
    convert(FILM, out, "--title", "3")
    v = video(path)
    check((int(v.get("width", 0)), int(v.get("height", 0))) == (640, 480), f"without --crop auto: {v.get('width')}x{v.get('height')}")
finally:
    shutil.rmtree(out, ignore_errors=True)

finish("film frames: telecine undone, interlaced deinterlaced, black bars found and cropped")
