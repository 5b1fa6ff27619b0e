#!/usr/bin/env python3
"""Picture subtitles read into text: discs whose subpictures spumux drew from SubRip files are
converted with --subtitle-text, and what comes out (the files beside the video, the text streams
in MKV, MP4 and WebM, read back by ffmpeg, ffprobe and mkvmerge) is compared with those SubRip
files: every cue there, its text within 1 % of the source's characters, its times within 50 ms.

Usage: text_subtitles.py ZUZIDERO_CLI DISCS_FOLDER
"""
import json
import os
import re
import subprocess
import sys
import tempfile

from cli_support import check, finish, mkvmerge_identify, probe

CLI, DISCS = sys.argv[1], sys.argv[2]
NTSC = os.path.join(DISCS, "text_ntsc")  # 60 s; subpictures English, German, French, English in italics
PAL = os.path.join(DISCS, "text_pal")    # 32 s, 16:9; English and Spanish
BLURAY = os.path.join(DISCS, "bluray_text")  # 32 s, 720p; English presentation graphics of eng_pal.srt
SOURCE = os.path.join(DISCS, "text_source")
TIME_SLACK = 0.050
MOST_ERRORS = 0.01


def read_srt(text):
    """(start, end, text) of each cue of a SubRip text, times in seconds."""
    cues = []
    for block in re.split(r"\n\s*\n", text.replace("\r\n", "\n").strip()):
        lines = block.split("\n")
        times = next((i for i, line in enumerate(lines) if "-->" in line), None)
        if times is None:
            continue
        start, end = (sum(float(p) * m for p, m in zip(t.strip().replace(",", ".").split(":"), (3600, 60, 1)))
                      for t in lines[times].split("-->"))
        cues.append((start, end, "\n".join(lines[times + 1:])))
    return cues


def source(name):
    with open(os.path.join(SOURCE, name), encoding="utf-8") as f:
        return read_srt(f.read())


def plain(text):
    """The words of a cue, tags left out and line breaks and spaces made one space."""
    return " ".join(re.sub(r"</?i>", "", text).split())


def edits(a, b):
    """The Levenshtein distance between two texts."""
    row = list(range(len(b) + 1))
    for i, ca in enumerate(a, 1):
        previous, row[0] = row[0], i
        for j, cb in enumerate(b, 1):
            previous, row[j] = row[j], min(row[j] + 1, row[j - 1] + 1, previous + (ca != cb))
    return row[-1]


def compare(read, wanted, what, shift=0.0):
    """Every wanted cue is read, at its times (moved by `shift`) within 50 ms, and the text of all
    within 1 % of the wanted characters."""
    check(len(read) == len(wanted), f"{what}: {len(read)} cues read, {len(wanted)} on the disc")
    errors = characters = 0
    for (start, end, text), (want_start, want_end, want_text) in zip(read, wanted):
        want_start, want_end = want_start + shift, want_end + shift
        check(abs(start - want_start) <= TIME_SLACK and abs(end - want_end) <= TIME_SLACK,
              f"{what}: {plain(want_text)!r} at {start:.3f}-{end:.3f}, wanted {want_start:.3f}-{want_end:.3f}")
        errors += edits(plain(text), plain(want_text))
        characters += len(plain(want_text))
    rate = errors / max(characters, 1)
    check(rate <= MOST_ERRORS, f"{what}: character error rate {rate:.2%} ({errors} of {characters}): "
          + " | ".join(plain(t) for _, _, t in read))
    return rate


def convert(disc, out, *args, env=None):
    r = subprocess.run([CLI, "convert", disc, "--out", out, "--overwrite", *args], capture_output=True, text=True, env=env)
    return r


def stream_cues(path, index):
    """The cues of a file's text subtitle stream `index`, as ffmpeg reads them out as SubRip."""
    r = subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-map", f"0:s:{index}", "-f", "srt", "-"], capture_output=True,
                       text=True)
    check(r.returncode == 0, f"{path}: ffmpeg cannot read subtitle stream {index}: {r.stderr}")
    return read_srt(r.stdout)


def video_start(path):
    """Where the file's pictures begin (the container may begin them a little after 0)."""
    info = probe(path) or {}
    video = [s for s in info.get("streams", []) if s.get("codec_type") == "video"]
    return float(video[0].get("start_time", 0)) if video else 0.0


