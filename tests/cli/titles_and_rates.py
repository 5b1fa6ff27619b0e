#!/usr/bin/env python3
"""The right title and the right rate: the main title of a film disc among decoys, repeats, a
trailer and extras (info, --title main, the default list, --min-length), and pictures at the
source's own rate (--rate source) or at a rate asked for.

Usage: titles_and_rates.py ZUZIDERO_CLI DISCS_FOLDER
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile

from cli_support import check, finish, probe

CLI, DISCS = sys.argv[1], sys.argv[2]
FILM = os.path.join(DISCS, "film_titles")  # 1 trailer, 2 and 3 decoys, 4 the film, 5 and 7 the film again, 6 extras


def run(*args):
    return subprocess.run([CLI, *args], capture_output=True, text=True)


def convert(disc, out, *args):
    r = run("convert", disc, "--out", out, "--quiet", "--overwrite", *args)
    return r


def video(path):
    streams = [s for s in (probe(path) or {}).get("streams", []) if s["codec_type"] == "video"]
    return streams[0] if streams else {}


out = tempfile.mkdtemp(prefix="zuzidero-titles-")
try:
    # info: the film is title 4, not the first decoy of its length; its repeats are said.
    r = run("info", FILM, "--json")
    titles = json.loads(r.stdout)["titles"] if r.returncode == 0 else []
    found = [(t["title"], t["main"], t["sameAs"], t["listed"]) for t in titles]
    check(found == [(1, False, None, True), (2, False, None, True), (3, False, None, True), (4, True, None, True),
                    (5, False, 4, False), (6, False, None, True), (7, False, 4, False)], f"info --json: {found}")
    text = run("info", FILM).stdout
    check("Title_04  00:00:08" in text and "MB  main" in text and text.count("(same as Title_04)") == 2, f"info text: {text}")
    r = run("info", FILM, "--json", "--min-length", "6")
    listed = [t["title"] for t in json.loads(r.stdout)["titles"] if t["listed"]] if r.returncode == 0 else []
    check(listed == [2, 3, 4], f"info --min-length 6: listed {listed}")

    # --title main converts the film alone; the default list takes each film once.
    for args, wanted in ((["--title", "main"], ["Title_04.mp3"]),
                         ([], ["Title_01.mp3", "Title_02.mp3", "Title_03.mp3", "Title_04.mp3", "Title_06.mp3"]),
                         (["--min-length", "6"], ["Title_02.mp3", "Title_03.mp3", "Title_04.mp3"])):
        folder = os.path.join(out, "t" + "".join(args))
        os.makedirs(folder)
        r = convert(FILM, folder, "--profile", "17", *args)
        made = sorted(os.listdir(folder))
        check(made == wanted, f"convert {args}: {made}, wanted {wanted} ({r.stderr})")
    # Two titles of one length: the one the disc's first play leads to is the main title.
    r = run("info", os.path.join(DISCS, "tied_titles"), "--json")
    mains = [t["title"] for t in json.loads(r.stdout)["titles"] if t["main"]] if r.returncode == 0 else []
    check(mains == [2], f"tied titles: main {mains}")
    folder = os.path.join(out, "tied")
    os.makedirs(folder)
    convert(os.path.join(DISCS, "tied_titles"), folder, "--title", "main", "--profile", "17")
    check(os.listdir(folder) == ["Title_02.mp3"], f"tied titles --title main: {os.listdir(folder)}")
    r = convert(os.path.join(DISCS, "sync"), out, "--title", "main", "--profile", "17")
    check(r.returncode == 0 and os.path.exists(os.path.join(out, "Title_01.mp3")), f"sync --title main: {r.stderr}")

    # The source's rate: PAL stays 25 with its pictures, NTSC 29.97, the Blu-ray clips 25.
    pal = os.path.join(DISCS, "pal_16x9")
    convert(pal, out, "--title", "1", "--profile", "5", "--rate", "source")
    v = video(os.path.join(out, "Title_01.mp4"))
    check(v.get("r_frame_rate") == "25/1" and abs(int(v.get("nb_frames", 0)) - 150) <= 1,
          f"PAL at the source's rate: {v.get('r_frame_rate')}, {v.get('nb_frames')} pictures")
    convert(pal, out, "--title", "1", "--profile", "5")
    check(video(os.path.join(out, "Title_01.mp4")).get("r_frame_rate") == "30000/1001", "PAL with the profile's own rate")
    convert(os.path.join(DISCS, "ntsc_4x3"), out, "--title", "1", "--profile", "5", "--rate", "source")
    check(video(os.path.join(out, "Title_01.mp4")).get("r_frame_rate") == "30000/1001", "NTSC at the source's rate")
    convert(os.path.join(DISCS, "ntsc_4x3"), out, "--title", "1", "--profile", "5", "--rate", "25")
    v = video(os.path.join(out, "Title_01.mp4"))
    check(v.get("r_frame_rate") == "25/1" and abs(int(v.get("nb_frames", 0)) - 200) <= 1,
          f"NTSC at 25: {v.get('r_frame_rate')}, {v.get('nb_frames')} pictures")
    convert(os.path.join(DISCS, "bluray"), out, "--title", "1", "--profile", "11", "--rate", "source")
    check(video(os.path.join(out, "Title_01.mkv")).get("r_frame_rate") == "25/1", "Blu-ray at the source's rate")
    r = run("convert", pal, "--out", out, "--rate", "31")
    check(r.returncode == 2 and "--rate needs source" in r.stderr, f"--rate 31: {r.returncode} {r.stderr[:200]}")
finally:
    shutil.rmtree(out, ignore_errors=True)

finish("the main title among decoys and repeats, and pictures at the source's rate")
