#!/usr/bin/env python3
"""What a file keeps as the disc codes it: the original-quality copy (profile 107: video, every
sound track and subtitle copied, with chapters and languages), sound passed through into other
containers, and subtitles kept as streams. Checked against the disc's own packets as ffmpeg reads
them from the VOBs, with ffprobe and with mkvmerge as a second reader of the Matroska files.

Usage: copies.py ZUZIDERO_CLI DISCS_FOLDER
"""
import os
import shutil
import subprocess
import sys
import tempfile

from cli_support import chapters, check, finish, flashes_and_clicks, mkvmerge_identify, probe

CLI, DISCS = sys.argv[1], sys.argv[2]
NTSC = os.path.join(DISCS, "ntsc_4x3")  # title 1: 8 s, 4 chapters; AC-3 en, MP2 fr; subpictures en, de (forced)
PAL = os.path.join(DISCS, "pal_16x9")    # title 1: 6 s; AC-3 5.1 en, LPCM ja; subpictures es
OPEN = os.path.join(DISCS, "open_gops")  # 6 s coded I B B P, open groups every 15 pictures; chapters at 0, 2, 4 s
SYNC = os.path.join(DISCS, "sync")
ORIGINAL = "107"


def convert(*args, disc=NTSC, expect=0):
    r = subprocess.run([CLI, "convert", disc, "--quiet", "--overwrite", *args], capture_output=True, text=True)
    check(r.returncode == expect, f"convert {args}: exit {r.returncode}, wanted {expect}: {r.stderr}")
    return r


def packet_hashes(path, stream, bsf=None):
    """The hash column of ffmpeg's framemd5 of one stream's packets, copied (time stamps left out)."""
    r = subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-map", stream, "-c", "copy", *(["-bsf", bsf] if bsf else []),
                        "-f", "framemd5", "-"], capture_output=True, text=True)
    # stream, dts, pts, duration, size, hash[, side data…]
    return [line.split(",")[5].strip() for line in r.stdout.splitlines() if line and not line.startswith("#")]


def packet_times(path, stream="v:0"):
    """(pts, key) of a stream's packets in file order."""
    r = subprocess.run(["ffprobe", "-v", "error", "-select_streams", stream, "-show_entries", "packet=pts_time,flags",
                        "-of", "csv=p=0", path], capture_output=True, text=True)
    rows = []
    for line in r.stdout.splitlines():
        pts, flags = (line.split(",") + [""])[:2]
        rows.append((float(pts), "K" in flags))
    return rows


def is_run(part, whole):
    """Whether `part` is a contiguous run of `whole`."""
    if not part:
        return False
    for i in range(len(whole) - len(part) + 1):
        if whole[i] == part[0] and whole[i:i + len(part)] == part:
            return True
    return False


def streams(path):
    return (probe(path) or {}).get("streams", [])


def decodes_cleanly(path):
    r = subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-map", "0:v", "-map", "0:a", "-f", "null", "-"], capture_output=True,
                       text=True)
    return r.returncode == 0 and not r.stderr.strip(), r.stderr[-300:]


def frame_rgb(path, at, filter_complex=None):
    """The picture at `at` seconds as 720×480 RGB bytes, with a subtitle stream laid over it when
    `filter_complex` says so."""
    args = ["ffmpeg", "-v", "error", "-i", path]
    args += ["-filter_complex", filter_complex, "-map", "[v]"] if filter_complex else ["-map", "0:v:0"]
    args += ["-ss", str(at), "-frames:v", "1", "-s", "720x480", "-pix_fmt", "rgb24", "-f", "rawvideo", "-"]
    return subprocess.run(args, capture_output=True).stdout


def changed_area(picture, plain):
    """Where `picture` differs from `plain` by more than 60 in a colour: (left, top, right, bottom)
    and the mean colour of those pixels there, or None."""
    if len(picture) != len(plain) or not picture:
        return None
    left = top = 10 ** 9
    right = bottom = -1
    total = [0, 0, 0]
    count = 0
    for y in range(0, 480, 2):
        row = y * 720 * 3
        for x in range(0, 720, 2):
            i = row + x * 3
            if max(abs(picture[i + c] - plain[i + c]) for c in range(3)) > 60:
                left, top, right, bottom = min(left, x), min(top, y), max(right, x), max(bottom, y)
                for c in range(3):
                    total[c] += picture[i + c]
                count += 1
    if count == 0:
        return None
    return (left, top, right, bottom), [t / count for t in total]