def sidecars_and_mkv(work):
    """NTSC to MKV, text streams and SubRip files both."""
    out = os.path.join(work, "mkv")
    r = convert(NTSC, out, "--profile", "108", "--speed", "ultrafast", "--subtitle-text", "both")
    check(r.returncode == 0, f"MKV with text: exit {r.returncode}: {r.stderr}")
    names = sorted(os.listdir(out)) if os.path.isdir(out) else []
    wanted = {"Title_01.eng.srt": "eng.srt", "Title_01.ger.srt": "ger.srt", "Title_01.fre.srt": "fre.srt",
              "Title_01.eng.2.srt": "italic.srt"}
    for name in wanted:
        check(name in names, f"MKV with text: {name} missing beside the file: {names}")
    check(all(n.endswith((".mkv", ".srt", ".check.txt")) for n in names), f"MKV with text: other files: {names}")
    for name, source_name in wanted.items():
        if name in names:
            with open(os.path.join(out, name), encoding="utf-8") as f:
                read = read_srt(f.read())
            compare(read, source(source_name), name)
            # The oblique track's lines are marked as italics, and only those.
            italic = [all(line.startswith("<i>") and line.endswith("</i>") for line in text.split("\n")) for _, _, text in read]
            marked = [("<i>" in text) for _, _, text in read]
            if source_name == "italic.srt":
                check(all(italic), f"{name}: cues not in italics: {[t for (_, _, t), i in zip(read, italic) if not i]}")
            else:
                check(not any(marked), f"{name}: cues in italics: {[t for (_, _, t), m in zip(read, marked) if m]}")
    check("English: 19 cues read" in r.stderr and "German: 19 cues read" in r.stderr,
          f"MKV with text: the run does not say what it read: {r.stderr}")
    mkv = os.path.join(out, "Title_01.mkv")
    info = probe(mkv) or {}
    subtitles = [s for s in info.get("streams", []) if s.get("codec_type") == "subtitle"]
    check([s.get("codec_name") for s in subtitles] == ["subrip"] * 4, f"MKV with text: streams {subtitles}")
    shift = video_start(mkv)
    for index, source_name in enumerate(["eng.srt", "ger.srt", "fre.srt", "italic.srt"]):
        compare(stream_cues(mkv, index), source(source_name), f"MKV stream {index}", shift)
    tracks = [t for t in (mkvmerge_identify(mkv) or {}).get("tracks", []) if t.get("type") == "subtitles"]
    languages = [t["properties"].get("language") for t in tracks]
    check(languages == ["eng", "ger", "fre", "eng"], f"MKV with text: mkvmerge reads languages {languages}")
    check(all(t["properties"].get("track_name", "").endswith("(text)") for t in tracks),
          f"MKV with text: track names {[t['properties'].get('track_name') for t in tracks]}")


def mp4_streams(work):
    """PAL 16:9 to MP4: timed-text streams instead of pictures, nothing beside the file."""
    out = os.path.join(work, "mp4")
    r = convert(PAL, out, "--profile", "109", "--speed", "ultrafast", "--subtitle-text", "tracks")
    check(r.returncode == 0, f"MP4 with text: exit {r.returncode}: {r.stderr}")
    names = sorted(os.listdir(out)) if os.path.isdir(out) else []
    check(names == ["Title_01.mp4"], f"MP4 with text: files {names}")
    mp4 = os.path.join(out, "Title_01.mp4")
    info = probe(mp4) or {}
    subtitles = [s for s in info.get("streams", []) if s.get("codec_type") == "subtitle"]
    check([s.get("codec_name") for s in subtitles] == ["mov_text"] * 2, f"MP4 with text: streams {subtitles}")
    check([s.get("tags", {}).get("language") for s in subtitles] == ["eng", "spa"], f"MP4 with text: languages {subtitles}")
    shift = video_start(mp4)
    for index, source_name in enumerate(["eng_pal.srt", "spa.srt"]):
        compare(stream_cues(mp4, index), source(source_name), f"MP4 stream {index}", shift)


def trimmed_webm(work):
    """A stretch of the NTSC title to WebM: WebVTT cues moved with the trim, the cue the end cuts
    cut with it."""
    out = os.path.join(work, "webm")
    r = convert(NTSC, out, "--profile", "114", "--speed", "5", "--subtitle-tracks", "BD20", "--subtitle-text", "tracks",
                "--start", "00:00:10", "--length", "00:00:11")
    check(r.returncode == 0, f"WebM with text: exit {r.returncode}: {r.stderr}")
    webm = os.path.join(out, "Title_01.webm")
    info = probe(webm) or {}
    subtitles = [s for s in info.get("streams", []) if s.get("codec_type") == "subtitle"]
    check([s.get("codec_name") for s in subtitles] == ["webvtt"], f"WebM with text: streams {subtitles}")
    # Cues from 10 s to 21 s: those starting at 10.0, 13.25, 16.0 and 19.0 (shown to 21.4, cut at 21).
    wanted = [(s - 10, min(e, 21) - 10, t) for s, e, t in source("eng.srt") if 10 <= s < 21]
    compare(stream_cues(webm, 0), [(s + 10, e + 10, t) for s, e, t in wanted], "WebM stream", video_start(webm) - 10)


