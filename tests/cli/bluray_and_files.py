#!/usr/bin/env python3
"""Blu-ray folders and single MPEG files as a user gives them to zuzidero-cli: info against the
clips' own times and ffprobe's stream lists, the main title converted with its sound at the
source's pitch, its presentation-graphics subtitle burned in, an encrypted folder refused, and
.ts, .m2ts (with AC-3, LPCM, E-AC-3 and DTS), .mpg and loose .VOB files converted.

Usage: bluray_and_files.py ZUZIDERO_CLI DISCS_FOLDER
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile

from cli_support import check, duration, finish, pitch, probe

CLI, DISCS = sys.argv[1], sys.argv[2]
FRAME_MS = 40.0  # the clips run at 25 pictures a second


def run_cli(*args):
    """Runs the tool; one that has not ended after five minutes is stopped and reported by its
    arguments (a hang then names its command instead of running the whole test out)."""
    try:
        return subprocess.run([CLI, *args], capture_output=True, text=True, timeout=300)
    except subprocess.TimeoutExpired as hung:
        check(False, f"zuzidero-cli {' '.join(args)} did not end within 5 minutes")
        return subprocess.CompletedProcess(hung.cmd, -9, "", "did not end")


def info(path):
    r = run_cli("info", "--json", path)
    return (json.loads(r.stdout) if r.returncode == 0 else None), r


def convert(path, out, *args):
    return run_cli("convert", path, "--out", out, "--quiet", "--overwrite", *args)


def gray_frame(path, at):
    """The luma of the picture shown at `at` seconds, as rows of bytes."""
    raw = subprocess.run(["ffmpeg", "-v", "error", "-ss", str(at), "-i", path, "-frames:v", "1", "-f", "rawvideo",
                          "-pix_fmt", "gray", "-"], capture_output=True).stdout
    width = probe(path)["streams"][0]["width"]
    return [raw[i:i + width] for i in range(0, len(raw), width)]


def region_difference(a, b, rows, cols):
    """The mean absolute difference of two pictures' luma over a rectangle."""
    values = [abs(a[r][c] - b[r][c]) for r in range(*rows) for c in range(*cols)]
    return sum(values) / len(values)


def scrambled_copy(source, target, first, last, pids, most=None):
    """A copy of an M2TS file with the packets of `pids` from packet `first` to `last` (fractions
    of the file) marked scrambled, at most `most` of them."""
    data = bytearray(open(source, "rb").read())
    count = len(data) // 192
    marked = 0
    for k in range(int(count * first), int(count * last)):
        at = k * 192 + 4
        if ((data[at + 1] & 0x1F) << 8 | data[at + 2]) in pids and (most is None or marked < most):
            data[at + 3] = (data[at + 3] & 0x3F) | 0x80
            marked += 1
    open(target, "wb").write(bytes(data))