out = tempfile.mkdtemp(prefix="zuzidero-copies-")
try:
    vob = os.path.join(NTSC, "VIDEO_TS", "VTS_01_1.VOB")
    # --- The original-quality copy of a whole DVD title ---
    convert("--title", "1", "--profile", ORIGINAL, "--out", out)
    copy = os.path.join(out, "Title_01.mkv")
    found = [(s["codec_name"], s.get("tags", {}).get("language"), s.get("disposition", {}).get("default"),
              s.get("disposition", {}).get("forced")) for s in streams(copy)]
    check(found == [("mpeg2video", None, 1, 0), ("ac3", "eng", 1, 0), ("mp2", "fra", 0, 0), ("dvd_subtitle", "eng", 0, 0),
                    ("dvd_subtitle", "deu", 0, 1)], f"original quality: streams {found}")
    video = streams(copy)[0] if streams(copy) else {}
    check(video.get("sample_aspect_ratio") == "8:9" and video.get("display_aspect_ratio") == "4:3",
          f"original quality: shape {video.get('sample_aspect_ratio')} {video.get('display_aspect_ratio')}")
    marks = chapters(copy) or []
    check([(round(s), t) for s, _, t in marks] == [(0, "Chapter 1"), (2, "Chapter 2"), (4, "Chapter 3"), (6, "Chapter 4")],
          f"original quality: chapters {marks}")
    ident = mkvmerge_identify(copy) or {}
    tracks = [(t["codec"], t["properties"].get("language"), t["properties"].get("forced_track")) for t in ident.get("tracks", [])]
    check(tracks == [("MPEG-1/2", "und", False), ("AC-3", "eng", False), ("MP2", "fre", False), ("VobSub", "eng", False),
                     ("VobSub", "ger", True)], f"original quality: mkvmerge reads {tracks}")
    # Its packets are the disc's: every picture, and the sound as a run of the disc's AC-3 frames.
    title_video = packet_hashes(copy, "0:v")
    disc_video = packet_hashes(vob, "0:v")
    check(len(title_video) == 240 and title_video == disc_video[:len(title_video)],
          f"original quality: {len(title_video)} pictures, not the disc's first 240 as they are")
    title_sound = packet_hashes(copy, "0:a:0")
    check(len(title_sound) >= 245 and is_run(title_sound, packet_hashes(vob, "0:a:0")),
          f"original quality: {len(title_sound)} AC-3 frames, not a run of the disc's")
    ok, errors = decodes_cleanly(copy)
    check(ok, f"original quality: ffmpeg reads it with errors: {errors}")
    # A chapter's packets are the run of the whole title's that plays it.
    convert("--title", "1", "--chapter", "3", "--profile", ORIGINAL, "--out", out)
    chapter_video = packet_hashes(os.path.join(out, "Chapter_01_03.mkv"), "0:v")
    check(len(chapter_video) >= 59 and is_run(chapter_video, title_video), f"chapter 3: {len(chapter_video)} pictures, not a run of the title's")

    # --- A disc coded with open groups: a copy begins at the key picture at or before its start
    # and leaves out the pictures of that group shown before it ---
    convert("--profile", ORIGINAL, "--out", out, disc=OPEN)
    whole = os.path.join(out, "Title_01.mkv")
    whole_video = packet_hashes(whole, "0:v")
    check(len(whole_video) == 180 and whole_video == packet_hashes(os.path.join(OPEN, "VIDEO_TS", "VTS_01_1.VOB"), "0:v")[:180],
          f"open groups: {len(whole_video)} pictures, not the disc's")
    whole_times = packet_times(whole)
    for start, name in (("2.2", "trim"), (None, "chapter 2")):
        convert(*(["--start", start, "--length", "2"] if start else ["--chapter", "2"]), "--profile", ORIGINAL, "--out", out, disc=OPEN)
        path = os.path.join(out, "Title_01.mkv" if start else "Chapter_01_02.mkv")
        times = packet_times(path)
        part = packet_hashes(path, "0:v")
        check(bool(times) and times[0][1] and times[0][0] == 0 and min(t for t, _ in times) >= 0,
              f"open groups, {name}: begins {times[:3]}, not with a key picture at 0")
        # The key picture the copy begins with, in the whole title; the whole title's packets
        # from there, less those shown before it, are the copy's.
        first = whole_video.index(part[0]) if part and part[0] in whole_video else -1
        kept = [h for h, (t, _) in zip(whole_video[first:], whole_times[first:]) if t >= whole_times[first][0]] if first >= 0 else []
        check(first >= 0 and whole_times[first][1] and part == kept[:len(part)] and len(part) >= 55,
              f"open groups, {name}: {len(part)} pictures from {first}, not the title's run without the group's leading pictures")
        ok, errors = decodes_cleanly(path)
        check(ok, f"open groups, {name}: ffmpeg reads it with errors: {errors}")
        if start:
            check(whole_times[first][0] <= 2.2 + 0.01 and whole_times[first][0] > 2.2 - 0.6,
                  f"open groups, trim from 2.2 s begins at the key picture of {whole_times[first][0]} s")

    # --- PAL 16:9: its shape, and LPCM repacked as PCM with the disc's own samples ---
    convert("--title", "1", "--profile", ORIGINAL, "--out", out, disc=PAL)
    pal = os.path.join(out, "Title_01.mkv")
    found = [(s["codec_name"], s.get("sample_aspect_ratio"), s.get("channels")) for s in streams(pal)]
    check(found[:3] == [("mpeg2video", "64:45", None), ("ac3", None, 6), ("pcm_s16le", None, 2)], f"PAL copy: streams {found}")
    ours = subprocess.run(["ffmpeg", "-v", "error", "-i", pal, "-map", "0:a:1", "-f", "s16le", "-"], capture_output=True).stdout
    disc = subprocess.run(["ffmpeg", "-v", "error", "-i", os.path.join(PAL, "VIDEO_TS", "VTS_01_1.VOB"), "-map", "0:a:1",
                           "-f", "s16le", "-"], capture_output=True).stdout
    check(len(ours) >= 1152000 and ours[:1152000] == disc[:1152000], "PAL copy: the LPCM samples are not the disc's")

    # --- Sound passed through into other containers ---
    r = convert("--title", "1", "--profile", "5", "--audio", "all", "--audio-copy", "--out", out)
    mp4 = os.path.join(out, "Title_01.mp4")
    check([s["codec_name"] for s in streams(mp4)][:3] == ["h264", "ac3", "aac"], f"MP4 passthrough: streams {streams(mp4)}")
    check(is_run(packet_hashes(mp4, "0:a:0"), packet_hashes(vob, "0:a:0")), "MP4 passthrough: the AC-3 frames are not the disc's")
    check(r.stderr.count("C000 cannot be kept as it is in .mp4 files; it is converted to AAC") == 1,
          f"MP4 passthrough: the MP2 track's conversion is not said once: {r.stderr}")
    convert("--title", "1", "--profile", "1", "--audio", "all", "--audio-copy", "--out", out)
    avi = os.path.join(out, "Title_01.avi")
    check([s["codec_name"] for s in streams(avi)][1:] == ["ac3", "mp2"], f"AVI passthrough: streams {streams(avi)}")
    check(is_run(packet_hashes(avi, "0:a:1"), packet_hashes(vob, "0:a:1")), "AVI passthrough: the MP2 frames are not the disc's")

    # --- Subtitles as streams, beside one burned in ---
    convert("--title", "1", "--profile", "5", "--subtitle-tracks", "all", "--subtitle", "BD21", "--out", out)
    found = [(s["codec_name"], s.get("tags", {}).get("language")) for s in streams(mp4) if s["codec_type"] == "subtitle"]
    check(found == [("dvd_subtitle", "eng"), ("dvd_subtitle", "deu")], f"MP4 subtitle streams: {found}")
    # The forced German stream is flagged forced as a track, unless it is burned in: then a player
    # would show it a second time over the picture.
    mkv = os.path.join(out, "Title_01.mkv")
    for burn, flagged in (("none", 1), ("BD21", 0)):
        convert("--title", "1", "--profile", "11", "--subtitle-tracks", "all", "--subtitle", burn, "--out", out)
        found = [(s.get("tags", {}).get("language"), s.get("disposition", {}).get("forced")) for s in streams(mkv)
                 if s["codec_type"] == "subtitle"]
        check(found == [("eng", 0), ("deu", flagged)], f"MKV subtitle tracks with {burn} burned in: {found}")
    # A soft subtitle, laid over the picture by ffmpeg, lands where the burned-in one does, in its colours.
    convert("--title", "1", "--profile", "11", "--subtitle", "none", "--subtitle-tracks", "BD20", "--out", out)
    soft = os.path.join(out, "Title_01.mkv")
    plain = frame_rgb(soft, 1.2)
    overlaid = changed_area(frame_rgb(soft, 1.2, "[0:v][0:s:0]overlay[v]"), plain)
    convert("--title", "1", "--profile", "11", "--subtitle", "BD20", "--out", out)
    burned = changed_area(frame_rgb(soft, 1.2), plain)
    check(overlaid is not None and burned is not None, f"subtitle at 1.2 s: soft {overlaid}, burned {burned}")
    if overlaid and burned:
        check(all(abs(a - b) <= 6 for a, b in zip(overlaid[0], burned[0])), f"subtitle placed at {overlaid[0]} soft, {burned[0]} burned")
        check(all(abs(a - b) <= 24 for a, b in zip(overlaid[1], burned[1])), f"subtitle colour {overlaid[1]} soft, {burned[1]} burned")

    # --- Sound and pictures stay together: copies and passthrough, trimmed and merged ---
    for args, name, what in ((["--title", "1", "--profile", ORIGINAL], "Title_01.mkv", "original quality"),
                             (["--title", "1", "--start", "2.5", "--length", "7", "--profile", ORIGINAL], "Title_01.mkv",
                              "original quality, trimmed"),
                             (["--title", "1", "--title", "2", "--merge", "--profile", ORIGINAL], "Title_01.mkv",
                              "original quality, merged"),
                             (["--title", "1", "--start", "2.5", "--length", "7", "--profile", "11", "--audio", "all",
                               "--audio-copy"], "Title_01.mkv", "passthrough, trimmed"),
                             (["--title", "1", "--title", "2", "--merge", "--profile", "11", "--audio", "all", "--audio-copy"],
                              "Title_01.mkv", "passthrough, merged")):
        convert(*args, "--out", out, disc=SYNC)
        path = os.path.join(out, name)
        for track in range(2):
            flashes, clicks = flashes_and_clicks(path, track)
            check(len(flashes) >= 3 and len(flashes) == len(clicks), f"{what}, track {track}: flashes {flashes}, clicks {clicks}")
            worst = max((abs(f - c) for f, c in zip(flashes, clicks)), default=1)
            check(worst <= 0.020, f"{what}, track {track}: sound and picture {worst * 1000:.0f} ms apart")
    # The sync disc's title 1 plays its two cells as two chapters (0 s and 6 s), title 2 its one.
    merged_marks = [(round(s), t) for s, _, t in chapters(os.path.join(out, "Title_01.mkv")) or []]
    check(merged_marks == [(0, "Title_01 Chapter 1"), (6, "Title_01 Chapter 2"), (12, "Title_02 Chapter 1")],
          f"merged copy: chapters {merged_marks}")

    # --- Blu-ray: H.264, AC-3, LPCM as PCM and graphics subtitles ---
    convert("--title", "1", "--profile", ORIGINAL, "--out", out, disc=os.path.join(DISCS, "bluray"))
    blu = os.path.join(out, "Title_01.mkv")
    found = [(s["codec_name"], s.get("tags", {}).get("language")) for s in streams(blu)]
    check(found == [("h264", None), ("ac3", "eng"), ("pcm_s16le", "jpn"), ("hdmv_pgs_subtitle", "fra")], f"Blu-ray copy: {found}")
    ok, errors = decodes_cleanly(blu)
    check(ok, f"Blu-ray copy: ffmpeg reads it with errors: {errors}")

    # --- A damaged disc: the same report and exit status as a conversion ---
    r = convert("--profile", ORIGINAL, "--out", out, disc=os.path.join(DISCS, "damaged_zeros"), expect=3)
    check("could not be read" in r.stderr, f"damaged copy: the loss is not listed: {r.stderr}")
finally:
    shutil.rmtree(out, ignore_errors=True)

finish("original-quality copies, passthrough and subtitle streams kept as the disc codes them")