def bluray_graphics(work):
    """Blu-ray presentation graphics read the same way: an MKV with a SubRip stream and the file
    beside it."""
    out = os.path.join(work, "bluray")
    r = convert(BLURAY, out, "--profile", "108", "--speed", "ultrafast", "--subtitle-text", "both")
    check(r.returncode == 0, f"Blu-ray with text: exit {r.returncode}: {r.stderr}")
    srt = os.path.join(out, "Title_01.eng.srt")
    if os.path.exists(srt):
        with open(srt, encoding="utf-8") as f:
            compare(read_srt(f.read()), source("eng_pal.srt"), "Blu-ray's SubRip file")
    else:
        check(False, f"Blu-ray with text: no SubRip file: {os.listdir(out) if os.path.isdir(out) else r.stderr}")
    mkv = os.path.join(out, "Title_01.mkv")
    compare(stream_cues(mkv, 0), source("eng_pal.srt"), "Blu-ray's MKV stream", video_start(mkv))


def forced_and_unreadable(work):
    """The NTSC test disc's subpictures are boxes, not letters: each cue is listed to check with
    its time; the German stream, forced only, keeps its flag as text and in its file's name. One
    subtitle burned in while another becomes text."""
    out = os.path.join(work, "forced")
    r = convert(os.path.join(DISCS, "ntsc_4x3"), out, "--title", "1", "--profile", "108", "--speed", "ultrafast",
                "--subtitle-text", "both", "--json")
    check(r.returncode == 0, f"forced: exit {r.returncode}: {r.stderr}")
    # The end report as JSON: each track's cues to check, with their times.
    try:
        report = json.loads(r.stdout)
    except ValueError:
        report = {}
    tracks = [t for f in report.get("subtitlesAsText", []) for t in f.get("tracks", [])]
    check([(t.get("language"), t.get("cues"), [c.get("start") for c in t.get("toCheck", [])]) for t in tracks]
          == [("eng", 1, [0.5]), ("deu", 1, [1.0])], f"forced: the JSON report: {r.stdout}")
    check(sorted(os.path.basename(f) for f in report.get("subtitleFiles", [])) == ["Title_01.eng.srt", "Title_01.ger.forced.srt"],
          f"forced: the JSON report's files: {r.stdout}")
    names = sorted(os.listdir(out)) if os.path.isdir(out) else []
    check(names == ["Title_01.eng.srt", "Title_01.eng.srt.check.txt", "Title_01.ger.forced.srt",
                    "Title_01.ger.forced.srt.check.txt", "Title_01.mkv"], f"forced: files {names}")
    if "Title_01.ger.forced.srt.check.txt" in names:
        with open(os.path.join(out, "Title_01.ger.forced.srt.check.txt"), encoding="utf-8") as f:
            listed = f.read()
        check(listed.startswith("00:00:01,000 --> 00:00:01,"), f"forced: the cue to check: {listed!r}")
    check("German: 1 cue read, 1 to check" in r.stderr and "  to check: German 00:00:01,000 --> " in r.stderr,
          f"forced: the end report: {r.stderr}")
    tracks = [t for t in (mkvmerge_identify(os.path.join(out, "Title_01.mkv")) or {}).get("tracks", []) if t.get("type") == "subtitles"]
    marks = [(t["properties"].get("language"), t["properties"].get("forced_track"), t["properties"].get("track_name")) for t in tracks]
    check(marks == [("eng", False, "English (text)"), ("ger", True, "German (forced, text)")], f"forced: tracks {marks}")

    # Titles 1 (8 s) and 2 merged into one file at another frame rate: the second title's cues
    # follow the first's end.
    out = os.path.join(work, "merged")
    r = convert(os.path.join(DISCS, "ntsc_4x3"), out, "--title", "1", "--title", "2", "--merge", "--rate", "25",
                "--profile", "108", "--speed", "ultrafast", "--subtitle-tracks", "en", "--subtitle-text", "files")
    check(r.returncode == 0, f"merged: exit {r.returncode}: {r.stderr}")
    srt = os.path.join(out, "Title_01.eng.srt")
    cues = read_srt(open(srt, encoding="utf-8").read()) if os.path.exists(srt) else []
    times = [(round(s, 2), round(e, 2)) for s, e, _ in cues]
    check(len(times) == 2 and all(abs(a - b) <= TIME_SLACK for t, w in zip(times, [(0.5, 1.5), (8.5, 9.5)]) for a, b in zip(t, w)),
          f"merged: cue times {times}")

    out = os.path.join(work, "burned")
    r = convert(NTSC, out, "--profile", "108", "--speed", "ultrafast", "--subtitle", "BD21", "--subtitle-tracks", "BD20",
                "--subtitle-text", "tracks", "--length", "00:00:08")
    check(r.returncode == 0, f"burned and text: exit {r.returncode}: {r.stderr}")
    mkv = os.path.join(out, "Title_01.mkv")
    # The third cue, shown from 7 s to 9.4 s, is cut where the file ends.
    compare(stream_cues(mkv, 0), [(s, min(e, 8), t) for s, e, t in source("eng.srt") if s < 8], "burned and text", video_start(mkv))


