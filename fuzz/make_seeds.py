#!/usr/bin/env python3
"""Makes the seed corpora of the fuzz targets: the MPEG ones from short streams that ffmpeg encodes,
the disc navigation's from the test discs' information files, Blu-ray clip information and playlists
written from their format.

Usage: make_seeds.py [DISCS]   (DISCS: the test discs' folder, for a DVD title with subpictures)
"""
import os
import random
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "fixtures"))
from bdmv_format import clpi, mpls  # noqa: E402
SOURCES = ["-f", "lavfi", "-i", "testsrc=size=96x64:rate=25", "-f", "lavfi", "-i",
           "sine=frequency=440:sample_rate=48000", "-t", "0.6"]
STREAMS = {
    "m2_mp2.ts": ["-c:v", "mpeg2video", "-b:v", "300k", "-c:a", "mp2", "-b:a", "64k", "-f", "mpegts"],
    "h264_aac.ts": ["-pix_fmt", "yuv420p", "-c:v", "libx264", "-x264-params", "aud=1", "-c:a", "aac", "-b:a", "32k",
                    "-f", "mpegts"],
    "m2_ac3.vob": ["-c:v", "mpeg2video", "-b:v", "300k", "-c:a", "ac3", "-b:a", "64k", "-f", "vob"],
    "m1_mp2.mpg": ["-c:v", "mpeg1video", "-b:v", "300k", "-c:a", "mp2", "-b:a", "64k", "-f", "mpeg"],
    "m2_lpcm.vob": ["-c:v", "mpeg2video", "-b:v", "300k", "-c:a", "pcm_s16be", "-f", "dvd"],
    "h264_lpcm.m2ts": ["-pix_fmt", "yuv420p", "-c:v", "libx264", "-g", "5", "-c:a", "pcm_bluray", "-f", "mpegts",
                       "-mpegts_m2ts_mode", "1"],
    "raw.h264": ["-pix_fmt", "yuv420p", "-c:v", "libx264", "-x264-params", "aud=1", "-an", "-f", "h264"],
    "raw.aac": ["-vn", "-c:a", "aac", "-b:a", "32k", "-f", "adts"],
}


def encode(folder):
    made = {}
    for name, args in STREAMS.items():
        path = os.path.join(folder, name)
        subprocess.run(["ffmpeg", "-v", "error", "-y", *SOURCES, *args, path], check=True)
        with open(path, "rb") as f:
            made[name] = f.read()
    return made


def write(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def records(stream, choice, rng):
    """Cuts an elementary stream into reshaping records: length, flags, payload."""
    out = bytearray([choice])
    at = 0
    while at < len(stream):
        n = min(len(stream) - at, rng.choice([7, 100, 184, 500, 2000]))
        flags = rng.choice([0, 1, 5, 5, 7, 13, 17])
        out += bytes([n >> 8, n & 0xFF, flags]) + stream[at:at + n]
        at += n
    return bytes(out)


def main():
    rng = random.Random(7)
    streams = [(0x1011, 0x1B, bytes([0x61, 0x30])), (0x1100, 0x81, b"\x31eng"), (0x1101, 0x80, b"\x3cjpn"),
               (0x1200, 0x90, b"fra"), (0x1800, 0x92, b"\x01deu")]
    write("hdmv_clip_info", "clip.clpi", b"\x00" + clpi(streams))
    write("hdmv_clip_info", "clip_0100.clpi", b"\x00" + clpi(streams[:2], b"0100"))
    write("hdmv_clip_info", "main.mpls", b"\x01" + mpls([(b"00001", 45000, 135000), (b"00002", 0, 90000)],
                                                            [(1, 0, 45000), (2, 1, 0), (1, 1, 45000)]))
    write("hdmv_clip_info", "repeat.mpls", b"\x01" + mpls([(b"00001", 0, 90000), (b"00001", 0, 90000)]))
    with tempfile.TemporaryDirectory() as folder:
        streams = encode(folder)
    # Media discs: the M2TS clip in a Blu-ray folder played from 0.1 s (its time stamps start at
    # 1.4 s) for 3.1 s, past its end, so that the playlist is long enough to be a title; and the
    # clip and a program stream as files.
    write("media_disc", "folder.m2ts", b"\x01" + (int(1.5 * 45000)).to_bytes(4, "big") + (int(4.6 * 45000)).to_bytes(4, "big")
          + streams["h264_lpcm.m2ts"])
    write("media_disc", "file.m2ts", b"\x00" + streams["h264_lpcm.m2ts"])
    write("media_disc", "file.mpg", b"\x02" + streams["m1_mp2.mpg"])
    for name in ["m2_mp2.ts", "h264_aac.ts", "m2_ac3.vob", "m1_mp2.mpg", "m2_lpcm.vob"]:
        write("mpeg_demux", name, streams[name])
        # Header parsers: the start of each container, with two budgets and both restart modes.
        write("mpeg_headers", name + ".start", bytes([0x7F]) + streams[name][:4096])
        write("mpeg_headers", name + ".restart", bytes([0x85]) + streams[name][:2048])
    write("mpeg_headers", "raw.h264", bytes([0x40]) + streams["raw.h264"][:1024])
    write("mpeg_headers", "raw.aac", bytes([0x10]) + streams["raw.aac"][:512])
    write("mpeg_reshaping", "aac", records(streams["raw.aac"], 0, rng))
    write("mpeg_reshaping", "h264", records(streams["raw.h264"], 1, rng))
    # VC-1 has no encoder in ffmpeg: sequence header, entry point and frames by hand.
    vc1 = bytearray()
    vc1 += b"\x00\x00\x01\x0f\xca\x86\x13\xf0\xef\x88\x80\x00\x00\x01\x0e\x48\xd3\x40"
    for i in range(12):
        vc1 += b"\x00\x00\x01\x0d" + bytes([(i * 37 + k) & 0xFF or 1 for k in range(60 + i * 3)])
    write("mpeg_reshaping", "vc1", records(bytes(vc1), 2, rng))
    # A DVD title's stretch with subpictures, when the test discs are there.
    if len(sys.argv) > 1:
        vob = os.path.join(sys.argv[1], "ntsc_4x3", "VIDEO_TS", "VTS_01_1.VOB")
        if os.path.exists(vob):
            with open(vob, "rb") as f:
                data = f.read()
            at = data.find(b"\x00\x00\x01\xbd")
            while at >= 0 and data[at + 9 + data[at + 8]] != 0x20:
                at = data.find(b"\x00\x00\x01\xbd", at + 4)
            if at >= 0:
                start = (at // 2048) * 2048 - 16 * 2048
                write("mpeg_demux", "dvd_subpictures.vob", data[max(0, start):max(0, start) + 64 * 2048])
        # Disc navigation: the video manager's IFO, then title set 1's, behind the manager's length.
        for disc in ["ntsc_4x3", "pal_16x9", "two_sets", "sync", "damage_source"]:
            folder = os.path.join(sys.argv[1], disc, "VIDEO_TS")
            if not os.path.isdir(folder):
                continue
            with open(os.path.join(folder, "VIDEO_TS.IFO"), "rb") as f:
                manager = f.read()
            with open(os.path.join(folder, "VTS_01_0.IFO"), "rb") as f:
                title_set = f.read()
            seed = len(manager).to_bytes(4, "big") + manager + title_set
            write("dvd_navigation", disc, seed)
            write("dvd_navigation", disc + ".backups", seed + b"\x01")


if __name__ == "__main__":
    main()