clips = json.load(open(os.path.join(DISCS, "bluray.json")))["clips"]
played = {name: (c["out"] - c["in"]) / 45.0 for name, c in clips.items()}  # ms between IN and OUT
bluray = os.path.join(DISCS, "bluray")
out = tempfile.mkdtemp(prefix="zuzidero-bd-")
try:
    # --- info on the folder, on BDMV itself and on its PLAYLIST folder ---
    disc, r = info(bluray)
    check(disc is not None, f"info bluray: exit {r.returncode}: {r.stderr}")
    if disc:
        titles = disc["titles"]
        # The playlist of both clips, clip 2 alone, then clip 1 from 1 s; the one repeating clip 1,
        # the 1-second one and the version-0300 one are not titles.
        check(len(titles) == 3, f"bluray: {len(titles)} titles")
        expected = [played["00001"] + played["00002"], played["00002"], played["00001"] - 1000]
        for title, ms in zip(titles, expected):
            check(abs(title["durationMs"] - ms) <= FRAME_MS,
                  f"title {title['title']}: {title['durationMs']} ms, the clips play {ms:.1f} ms")
        check([t["main"] for t in titles] == [True, False, False], f"main titles: {[t['main'] for t in titles]}")
        # Entry marks at 0 s and 2 s of clip 1 and at clip 2's start (the link point is no chapter);
        # the cut clip's title starts a chapter and has its mark.
        check([t["chapters"] for t in titles] == [3, 1, 2], f"chapters: {[t['chapters'] for t in titles]}")
        probed = clips["00001"]["streams"]
        audio_pids = sorted(s["pid"] for s in probed if s["codec"] in ("ac3", "pcm_bluray"))
        sub_pids = sorted(s["pid"] for s in probed if s["codec"] == "hdmv_pgs_subtitle")
        for title in titles:
            check([int(a["id"], 16) for a in title["audio"]] == audio_pids, f"audio of {title['title']}: {title['audio']}")
            check([(a["language"], a["format"]) for a in title["audio"]] == [("en", "AC3"), ("ja", "LPCM")],
                  f"audio languages of {title['title']}: {title['audio']}")
            check([int(s["id"], 16) for s in title["subtitles"]] == sub_pids and title["subtitles"][0]["language"] == "fr",
                  f"subtitles of {title['title']}: {title['subtitles']}")
            check((title["width"], title["height"], title["aspect"]) == (1280, 720, "16:9"), f"picture: {title}")
    for place in (os.path.join(bluray, "BDMV"), os.path.join(bluray, "BDMV", "PLAYLIST")):
        same, r = info(place)
        check(same is not None and disc is not None and same["titles"] == disc["titles"], f"info {place}: {r.stderr}")

    # --- an encrypted folder is refused, saying why ---
    r = run_cli("info", os.path.join(DISCS, "bluray_aacs"))
    check(r.returncode == 2 and "encrypted" in r.stderr, f"encrypted folder: exit {r.returncode}: {r.stderr!r}")
    r = convert(os.path.join(DISCS, "bluray_aacs"), out)
    check(r.returncode == 2 and "encrypted" in r.stderr, f"encrypted folder, convert: exit {r.returncode}: {r.stderr!r}")

    # --- the main title converted: both clips, nothing lost, the first listed track (AC-3 at 440 Hz) ---
    r = convert(bluray, out, "--title", "1")
    check(r.returncode == 0, f"convert main title: exit {r.returncode}: {r.stderr}")
    made = os.path.join(out, "Title_01.mp4")
    expected_s = (played["00001"] + played["00002"]) / 1000
    check(abs(duration(made) - expected_s) < 0.15, f"main title: {duration(made)} s, source {expected_s:.3f} s")
    check(abs(pitch(made, start=0.5) - 440) < 10, f"main title: {pitch(made, start=0.5):.0f} Hz, the source's AC-3 is 440 Hz")
    # Clip 2's sound too, after the time stamps start again.
    check(abs(pitch(made, start=5.0, seconds=2.0) - 440) < 10, f"main title, clip 2: {pitch(made, start=5.0):.0f} Hz")
    # The LPCM track by its PID.
    r = convert(bluray, out, "--title", "1", "--audio", "1101")
    check(r.returncode == 0 and abs(pitch(made, start=0.5) - 660) < 10, f"LPCM track: exit {r.returncode}, {pitch(made, start=0.5):.0f} Hz")
    # A chapter: from 2 s of clip 1 to clip 2's start.
    r = convert(bluray, out, "--title", "1", "--chapter", "2")
    chapter = os.path.join(out, "Chapter_01_02.mp4")
    check(r.returncode == 0 and abs(duration(chapter) - (played["00001"] / 1000 - 2.0)) < 0.15,
          f"chapter 2: exit {r.returncode}: {r.stderr}, {duration(chapter)} s")

    # A trim across the clips' boundary (their time stamps start again), cropped: its length, and
    # sound on both sides.
    trimmed = os.path.join(out, "trimmed")
    os.makedirs(trimmed, exist_ok=True)
    r = convert(bluray, trimmed, "--title", "1", "--start", "3.5", "--length", "2", "--crop", "160,90,1120,630")
    made = os.path.join(trimmed, "Title_01.mp4")
    check(r.returncode == 0 and abs(duration(made) - 2.0) < 0.1, f"trim: exit {r.returncode}: {r.stderr}, {duration(made)} s")
    check(abs(pitch(made, start=0.0, seconds=0.45) - 440) < 15 and abs(pitch(made, start=1.0, seconds=0.9) - 440) < 15,
          f"trim: {pitch(made, start=0.0, seconds=0.45):.0f} and {pitch(made, start=1.0, seconds=0.9):.0f} Hz")

    # A play item cut by its IN time plays from there: clip 1's last 3 s.
    r = convert(bluray, out, "--title", "3")
    made = os.path.join(out, "Title_03.mp4")
    expected_s = (played["00001"] - 1000) / 1000
    check(r.returncode == 0 and abs(duration(made) - expected_s) < 0.15,
          f"cut play item: exit {r.returncode}: {r.stderr}, {duration(made)} s, playlist {expected_s:.3f} s")
    check(abs(pitch(made, start=0.5) - 440) < 10, f"cut play item: {pitch(made, start=0.5):.0f} Hz")

    # --- the French presentation-graphics subtitle burned in when chosen: a white 400x100 box at
    # (440, 560) of the 1280x720 picture from 1 s to 3 s of each clip's own time, here from 0 s to 2 s
    # of the title; at 640x480 (16:9 letterboxed) the box is rows 340-389, columns 220-419 ---
    with_sub, without = os.path.join(out, "pgs"), os.path.join(out, "none")
    os.makedirs(with_sub, exist_ok=True)
    os.makedirs(without, exist_ok=True)
    r1 = convert(bluray, with_sub, "--title", "1", "--subtitle", "1200")
    r2 = convert(bluray, without, "--title", "1", "--subtitle", "none")
    check(r1.returncode == 0 and r2.returncode == 0, f"subtitles: exit {r1.returncode}/{r2.returncode}: {r1.stderr}{r2.stderr}")
    a, b = gray_frame(os.path.join(with_sub, "Title_01.mp4"), 1.0), gray_frame(os.path.join(without, "Title_01.mp4"), 1.0)
    box, above = ((345, 385), (225, 415)), ((100, 200), (225, 415))
    if len(a) == 480 and len(b) == 480:
        box_row = a[365]
        check(min(box_row[230:410]) > 200, f"subtitle: the box is not white: {min(box_row[230:410])}")
        check(region_difference(a, b, *above) < 3, f"subtitle: the picture above it differs by {region_difference(a, b, *above):.1f}")
        later_a = gray_frame(os.path.join(with_sub, "Title_01.mp4"), 3.0)
        later_b = gray_frame(os.path.join(without, "Title_01.mp4"), 3.0)
        check(region_difference(later_a, later_b, *box) < 3, "subtitle: still shown after its end")
        check(region_difference(a, b, *box) > 20, "subtitle: the chosen one is not burned in")
    else:
        check(False, f"subtitles: pictures of {len(a)} and {len(b)} rows")

    # --- single files: one title each, converted whole ---
    files = [os.path.join(DISCS, "media", "clip.ts"), os.path.join(DISCS, "media", "clip.mpg"),
             os.path.join(bluray, "BDMV", "STREAM", "00002.m2ts")]
    for path in files:
        name = os.path.basename(path)
        described, r = info(path)
        source = duration(path)
        check(described is not None and len(described["titles"]) == 1, f"info {name}: {r.stderr}")
        if described:
            check(abs(described["titles"][0]["durationMs"] - source * 1000) <= FRAME_MS + 6,
                  f"{name}: {described['titles'][0]['durationMs']} ms, ffprobe {source * 1000:.0f} ms")
        target = os.path.join(out, name)
        os.makedirs(target, exist_ok=True)
        r = convert(path, target)
        made = os.path.join(target, "Title_01.mp4")
        check(r.returncode == 0, f"convert {name}: exit {r.returncode}: {r.stderr}")
        check(abs(duration(made) - source) < 0.15, f"{name}: {duration(made)} s, source {source:.3f} s")
        check(abs(pitch(made, start=0.5) - 440) < 10, f"{name}: {pitch(made, start=0.5):.0f} Hz, source 440 Hz")
    # A transport stream's languages from its program table, and its AAC track.
    clip_ts = os.path.join(DISCS, "media", "clip.ts")
    described, r = info(clip_ts)
    check(described is not None and [(a["language"], a["format"]) for a in described["titles"][0]["audio"]] ==
          [("en", "AC3"), ("es", "AAC")], f"clip.ts tracks: {described or r.stderr}")
    target = os.path.join(out, "spanish")
    os.makedirs(target, exist_ok=True)
    r = convert(clip_ts, target, "--audio", "spa")
    heard = pitch(os.path.join(target, "Title_01.mp4"), start=0.5)
    check(r.returncode == 0 and abs(heard - 660) < 10, f"clip.ts Spanish AAC: exit {r.returncode}, {heard:.0f} Hz")

    # E-AC-3 and DTS in an M2TS file without clip information, each at its pitch.
    eac3_dts = os.path.join(DISCS, "media", "eac3_dts.m2ts")
    described, r = info(eac3_dts)
    check(described is not None and [(a["id"], a["format"]) for a in described["titles"][0]["audio"]] ==
          [("1100", "EAC3"), ("1101", "DTS")], f"eac3_dts.m2ts: {described or r.stderr}")
    for track, hz in (("1100", 440), ("1101", 660)):
        target = os.path.join(out, "track" + track)
        os.makedirs(target, exist_ok=True)
        r = convert(eac3_dts, target, "--audio", track)
        heard = pitch(os.path.join(target, "Title_01.mp4"), start=0.5)
        check(r.returncode == 0 and abs(heard - hz) < 10, f"eac3_dts.m2ts track {track}: exit {r.returncode}, {heard:.0f} Hz")
    # Scrambled packets of a file are not passed over in silence: three of the sound's are a stretch
    # that could not be read, and half the file scrambled is an encrypted title.
    clip2 = os.path.join(bluray, "BDMV", "STREAM", "00002.m2ts")
    for name, first, last, most, code, said in (("stray", 0.5, 1.0, 3, 3, "could not be read"),
                                                ("half", 0.5, 1.0, None, 1, "is encrypted; ZuZidero reads unencrypted")):
        target = os.path.join(out, name)
        os.makedirs(target, exist_ok=True)
        copy = os.path.join(target, name + ".m2ts")
        scrambled_copy(clip2, copy, first, last, {0x1011, 0x1100} if most is None else {0x1100}, most)
        r = convert(copy, target)
        check(r.returncode == code and said in r.stderr, f"{name} scrambled packets: exit {r.returncode}: {r.stderr!r}")
    # The clip beside its clip information: languages from it.
    described, _ = info(files[2])
    check(described is not None and [a["language"] for a in described["titles"][0]["audio"]] == ["en", "ja"],
          f"00002.m2ts languages: {described}")

    # --- a DVD's loose VOB: its three titles' cells, whose time stamps start again, as one ---
    vob = os.path.join(DISCS, "ntsc_4x3", "VIDEO_TS", "VTS_01_1.VOB")
    described, r = info(vob)
    check(described is not None and abs(described["titles"][0]["durationMs"] - 14014) < 100,
          f"loose VOB: {described['titles'][0]['durationMs'] if described else r.stderr} ms, its titles 14 s")
    target = os.path.join(out, "vob")
    os.makedirs(target, exist_ok=True)
    r = convert(vob, target)
    check(r.returncode == 0 and abs(duration(os.path.join(target, "Title_01.mp4")) - 14.0) < 0.3,
          f"loose VOB: exit {r.returncode}: {r.stderr}")

    # --- neither kind: the DVD's reason stands ---
    r = run_cli("info", os.path.join(DISCS, "media"))
    check(r.returncode == 2 and "VIDEO_TS" in r.stderr, f"a folder of files: exit {r.returncode}: {r.stderr!r}")
finally:
    shutil.rmtree(out, ignore_errors=True)

finish("Blu-ray folders and single files: all checks passed")
