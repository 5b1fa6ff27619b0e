#!/usr/bin/env python3
"""zuzidero-cli info --json against lsdvd (titles, frame counts, chapters, stream languages,
codings and channels) and against ffprobe (stream identifiers present in the title's VOBs).

lsdvd numbers MPEG audio streams by their position among all audio streams, so its stream ids
are not used; ffprobe reads the identifiers from the program stream itself."""
import json
import os
import subprocess
import sys
import xml.etree.ElementTree as ET

from cli_support import check, finish

CLI, DISCS = sys.argv[1], sys.argv[2]
FIXTURES = ["ntsc_4x3", "pal_16x9", "pal_16x9.iso", "two_sets", "sync", "shapes_ntsc", "shapes_pal"]
FORMAT_OF_LSDVD = {"ac3": "AC3", "mpeg1": "MP2", "mpeg2": "MP2", "mpeg2ext": "MP2", "lpcm": "LPCM", "dts": "DTS"}


def lsdvd(path):
    out = subprocess.run(["lsdvd", "-x", "-Ox", path], capture_output=True, check=True).stdout
    # lsdvd prints a banner before the XML when libdvdcss is missing.
    start = out.index(b"<?xml")
    return ET.fromstring(out[start:].decode("utf-8", "replace").encode())


def ffprobe_ids(vob_files):
    ids = set()
    for vob in vob_files:
        out = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "stream=id,codec_type,codec_name",
                              "-of", "json", vob], capture_output=True, check=True).stdout
        for stream in json.loads(out)["streams"]:
            pes = int(stream["id"], 16)
            if stream.get("codec_name") == "dvd_nav_packet":
                continue
            # (PES id << 8) | sub-stream id: private stream 1 carries sub-streams.
            ids.add(((pes & 0xFF) << 8) if pes >= 0x100 else (0xBD00 | pes))
    return ids


def vobs_of_title_set(disc_dir, vts):
    folder = os.path.join(disc_dir, "VIDEO_TS")
    return sorted(os.path.join(folder, f) for f in os.listdir(folder)
                  if f.startswith(f"VTS_{vts:02d}_") and f.endswith(".VOB") and not f.endswith("_0.VOB"))


for name in FIXTURES:
    path = os.path.join(DISCS, name)
    result = subprocess.run([CLI, "info", path, "--json"], capture_output=True, check=True, text=True)
    ours = json.loads(result.stdout)
    theirs = lsdvd(path)
    tracks = theirs.findall("track")
    check(len(ours["titles"]) == len(tracks), f"{name}: {len(ours['titles'])} titles, lsdvd {len(tracks)}")
    folder = path if os.path.isdir(path) else os.path.join(DISCS, "pal_16x9")
    for title, track in zip(ours["titles"], tracks):
        where = f"{name} title {title['title']}"
        fps = float(track.findtext("fps"))
        nominal = 30 if fps > 29 else 25
        frames_lsdvd = round(float(track.findtext("length")) * nominal)
        # Our time is the true playing time: NTSC frames last 1001/30 ms.
        frame_ms = 1001.0 / 30.0 if nominal == 30 else 40.0
        frames_ours = round(title["durationMs"] / frame_ms)
        check(frames_ours == frames_lsdvd, f"{where}: {frames_ours} frames, lsdvd {frames_lsdvd}")
        check(title["chapters"] == len(track.findall("chapter")), f"{where}: chapter count")
        check(title["width"] == int(track.findtext("width")), f"{where}: width {title['width']}")
        check(title["height"] == int(track.findtext("height")), f"{where}: height {title['height']}")
        check(title["aspect"] == track.findtext("aspect").replace("/", ":"), f"{where}: aspect {title['aspect']}")
        check(len(title["chapterSectors"]) == title["chapters"], f"{where}: chapterSectors")
        check(all(s > 0 for s in title["chapterSectors"]), f"{where}: an empty chapter")

        audio = track.findall("audio")
        check(len(title["audio"]) == len(audio), f"{where}: {len(title['audio'])} audio streams, lsdvd {len(audio)}")
        for a, b in zip(title["audio"], audio):
            check(a["language"] == b.findtext("langcode"), f"{where}: audio language {a['language']}")
            check(a["format"] == FORMAT_OF_LSDVD.get(b.findtext("format").strip(), ""),
                  f"{where}: audio format {a['format']} vs {b.findtext('format')}")
            check(a["channels"] == int(b.findtext("channels")), f"{where}: channels {a['channels']}")
            check(a["languageName"] != "", f"{where}: no language name for {a['language']}")
        subs = track.findall("subp")
        check(len(title["subtitles"]) == len(subs), f"{where}: {len(title['subtitles'])} subpictures, lsdvd {len(subs)}")
        for a, b in zip(title["subtitles"], subs):
            check(a["language"] == b.findtext("langcode"), f"{where}: subpicture language {a['language']}")

        vts = int(track.findtext("vts"))
        present = ffprobe_ids(vobs_of_title_set(folder, vts))
        for stream in title["audio"] + title["subtitles"]:
            check(stream["streamId"] in present,
                  f"{where}: stream {stream['streamId']:04X} not in the VOBs ({sorted(hex(i) for i in present)})")
            check(stream.get("id") == f"{stream['streamId']:04X}", f"{where}: id {stream.get('id')!r} of {stream['streamId']}")

# An unreadable path is reported as the program reports it.
bad = subprocess.run([CLI, "info", os.path.join(DISCS, "no-such-disc")], capture_output=True, text=True)
check(bad.returncode == 2, f"unreadable disc: exit {bad.returncode}")
check("Open disc error: " in bad.stderr and "does not exist" in bad.stderr, f"unreadable disc: stderr {bad.stderr!r}")

finish(f"{len(FIXTURES)} discs agree with lsdvd and ffprobe")