def refusals_and_files_only(work):
    """AVI keeps no text streams: asked for, the run refuses before converting; SubRip files alone
    are written beside it."""
    out = os.path.join(work, "avi")
    r = convert(PAL, out, "--profile", "1", "--subtitle-text", "tracks", "--length", "00:00:05")
    check(r.returncode != 0 and "keep no text subtitles" in r.stderr, f"AVI with text streams: exit {r.returncode}: {r.stderr}")
    check(not os.path.isdir(out) or not os.listdir(out), f"AVI with text streams: files {os.listdir(out)}")
    r = convert(PAL, out, "--profile", "1", "--subtitle-text", "files", "--subtitle-tracks", "es")
    check(r.returncode == 0, f"AVI with SubRip files: exit {r.returncode}: {r.stderr}")
    names = sorted(os.listdir(out)) if os.path.isdir(out) else []
    check(names[:2] == ["Title_01.avi", "Title_01.spa.srt"], f"AVI with SubRip files: files {names}")
    if "Title_01.spa.srt" in names:
        with open(os.path.join(out, "Title_01.spa.srt"), encoding="utf-8") as f:
            compare(read_srt(f.read()), source("spa.srt"), "AVI's Spanish SubRip file")
    # A SubRip file that cannot be written (a folder has its name) is said, and the run fails.
    taken = os.path.join(work, "taken")
    os.makedirs(os.path.join(taken, "Title_01.spa.srt"))
    r = convert(PAL, taken, "--profile", "1", "--subtitle-text", "files", "--subtitle-tracks", "es", "--length", "00:00:05")
    check(r.returncode != 0 and "Cannot write " in r.stderr and "1 subtitle file not written" in r.stderr
          and "subtitles written:" not in r.stderr, f"a SubRip file that cannot be written: exit {r.returncode}: {r.stderr}")
    r = convert(PAL, out, "--subtitle-text", "some")
    check(r.returncode != 0 and "--subtitle-text needs tracks, files, both or none" in r.stderr,
          f"a wrong --subtitle-text: {r.returncode}: {r.stderr}")


def missing_language_data(work):
    """With English data alone installed, info says which subtitles are read with their own data
    and which package the others need; a run reads those with English and says so once."""
    data = os.path.join(work, "tessdata")
    os.makedirs(data)
    os.symlink("/usr/share/tesseract-ocr/5/tessdata/eng.traineddata", os.path.join(data, "eng.traineddata"))
    env = dict(os.environ, TESSDATA_PREFIX=data)
    r = subprocess.run([CLI, "info", NTSC, "--json"], capture_output=True, text=True, env=env)
    check(r.returncode == 0, f"info with English data only: exit {r.returncode}: {r.stderr}")
    subtitles = json.loads(r.stdout or "{}").get("titles", [{}])[0].get("subtitles", [])
    readable = [(s.get("keptLanguage"), s.get("readableAsText"), s.get("textDataPackage")) for s in subtitles]
    check(readable == [("eng", True, None), ("deu", False, "tesseract-ocr-deu"), ("fra", False, "tesseract-ocr-fra"),
                       ("eng", True, None)], f"info with English data only: {readable}")
    r = subprocess.run([CLI, "info", NTSC], capture_output=True, text=True)
    check(r.stdout.count("readable as text") == 4, f"info with every language's data: {r.stdout}")
    out = os.path.join(work, "english_only")
    r = convert(NTSC, out, "--profile", "108", "--speed", "ultrafast", "--subtitle-tracks", "de", "--subtitle-text", "files",
                "--length", "00:00:07", env=env)
    note = "No text reader data for German is installed (install tesseract-ocr-deu); its subtitles were read as English"
    check(r.returncode == 0 and r.stderr.count(note) == 1, f"German read with English data: exit {r.returncode}: {r.stderr}")
    check(os.path.exists(os.path.join(out, "Title_01.ger.srt")), f"German read with English data: {os.listdir(out)}")


with tempfile.TemporaryDirectory() as work:
    missing_language_data(work)
    sidecars_and_mkv(work)
    mp4_streams(work)
    trimmed_webm(work)
    bluray_graphics(work)
    forced_and_unreadable(work)
    refusals_and_files_only(work)
finish("subtitles read into text: every cue, its times within 50 ms, its text within 1 %")
