#!/usr/bin/env python3
"""What a converted file keeps beside its pictures and sound: the title's chapter marks (trimmed,
for a chapter, merged), the languages and titles of its sound, and several sound tracks (each at
its own pitch and in step with the pictures), read back by ffprobe and, for Matroska, by mkvmerge.

Usage: file_keeps.py ZUZIDERO_CLI DISCS_FOLDER
"""
import os
import shutil
import subprocess
import sys
import tempfile

from cli_support import chapters, check, finish, flashes_and_clicks, mkvmerge_identify, pitch, probe

CLI, DISCS = sys.argv[1], sys.argv[2]
NTSC = os.path.join(DISCS, "ntsc_4x3")  # title 1: 8 s, chapters at 0, 2, 4, 6 s; AC-3 English, MP2 French
# A mark may sit up to a picture away from the disc's time (the file counts in its own pictures).
SLACK = 0.1


def convert(*args, disc=NTSC, quiet=True):
    r = subprocess.run([CLI, "convert", disc, *(["--quiet"] if quiet else []), "--overwrite", *args], capture_output=True,
                       text=True)
    check(r.returncode == 0, f"convert {args}: exit {r.returncode}: {r.stderr}")
    return r


def track_pitch(path, track):
    """The pitch of one sound stream of a file, from 1 s for 2 s."""
    wav = path + f".{track}.wav"
    subprocess.run(["ffmpeg", "-v", "error", "-y", "-i", path, "-map", f"0:a:{track}", wav], check=False)
    try:
        return pitch(wav, 2.0, 1.0)
    finally:
        if os.path.exists(wav):
            os.remove(wav)


def check_in_step(path, tracks, what):
    """Every flash of the sync disc is heard within 20 ms in every sound stream."""
    for track in range(tracks):
        flashes, clicks = flashes_and_clicks(path, track)
        check(len(flashes) >= 2 and len(flashes) == len(clicks), f"{what}, track {track}: flashes {flashes}, clicks {clicks}")
        worst = max((abs(f - c) for f, c in zip(flashes, clicks)), default=1)
        check(worst <= 0.020, f"{what}, track {track}: sound and picture {worst * 1000:.0f} ms apart")


def check_marks(path, wanted, what):
    """The file's chapters are `wanted`: (start, title) pairs, each ending where the next starts
    and the last at the file's end."""
    found = chapters(path)
    if found is None or len(found) != len(wanted):
        check(False, f"{what}: chapters {found}, wanted {wanted}")
        return
    info = probe(path)
    length = float(info["format"]["duration"]) if info else 0
    for i, ((start, end, title), (want_start, want_title)) in enumerate(zip(found, wanted)):
        check(title == want_title, f"{what}: chapter {i + 1} named {title!r}, wanted {want_title!r}")
        check(abs(start - want_start) <= SLACK, f"{what}: {title} starts at {start}, wanted {want_start}")
        want_end = found[i + 1][0] if i + 1 < len(found) else length
        check(abs(end - want_end) <= SLACK, f"{what}: {title} ends at {end}, wanted {want_end}")


def audio_streams(path):
    info = probe(path) or {}
    return [s for s in info.get("streams", []) if s["codec_type"] == "audio"]


