#!/usr/bin/env python3
"""Today's formats: each profile of the Modern group converts a 16:9 PAL title with its codecs and
pixel format, the title's length, its rate and its shape (anamorphic, as on the disc); constant
quality gives a larger file and a closer picture at a lower setting for each encoder; 10-bit H.265;
quality, speed and depth the encoder refuses stop the command before it converts.

Usage: modern_formats.py ZUZIDERO_CLI DISCS_FOLDER
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

from cli_support import check, duration, finish, probe

CLI, DISCS = sys.argv[1], sys.argv[2]
PAL = os.path.join(DISCS, "pal_16x9")  # title 2: 3.5 s, 720 × 576 at 16:9, 25 pictures a second

MODERN = {  # profile: (extension, video codec, sound codec)
    "108": (".mkv", "h264", "aac"),
    "109": (".mp4", "h264", "aac"),
    "110": (".mkv", "hevc", "aac"),
    "111": (".mp4", "hevc", "aac"),
    "112": (".mkv", "av1", "opus"),
    "113": (".webm", "av1", "opus"),
    "114": (".webm", "vp9", "opus"),
}


def run(*args):
    return subprocess.run([CLI, *args], capture_output=True, text=True)


def convert(out, *args):
    return run("convert", PAL, "--out", out, "--quiet", "--overwrite", "--title", "2", *args)


def streams(path):
    info = probe(path) or {}
    video = [s for s in info.get("streams", []) if s["codec_type"] == "video"]
    audio = [s for s in info.get("streams", []) if s["codec_type"] == "audio"]
    return (video[0] if video else {}), (audio[0] if audio else {})


def ssim(path, reference):
    """ffmpeg's SSIM of a file's pictures against the reference's, over all planes."""
    r = subprocess.run(["ffmpeg", "-nostdin", "-i", path, "-i", reference, "-lavfi", "[0:v][1:v]ssim", "-f", "null", "-"],
                       capture_output=True, text=True)
    m = re.search(r"All:([0-9.]+)", r.stderr)
    return float(m.group(1)) if m else 0.0


def pictures(path):
    """The video packets a file holds and the pictures a player decodes from it."""
    r = subprocess.run(["ffprobe", "-v", "error", "-count_frames", "-count_packets", "-select_streams", "v",
                        "-show_entries", "stream=nb_read_packets,nb_read_frames", "-of", "default=nw=1", path],
                       capture_output=True, text=True)
    fields = dict(line.split("=", 1) for line in r.stdout.split() if "=" in line)
    count = lambda key: int(fields[key]) if fields.get(key, "").isdigit() else 0
    return count("nb_read_packets"), count("nb_read_frames")


def video_bytes(path):
    r = subprocess.run(["ffprobe", "-v", "error", "-select_streams", "v", "-show_entries", "packet=size", "-of", "csv=p=0", path],
                       capture_output=True, text=True)
    return sum(int(x) for x in r.stdout.split() if x.strip().isdigit())


out = tempfile.mkdtemp(prefix="zuzidero-modern-")
try:
    for profile, (extension, vcodec, acodec) in MODERN.items():
        folder = os.path.join(out, profile)
        os.makedirs(folder)
        r = convert(folder, "--profile", profile)
        path = os.path.join(folder, "Title_02" + extension)
        v, a = streams(path)
        check(r.returncode == 0 and v.get("codec_name") == vcodec and a.get("codec_name") == acodec,
              f"profile {profile}: {v.get('codec_name')}/{a.get('codec_name')} ({r.stderr[-300:]})")
        check(v.get("pix_fmt") == "yuv420p", f"profile {profile}: {v.get('pix_fmt')}")
        # The source's size, rate and shape: 720 × 576 shown at 16:9 (64:45 pixels).
        check((v.get("width"), v.get("height"), v.get("r_frame_rate")) == (720, 576, "25/1"),
              f"profile {profile}: {v.get('width')}x{v.get('height')} at {v.get('r_frame_rate')}")
        check(v.get("display_aspect_ratio") == "16:9" and v.get("sample_aspect_ratio") == "64:45",
              f"profile {profile}: shown at {v.get('display_aspect_ratio')} ({v.get('sample_aspect_ratio')})")
        length = duration(path)
        check(abs(length - 3.5) <= 0.06, f"profile {profile}: {length} s for a 3.5-s title")
        # Every picture the file holds is shown: with B pictures, an MP4 edit list that ends at
        # the last picture's start drops it.
        held, shown = pictures(path)
        check(held == shown == 88, f"profile {profile}: {held} pictures held, {shown} shown (88 in the title)")
        # Nothing on the standard error (x265 and SVT-AV1 talk there unless told); a sanitizer's
        # list of the suppressions it used is not the program's.
        said = [line for line in r.stderr.splitlines()
                if line.strip() and not line.startswith(("-----", "Suppressions used", "  count", "      "))]
        check(not said, f"profile {profile} says: {said[:5]}")

    # Constant quality: a lower number, a larger file and a closer picture, for each encoder.
    reference = os.path.join(out, "reference")
    os.makedirs(reference)
    convert(reference, "--profile", "108", "--quality", "0", "--speed", "ultrafast")  # lossless x264
    reference_file = os.path.join(reference, "Title_02.mkv")
    for profile, (low, high) in {"108": (16, 34), "110": (18, 36), "112": (20, 50), "114": (20, 50)}.items():
        extension = MODERN[profile][0]
        made = {}
        for quality in (low, high):
            folder = os.path.join(out, f"q{profile}-{quality}")
            os.makedirs(folder)
            r = convert(folder, "--profile", profile, "--quality", str(quality))
            path = os.path.join(folder, "Title_02" + extension)
            made[quality] = (video_bytes(path), ssim(path, reference_file))
            check(r.returncode == 0, f"profile {profile} at quality {quality}: {r.stderr[-300:]}")
        check(made[low][0] > made[high][0] and made[low][1] > made[high][1],
              f"profile {profile}: quality {low} gives {made[low]}, {high} gives {made[high]} (bytes, SSIM)")

    # 10-bit H.265; a speed preset.
    folder = os.path.join(out, "deep")
    os.makedirs(folder)
    r = convert(folder, "--profile", "111", "--bit-depth", "10", "--speed", "veryfast")
    v, _ = streams(os.path.join(folder, "Title_02.mp4"))
    check(r.returncode == 0 and v.get("pix_fmt") == "yuv420p10le" and v.get("codec_tag_string") == "hvc1",
          f"10-bit H.265: {v.get('pix_fmt')} {v.get('codec_tag_string')} ({r.stderr[-200:]})")

    # What the encoder refuses stops the command before it converts, and says what works.
    for args, said in ((["--profile", "108", "--quality", "60"], "it takes 0 to 51"),
                       (["--profile", "1", "--quality", "20"], "has no constant quality"),
                       (["--profile", "112", "--speed", "medium"], "it takes 12, 11"),
                       (["--profile", "108", "--bit-depth", "10"], "cannot be encoded by libx264; it takes 8")):
        folder = os.path.join(out, "refused")
        os.makedirs(folder, exist_ok=True)
        r = convert(folder, *args)
        check(r.returncode == 2 and said in r.stderr and not os.listdir(folder), f"{args}: {r.returncode} {r.stderr[:300]}")
finally:
    shutil.rmtree(out, ignore_errors=True)

finish("modern formats: every profile, constant quality, depth, refusals")