out = tempfile.mkdtemp(prefix="zuzidero-keeps-")
try:
    whole = [(0, "Chapter 1"), (2, "Chapter 2"), (4, "Chapter 3"), (6, "Chapter 4")]
    # The whole title, into every container that holds chapters; none into one that does not.
    for profile, name in (("5", "Title_01.mp4"), ("11", "Title_01.mkv"), ("6", "Title_01.mov"),
                          ("55", "Title_01.3gp"), ("15", "Title_01.m4a")):
        convert("--out", out, "--title", "1", "--profile", profile)
        check_marks(os.path.join(out, name), whole, f"profile {profile}")
    convert("--out", out, "--title", "1", "--profile", "1")
    check(chapters(os.path.join(out, "Title_01.avi")) == [], "AVI: chapters where the container keeps none")

    # A trim from 3 s for 4 s: the chapter it starts in begins the file, the last one is outside.
    convert("--out", out, "--title", "1", "--start", "3", "--length", "4", "--profile", "11")
    check_marks(os.path.join(out, "Title_01.mkv"), [(0, "Chapter 2"), (1, "Chapter 3"), (3, "Chapter 4")], "trim")
    # A chapter task is its one chapter.
    convert("--out", out, "--title", "1", "--chapter", "3", "--profile", "5")
    check_marks(os.path.join(out, "Chapter_01_03.mp4"), [(0, "Chapter 3")], "chapter task")
    # A merged file: each title's chapters, named after their title, where the title begins.
    convert("--out", out, "--title", "1", "--title", "2", "--merge", "--profile", "11")
    merged = os.path.join(out, "Title_01.mkv")
    check_marks(merged, [(t, "Title_01 " + n) for t, n in whole] + [(8, "Title_02 Chapter 1")], "merge")
    convert("--out", out, "--title", "1", "--title", "2", "--merge", "--profile", "5")
    check_marks(os.path.join(out, "Title_01.mp4"), [(t, "Title_01 " + n) for t, n in whole] + [(8, "Title_02 Chapter 1")],
                "merge into MP4")
    ident = mkvmerge_identify(merged)
    check(ident is not None and ident.get("chapters") == [{"num_entries": 5}],
          f"merge: mkvmerge reads chapters {ident and ident.get('chapters')}")

    # A Blu-ray title's chapters are its playlist's entry marks: 00000.mpls marks 0 s and 2 s of
    # its first clip and the second clip's start (4 s); 00005.mpls plays the first clip from 1 s
    # with a mark at its 2 s.
    bluray = os.path.join(DISCS, "bluray")
    convert("--out", out, "--title", "1", "--profile", "11", disc=bluray)
    check_marks(os.path.join(out, "Title_01.mkv"), [(0, "Chapter 1"), (2, "Chapter 2"), (4, "Chapter 3")], "Blu-ray")
    convert("--out", out, "--title", "3", "--profile", "11", disc=bluray)
    check_marks(os.path.join(out, "Title_03.mkv"), [(0, "Chapter 1"), (1, "Chapter 2")], "Blu-ray, cut by IN")

    # The sound's language and title, as the disc names the track.
    for track, language, title in (("", "eng", "English Vorbis 2.0"), ("fr", "fra", "French Vorbis 2.0")):
        convert("--out", out, "--title", "2", "--profile", "11", *(["--audio", track] if track else []))
        streams = audio_streams(os.path.join(out, "Title_02.mkv"))
        tags = streams[0].get("tags", {}) if streams else {}
        check(tags.get("language") == language and tags.get("title") == title,
              f"audio {track or 'default'}: tags {tags}, wanted {language} {title!r}")
        ident = mkvmerge_identify(os.path.join(out, "Title_02.mkv")) or {}
        props = [t["properties"] for t in ident.get("tracks", []) if t["type"] == "audio"]
        # Matroska stores the bibliographic code where there are two (fre for fra).
        check(props and props[0].get("language") in (language, {"fra": "fre"}.get(language))
              and props[0].get("track_name") == title,
              f"audio {track or 'default'}: mkvmerge reads {props}")
    convert("--out", out, "--title", "2", "--profile", "5", "--audio", "fr")
    streams = audio_streams(os.path.join(out, "Title_02.mp4"))
    tags = streams[0].get("tags", {}) if streams else {}
    # MP4 keeps a track's name as its handler's.
    check(tags.get("language") == "fra" and tags.get("handler_name") == "French AAC 2.0", f"MP4 label: {tags}")

    # Several sound tracks: every one of the title (English AC-3 at 440 Hz, French MP2 at 660 Hz),
    # each converted and at its own pitch, the first the default; in the order asked.
    for order, wanted in ((["--audio", "all"], [("eng", 440), ("fra", 660)]),
                          (["--audio", "fr", "--audio", "en"], [("fra", 660), ("eng", 440)])):
        for profile, name in (("11", "Title_01.mkv"), ("5", "Title_01.mp4")):
            convert("--out", out, "--title", "1", "--profile", profile, *order)
            path = os.path.join(out, name)
            streams = audio_streams(path)
            found = [(s.get("tags", {}).get("language"), s.get("disposition", {}).get("default")) for s in streams]
            check(found == [(language, 1 if i == 0 else 0) for i, (language, _) in enumerate(wanted)],
                  f"{order} into {name}: streams {found}")
            for i, (_, hz) in enumerate(wanted[:len(streams)]):
                heard = track_pitch(path, i)
                check(abs(heard - hz) < 10, f"{order} into {name}: track {i} at {heard} Hz, wanted {hz}")
    ident = mkvmerge_identify(os.path.join(out, "Title_01.mkv")) or {}
    languages = [t["properties"].get("language") for t in ident.get("tracks", []) if t["type"] == "audio"]
    check(languages == ["fre", "eng"], f"mkvmerge reads the tracks' languages {languages}")
    # Every kind of source: a Blu-ray title (AC-3 English at 440 Hz, LPCM Japanese at 660 Hz) and
    # an M2TS file (E-AC-3 at 440 Hz, DTS at 660 Hz), each track from its own PID.
    for disc, args, name, wanted in ((os.path.join(DISCS, "bluray"), ["--title", "1"], "Title_01.mkv", ["eng", "jpn"]),
                                     (os.path.join(DISCS, "media", "eac3_dts.m2ts"), [], "Title_01.mkv", [None, None])):
        convert("--out", out, *args, "--profile", "11", "--audio", "all", disc=disc)
        path = os.path.join(out, name)
        streams = audio_streams(path)
        check([s.get("tags", {}).get("language") for s in streams] == wanted, f"{disc}: streams {streams}")
        for i, hz in enumerate((440, 660)[:len(streams)]):
            heard = track_pitch(path, i)
            check(abs(heard - hz) < 10, f"{disc}: track {i} at {heard} Hz, wanted {hz}")

    # A device's format keeps the first track, and the run says so.
    r = convert("--out", out, "--title", "2", "--profile", "55", "--audio", "fr", "--audio", "en", quiet=False)
    streams = audio_streams(os.path.join(out, "Title_02.3gp"))
    check(len(streams) == 1 and abs(track_pitch(os.path.join(out, "Title_02.3gp"), 0) - 770) < 10,
          f"3GP: {len(streams)} sound streams")
    check(r.stderr.count("keeps one audio track") == 1, f"3GP: the run does not say it keeps one track: {r.stderr}")

    # Both tracks of the sync disc stay in step with the pictures: across its cells whose time stamps
    # start again, trimmed, and merged.
    sync = os.path.join(DISCS, "sync")
    convert("--out", out, "--title", "1", "--profile", "11", "--audio", "all", disc=sync)
    check_in_step(os.path.join(out, "Title_01.mkv"), 2, "sync title")
    convert("--out", out, "--title", "1", "--start", "2.5", "--length", "7", "--profile", "5", "--audio", "all", disc=sync)
    check_in_step(os.path.join(out, "Title_01.mp4"), 2, "sync trimmed")
    convert("--out", out, "--title", "1", "--title", "2", "--merge", "--profile", "11", "--audio", "all", disc=sync)
    check_in_step(os.path.join(out, "Title_01.mkv"), 2, "sync merged")
finally:
    shutil.rmtree(out, ignore_errors=True)

finish("chapters, languages and sound tracks kept")
